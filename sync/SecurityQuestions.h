#pragma once

#include <QString>

struct SyncAccount;
class QWidget;

// The window's side of a refused connection: after a sync or a search for
// address books failed on a certificate, a redirect to another server or
// plain HTTP, asks the user (the certificate with its fingerprint, subject,
// issuer and validity; the other server; the unencrypted connection) and
// changes the account when the user agrees. True when it changed the account
// and the attempt may be made again; the caller saves the account.
bool askAboutRefusal(QWidget *parent, SyncAccount &account);

// The plain-HTTP question for a server that is not this machine. True when
// the user accepts; the account remembers it.
bool askForPlainHttp(QWidget *parent, const QString &host);
