#pragma once

// The trailing section of the backup file: everything after the empty line
// that follows the last "TABLE END". Readers of the three main sections never
// look there, so it can carry what the record lines cannot:
//
//   KEYS Contact Types        the old key of every written contact type,
//   <key>                     one a line, in file order
//   KEYS Contacts             the same for the contacts
//   <key>
//   KEYS END
//   DATES M/d/yyyy h:mm:ss AP the fixed date form the record lines use
//   LINES Contact Types       a fingerprint of every record line as written,
//   <fingerprint>             one a line, in file order; it ties the keys
//   LINES Contacts            and the exact texts below to their record, so
//   <fingerprint>             that a line added or lost by hand costs only
//   LINES Calls               its own record
//   <fingerprint>
//   TEXTS                     the exact stored text of every value that the
//   <s> <r> <f> <text>        record line does not give back exactly
//   TEXTS END
//   UIDS                      every contact's UID: its old key (as in the
//   <key> <uid>               KEYS list) and the UID, escaped as the texts
//   UIDS END
//
// Files of older installations end after the main sections, after
// "KEYS END" or after "TEXTS END".

#include "BackupText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace backup {

inline constexpr const char *kLinesContactTypes = "LINES Contact Types";
inline constexpr const char *kLinesContacts = "LINES Contacts";
inline constexpr const char *kLinesCalls = "LINES Calls";
inline constexpr const char *kTexts = "TEXTS";
inline constexpr const char *kTextsEnd = "TEXTS END";
inline constexpr const char *kUids = "UIDS";
inline constexpr const char *kUidsEnd = "UIDS END";

// The fingerprint of a record line's bytes (without its line end), as the
// 8 hexadecimal digits the LINES lists hold.
quint32 lineFingerprint(QByteArrayView line);
void appendFingerprint(QByteArray &out, quint32 fingerprint);
char *putFingerprint(char *at, quint32 fingerprint); // 8 bytes

// One exact text: section (0 Contact Types, 1 Contacts, 2 Calls), the
// record's place in the section's LINES list, the field's position in the
// table (the key is 0) and the text. A TEXTS line is
// "<section> <record> <field> <escaped text>".
//
// The text is escaped so that it fits on one line and survives the reader's
// removal of TAB characters: "\\" stands for a backslash, "\r", "\n" and "\t"
// for CR, LF and TAB, "\xHH" (two hexadecimal digits) for any other control
// character, and a blank at the end of the text is written "\x20" so that no
// editor can drop it. Every other character, apostrophes included, is
// written as it is, in UTF-8.
struct ExactText {
    qint8 section = 0;
    qint16 field = 0;
    qint32 record = 0;
    qint32 line = 0; // the TEXTS line, read when the text is needed
};
// Appends a TEXTS line (without its line end) for a text given in UTF-8.
void appendExactText(QByteArray &out, int section, qint64 record, int field, QByteArrayView utf8);
// The same written at `at`, in at most exactTextRoom(utf8.size()) bytes; the end.
char *putExactText(char *at, int section, qint64 record, int field, QByteArrayView utf8);
inline qsizetype exactTextRoom(qsizetype size) { return 3 * kIntegerRoom + 3 + 4 * size; }
// A UIDS line (without its line end): the contact's old key and its UID.
void appendUidLine(QByteArray &out, qint64 key, QByteArrayView utf8);
// The UID of a UIDS line, in UTF-8; false when the line is malformed.
bool uidOf(QByteArrayView line, qint64 *key, QByteArray *utf8);

// The text of an entry, in UTF-8; false when its escapes are malformed.
bool exactTextOf(const BackupLines &lines, const ExactText &entry, QByteArray *utf8);

struct BackupTrailer {
    // The key section as older versions wrote it: valid when complete,
    // numeric and free of repeats.
    bool hasKeys = false;
    bool keysValid = false;
    QList<qint64> typeKeys;
    QList<qint64> contactKeys;
    // The record lines use the fixed date form.
    bool fixedDates = false;
    // The fingerprints of the three sections, complete.
    bool hasLines = false;
    QList<quint32> lines[3];
    // The exact texts, complete (the list ends with "TEXTS END"), in the
    // order of section and record.
    bool hasTexts = false;
    QList<ExactText> texts;
    // Exact texts of a list that does not end, which are therefore not used.
    qsizetype unreadTexts = 0;
    // The lines of the UIDS list, complete (it ends with "UIDS END").
    qsizetype uidsFrom = -1;
    qsizetype uidsTo = -1;
    // Something in the section could not be read; what was read before is kept.
    bool damaged = false;
    // The file ends inside one of the lists: it was cut short.
    bool truncated = false;
};
BackupTrailer readTrailer(const BackupLines &lines, const BackupSections &sections);

// Ties the record lines of a section to the places of its LINES list: for
// each record line (by its place in the section) the place in the list, or
// -1 when the line is not in the list. The order is kept, so an added,
// changed or lost line leaves every other line with its own place.
QList<qint32> matchRecords(const BackupLines &lines, const BackupSections::Range &range,
                           const QList<quint32> &fingerprints);

} // namespace backup
