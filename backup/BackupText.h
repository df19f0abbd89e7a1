#pragma once

// The text layer of the backup file BackupDB.txt: how bytes become lines, how
// the sections are found, how a text is written into a record line and how a
// record line splits into values. Nothing here touches the database or a
// widget.

#include "base/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstring>

namespace backup {

inline constexpr const char *kBackupFileName = "BackupDB.txt";
inline constexpr const char *kMarkerContactTypes = "TABLE Contact Types";
inline constexpr const char *kMarkerContacts = "TABLE Contacts";
inline constexpr const char *kMarkerCalls = "TABLE Calls";
inline constexpr const char *kMarkerEnd = "TABLE END";
inline constexpr const char *kKeysContactTypes = "KEYS Contact Types";
inline constexpr const char *kKeysContacts = "KEYS Contacts";
inline constexpr const char *kKeysEnd = "KEYS END";

// How a field is written and read back.
enum class FieldKind { Long, Date, YesNo, Text };

// True when the bytes are well-formed UTF-8.
bool isValidUtf8(QByteArrayView bytes);
// What a run of bytes is: plain ASCII, well-formed UTF-8 with at least one
// character beyond ASCII, or malformed.
enum class Utf8Kind { Ascii, Utf8, Malformed };
Utf8Kind classifyUtf8(QByteArrayView bytes);

// The whole file cut into lines. A line ends at CR LF, at LF or at a lone CR,
// so files of every platform read alike.
//
// The encoding is chosen by line, not by file: when more lines hold UTF-8
// characters than hold malformed bytes, the file is UTF-8 and only the
// lines with malformed bytes cannot be read (isReadable() is false for
// them); otherwise the whole file is Windows-1252, the encoding of files
// written by older installations. Every TAB character is removed from the
// text of a line.
class BackupLines {
public:
    explicit BackupLines(QByteArray data);
    // The file mapped into memory rather than read: the pages read so far are
    // given back to the system now and then, so a file of a gigabyte costs
    // tens of megabytes. Nothing reads the file before this returns.
    static Result<BackupLines> map(const QString &path);
    BackupLines(BackupLines &&other) noexcept;
    BackupLines &operator=(BackupLines &&other) noexcept;
    BackupLines(const BackupLines &) = delete;
    BackupLines &operator=(const BackupLines &) = delete;
    ~BackupLines();

    qsizetype size() const { return (m_wide ? m_wideStarts.size() : m_starts.size()) - 1; }
    bool isEmpty() const { return size() == 0; }
    // The file is read as UTF-8 (as opposed to Windows-1252).
    bool isUtf8() const { return m_utf8; }
    // False for a line with malformed bytes in a file read as UTF-8.
    bool isReadable(qsizetype index) const;
    QString text(qsizetype index) const;
    // The same text as UTF-8: the file's own bytes when they are UTF-8 and
    // hold no TAB, otherwise converted into *scratch.
    QByteArrayView utf8(qsizetype index, QByteArray *scratch) const;
    // A marker line begins with "TABLE" (after TAB removal).
    bool isMarker(qsizetype index) const;
    // The line's bytes as they are in the file, without the line end.
    QByteArrayView bytes(qsizetype index) const;
    // The line ends with a line end (the last line of a cut file may not).
    bool isEnded(qsizetype index) const { return start(index + 1) <= m_size; }

private:
    BackupLines() = default;
    void cut(qsizetype from);
    void readSome(qsizetype count) const;

    QByteArray m_data;            // the bytes, when they were handed over
    const char *m_bytes = nullptr; // the bytes, held or mapped
    qsizetype m_size = 0;
    void *m_mapping = nullptr;     // the mapping, when the file is mapped
    mutable qint64 m_readSinceRelease = 0;
    // Where each line begins, and after the last one where it ends: 32 bits
    // for files under 4 GB, which are all but a few.
    QList<quint32> m_starts;
    QList<qint64> m_wideStarts;
    bool m_wide = false;
    qsizetype start(qsizetype index) const { return m_wide ? m_wideStarts.at(index) : m_starts.at(index); }
    bool m_utf8 = true;
    bool m_allWellFormed = true;
};

// Line ranges [first, last) of the three sections, found by position: the
// records of a section run from the line after a marker line to the next
// marker line. keysFrom is the first line after the marker that ends the
// Calls section (-1 when the file ends inside a section).
struct BackupSections {
    struct Range {
        qsizetype first = 0;
        qsizetype last = 0;
        qsizetype count() const { return last - first; }
    };
    Range contactTypes;
    Range contacts;
    Range calls;
    qsizetype keysFrom = -1;
};
BackupSections findSections(const BackupLines &lines);

// The one text encoder of the file: an apostrophe, the UTF-8 text without
// its carriage returns, line feeds and apostrophes, a blank and an
// apostrophe. Everything else is copied as it is. Returns true when the
// reader gets the text back from the line exactly: nothing was removed and
// the text holds no TAB (which the reader drops).
bool appendCleanText(QByteArray &out, QByteArrayView utf8);

// The writer's encoders write straight into a buffer with room enough and
// give back the end of what they wrote; each names the room it needs.
//
// putCleanText writes what appendCleanText appends, in at most
// utf8.size() + 3 bytes, after checking that the text is well-formed UTF-8
// as it goes: nullptr, with nothing of use written, when it is not.
char *putCleanText(char *at, QByteArrayView utf8, bool *exact);
inline qsizetype cleanTextRoom(qsizetype size) { return size + 3; }

// Appends bytes without the general machinery of QByteArray::append; the
// writer's inner loop appends a few bytes at a time.
inline void appendBytes(QByteArray &out, const char *bytes, qsizetype count)
{
    const qsizetype size = out.size();
    if (out.capacity() - size < count)
        out.reserve(std::max(size * 2, size + count));
    out.resize(size + count);
    std::memcpy(out.data() + size, bytes, size_t(count));
}

// The number in decimal digits, with a leading "-" when negative.
void appendInteger(QByteArray &out, qint64 value);
inline constexpr qsizetype kIntegerRoom = 20;
inline char *putInteger(char *at, qint64 value)
{
    char digits[kIntegerRoom];
    int n = 0;
    quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        digits[sizeof digits - 1 - n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (value < 0)
        digits[sizeof digits - 1 - n++] = '-';
    std::memcpy(at, digits + sizeof digits - n, size_t(n));
    return at + n;
}

// One value of a record line.
struct RecordValue {
    enum Kind { Null, Number, Text } kind = Null;
    QByteArrayView text; // the digits of a number, the text between the apostrophes
};

// Splits a record line (UTF-8, see BackupLines::utf8) into its values: Null,
// a whole number, or a text between apostrophes (which never holds an
// apostrophe), separated by commas. The values point into the line. Returns
// false, with a reason, when the line has any other form.
bool parseRecordLine(QByteArrayView line, QList<RecordValue> *values, QString *reason);

} // namespace backup
