#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A real CardDAV server for a test: Radicale 3 (own configuration, a plain
// htpasswd user) or Xandikos, on 127.0.0.1 at a free port, with its data in a
// temporary folder, and one empty address book.
class DavServer {
public:
    enum Kind { Radicale, Xandikos };

    explicit DavServer(Kind kind);
    ~DavServer();

    // Starts the server (again, on the same port and data after stop()) and
    // waits until it answers; false when it does not come up.
    bool start();
    // Ends the server at once (SIGKILL), as a crash or a power cut would.
    void stop();

    Kind kind() const { return m_kind; }
    QString name() const { return m_kind == Radicale ? QStringLiteral("radicale") : QStringLiteral("xandikos"); }
    QString baseUrl() const;                // "http://127.0.0.1:PORT/"
    QString addressBookPath() const;        // "/user/contacts/" ...
    QString user() const { return QStringLiteral("user"); }
    QString password() const { return QStringLiteral("secret-pw"); }
    QString folder() const { return m_dir.path(); }

    // Another client writing to the same collection (no conditions).
    int put(const QString &name, const QByteArray &card);
    QByteArray get(const QString &name, int *status = nullptr);
    int remove(const QString &name);
    // The names (last path segment) of the cards in the address book.
    QStringList cardNames();
    // The raw request, for what the helpers above do not cover.
    int request(const QByteArray &method, const QString &path, const QByteArray &body, QByteArray *reply = nullptr,
                const QList<QPair<QByteArray, QByteArray>> &headers = {});

private:
    Kind m_kind;
    QTemporaryDir m_dir;
    int m_port = 0;
    std::unique_ptr<QProcess> m_process;
    bool m_bookMade = false;
};

// Writes a password file (the password on its first line) and returns its path.
QString writePasswordFile(const QString &folder, const QString &password);
