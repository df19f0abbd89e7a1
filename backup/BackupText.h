#pragma once

// The text layer of the backup file BackupDB.txt: how bytes become lines, how
// the sections are found, how a text is written into a record line and how a
// record line splits into values. Nothing here touches the database or a
// widget.

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
// Windows-1252, the encoding of files written by older installations.
QString fromWindows1252(QByteArrayView bytes);

// The whole file, held as bytes, cut into lines. A line ends at LF; a CR right
// before the LF belongs to the line end. The text of a line is decoded as
// UTF-8 when the whole file is valid UTF-8, otherwise as Windows-1252, and
// every TAB character is removed from it.
class BackupLines {
public:
    explicit BackupLines(QByteArray data);

    qsizetype size() const { return (m_wide ? m_wideStarts.size() : m_starts.size()) - 1; }
    bool isEmpty() const { return size() == 0; }
    bool isUtf8() const { return m_utf8; }
    QString text(qsizetype index) const;
    // The same text as UTF-8: the file's own bytes when they are UTF-8 and
    // hold no TAB, otherwise converted into *scratch.
    QByteArrayView utf8(qsizetype index, QByteArray *scratch) const;
    // A marker line begins with "TABLE" (after TAB removal).
    bool isMarker(qsizetype index) const;
    // The line's bytes as they are in the file, without the line end.
    QByteArrayView bytes(qsizetype index) const;

private:
    QByteArray m_data;
    // Where each line begins, and after the last one where it ends: 32 bits
    // for files under 4 GB, which are all but a few.
    QList<quint32> m_starts;
    QList<qint64> m_wideStarts;
    bool m_wide = false;
    qsizetype start(qsizetype index) const { return m_wide ? m_wideStarts.at(index) : m_starts.at(index); }
    bool m_utf8 = true;
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
