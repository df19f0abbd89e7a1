#include "BackupEncoder.h"

#include "BackupDates.h"
#include "BackupText.h"
#include "BackupTrailer.h"

#include <QVariant>

namespace backup {

namespace {

using Kind = BackupStore::Rows::Kind;

void putLiteral(ByteBuffer &out, const char *text, qsizetype count)
{
    out.append(text, count);
}

// A stored value that its record line does not give back exactly.
struct ExactValue {
    bool present = false;
    QByteArrayView utf8; // valid until the next row is read
    QByteArray storage;  // a value that had to be converted to text

    void set(QByteArrayView bytes)
    {
        present = true;
        utf8 = bytes;
    }
    void setCopy(const QString &text)
    {
        storage = text.toUtf8();
        set(storage);
    }
};

// A text in its cleaned form (see appendCleanText); false when the bytes are
// not well-formed UTF-8, with nothing written.
bool putText(ByteBuffer &out, QByteArrayView utf8, bool *exact)
{
    char *end = putCleanText(out.room(cleanTextRoom(utf8.size())), utf8, exact);
    if (!end)
        return false;
    out.advance(end);
    return true;
}

// Writes one column of the current row, encoded by the field's kind, and
// notes a value that the line cannot give back exactly.
void putValue(ByteBuffer &out, const BackupStore::Rows &rows, int column, FieldKind kind, bool typesSection,
              ExactValue *exact)
{
    const BackupStore::Rows::Cell cell = rows.cell(column);
    switch (kind) {
    case FieldKind::Long: {
        if (cell.kind == Kind::Integer) {
            out.advance(putInteger(out.room(kIntegerRoom), cell.integer));
            return;
        }
        if (cell.kind == Kind::Null) {
            putLiteral(out, "Null", 4);
            return;
        }
        const QVariant value = rows.value(column);
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        if (ok)
            out.advance(putInteger(out.room(kIntegerRoom), number));
        else
            putLiteral(out, "Null", 4);
        exact->setCopy(value.toString());
        return;
    }
    case FieldKind::YesNo: {
        if (cell.kind == Kind::Null) {
            putLiteral(out, "Null", 4);
            return;
        }
        bool yes = cell.integer != 0;
        if (cell.kind != Kind::Integer) {
            const QVariant value = rows.value(column);
            bool ok = false;
            const qlonglong number = value.toLongLong(&ok);
            yes = ok ? number != 0 : value.toBool();
        }
        if (yes)
            putLiteral(out, "-1", 2);
        else
            putLiteral(out, "0", 1);
        return;
    }
    case FieldKind::Date: {
        if (cell.kind == Kind::Null) {
            putLiteral(out, "Null", 4);
            return;
        }
        const QByteArray converted = cell.kind == Kind::Text ? QByteArray() : rows.value(column).toString().toUtf8();
        const QByteArrayView text = cell.kind == Kind::Text ? cell.text : QByteArrayView(converted);
        char *at = out.room(kUsDateRoom + 2);
        bool canonical = false;
        if (char *end = putUsDate(at + 1, text, &canonical)) {
            *at = '\'';
            *end++ = '\'';
            out.advance(end);
        } else {
            putLiteral(out, "Null", 4);
        }
        if (!canonical) {
            if (cell.kind == Kind::Text)
                exact->set(text);
            else
                exact->setCopy(QString::fromUtf8(converted));
        }
        return;
    }
    case FieldKind::Text: {
        if (cell.kind == Kind::Null) {
            putLiteral(out, "' '", 3);
            return;
        }
        // An empty text comes back Null, except as a caption.
        bool same = false;
        if (cell.kind == Kind::Text && putText(out, cell.text, &same)) {
            if (!same || (cell.text.isEmpty() && !typesSection))
                exact->set(cell.text);
            return;
        }
        // A number, or bytes that are not UTF-8: the text the Qt driver
        // would give, which is well-formed.
        const QString converted = rows.value(column).toString();
        const QByteArray utf8 = converted.toUtf8();
        if (!putText(out, utf8, &same)) {
            putLiteral(out, "' '", 3);
            same = false;
        }
        if (!same || (utf8.isEmpty() && !typesSection))
            exact->setCopy(converted);
        return;
    }
    }
}

void putKey(ByteBuffer &keys, qint64 key)
{
    char *end = putInteger(keys.room(kIntegerRoom + 2), key);
    *end++ = '\r';
    *end++ = '\n';
    keys.advance(end);
}

void putFingerprintLine(ByteBuffer &fingerprints, QByteArrayView line)
{
    char *end = putFingerprint(fingerprints.room(10), lineFingerprint(line));
    *end++ = '\r';
    *end++ = '\n';
    fingerprints.advance(end);
}

void putExactLine(ByteBuffer &texts, int section, qint64 record, int field, QByteArrayView utf8)
{
    char *end = putExactText(texts.room(exactTextRoom(utf8.size()) + 2), section, record, field, utf8);
    *end++ = '\r';
    *end++ = '\n';
    texts.advance(end);
}

// The exact texts held in memory before they are set aside.
constexpr qsizetype kTextsHeld = 4 << 20;

Status setTextsAside(SectionOutput &section)
{
    if (section.texts.size() < kTextsHeld)
        return {};
    if (!section.textsSpill)
        section.textsSpill = std::make_unique<SpillFile>(section.spillFolder);
    if (Status spilled = section.textsSpill->append(section.texts.view()); !spilled)
        return spilled;
    section.texts.clear();
    return {};
}

} // namespace

// Contact Types are written without type dispatch, one line for each
// non-Null value after the key; Contacts and Calls one line per row, the
// values after the key encoded by their kind and joined by ", ".
Status encodeRows(BackupStore::Rows &rows, BackupTable table, const TableInfo &info, LineWriter &lines,
                  SectionOutput &section, std::atomic<qint64> &done, const std::atomic<bool> *stop)
{
    const int number = int(table);
    const bool keepKeys = table != BackupTable::Calls;
    const int fields = rows.columnCount();
    QList<FieldKind> kinds;
    for (int i = 0; i < fields; ++i)
        kinds.append(i < info.columns.size() ? info.columns.at(i).kind : FieldKind::Text);
    ByteBuffer &out = lines.buffer();
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            return {};
        const Result<bool> more = rows.next();
        if (!more)
            return more.error();
        if (!*more)
            break;
        if (table == BackupTable::ContactTypes) {
            bool written = false;
            for (int i = 1; i < fields; ++i) {
                if (rows.kind(i) == Kind::Null)
                    continue;
                const qsizetype start = out.size();
                ExactValue exact;
                putValue(out, rows, i, FieldKind::Text, true, &exact);
                out.append(" ", 1);
                if (exact.present)
                    putExactLine(section.texts, number, section.written, i, exact.utf8);
                putFingerprintLine(section.fingerprints, out.view(start));
                if (Status ended = lines.endLine(); !ended)
                    return ended;
                ++section.written;
                written = true;
            }
            if (written)
                putKey(section.keys, rows.integer(0));
        } else {
            const qsizetype start = out.size();
            for (int i = 1; i < fields; ++i) {
                ExactValue exact;
                putValue(out, rows, i, kinds.at(i), false, &exact);
                if (exact.present)
                    putExactLine(section.texts, number, section.written, i, exact.utf8);
                if (i + 1 < fields)
                    out.append(", ", 2);
            }
            putFingerprintLine(section.fingerprints, out.view(start));
            if (Status ended = lines.endLine(); !ended)
                return ended;
            if (keepKeys)
                putKey(section.keys, rows.integer(0));
            ++section.written;
        }
        done.fetch_add(1, std::memory_order_relaxed);
        if (Status aside = setTextsAside(section); !aside)
            return aside;
    }
    if (Status written = lines.line(kMarkerEnd); !written)
        return written;
    return lines.line("");
}

} // namespace backup
