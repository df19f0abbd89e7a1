// Feeds arbitrary bytes to the text layer of the backup file reader alone:
// the line splitter, the record-line parser, the date reader and the
// trailing-section reader, with no database, so that it runs some ten
// thousand inputs a second. Besides never crashing, each part must give
// back what its writing counterpart wrote:
//   - a parsed record line, written again, parses to the same values;
//   - a text written into a record line parses as one text value;
//   - an exact text of the trailing section reads back byte for byte;
//   - a date read in the fixed form and written again reads the same.

#include "backup/BackupDates.h"
#include "backup/BackupText.h"
#include "backup/BackupTrailer.h"

#include <cstdio>
#include <cstdlib>

using namespace backup;

namespace {
void fail(const char *what, QByteArrayView detail)
{
    std::fprintf(stderr, "%s\n%.*s\n", what, int(detail.size()), detail.data());
    std::abort();
}

QByteArray writeValues(const QList<RecordValue> &values)
{
    QByteArray line;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            line.append(", ");
        const RecordValue &value = values.at(i);
        if (value.kind == RecordValue::Null)
            line.append("Null");
        else if (value.kind == RecordValue::Number)
            line.append(value.text);
        else
            line.append('\'').append(value.text).append('\'');
    }
    return line;
}

// Lists and buffers kept from input to input, so that each input costs no
// allocations of its own beyond what the code under test makes.
struct Scratch {
    QList<RecordValue> values;
    QList<RecordValue> reread;
    QByteArray written;
    QByteArray line;
    QString reason;
};
Scratch &scratchSpace()
{
    static Scratch scratch;
    return scratch;
}

void checkRecordLine(QByteArrayView line)
{
    Scratch &scratch = scratchSpace();
    QList<RecordValue> &values = scratch.values;
    QString &reason = scratch.reason;
    if (!parseRecordLine(line, &values, &reason)) {
        if (reason.isEmpty())
            fail("a refused line without a reason", line);
        return;
    }
    const QByteArray again = writeValues(values);
    QList<RecordValue> &reread = scratch.reread;
    if (!parseRecordLine(again, &reread, &reason) || reread.size() != values.size())
        fail("a written record line does not parse again", again);
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (reread.at(i).kind != values.at(i).kind || reread.at(i).text != values.at(i).text)
            fail("a written record line parses to other values", again);
    }
}

// Checks the cleaned form of a text; its exact form is collected in *entries
// (one TEXTS line each) and checked by checkExactTexts.
void checkText(QByteArrayView text, QByteArray *entries, QList<QByteArray> *texts)
{
    // The writer hands the encoders valid UTF-8 only.
    if (!isValidUtf8(text))
        return;
    Scratch &scratch = scratchSpace();
    QByteArray &line = scratch.line;
    line.resize(0);
    appendCleanText(line, text);
    // A text with a TAB is read back without it; the record line itself is
    // parsed as the reader sees it, without TABs.
    line.replace("\t", "");
    QList<RecordValue> &values = scratch.values;
    QString &reason = scratch.reason;
    if (!parseRecordLine(line, &values, &reason) || values.size() != 1 || values.first().kind != RecordValue::Text)
        fail("a cleaned text does not parse as one text", line);

    const qsizetype start = entries->size();
    appendExactText(*entries, 2, texts->size(), 5, text);
    const QByteArrayView entry = QByteArrayView(*entries).sliced(start);
    if (entry.contains('\n') || entry.contains('\r') || entry.contains('\t'))
        fail("an exact text spans more than one line", entry);
    entries->append("\r\n");
    texts->append(text.toByteArray());
}

void checkExactTexts(const QByteArray &entries, const QList<QByteArray> &texts)
{
    const BackupLines lines(entries);
    if (lines.size() != texts.size())
        fail("exact texts do not keep to their lines", entries);
    QByteArray back;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (!exactTextOf(lines, ExactText{2, 5, qint32(i), qint32(i)}, &back) || back != texts.at(i))
            fail("an exact text does not read back", lines.bytes(i));
    }
}

void checkDate(QByteArrayView text, DateReader &fixed)
{
    QByteArray iso;
    if (!fixed.parse(text, &iso))
        return;
    QByteArray written;
    if (!appendUsDate(written, iso))
        fail("a date read in the fixed form cannot be written", iso);
    QByteArray again;
    if (!fixed.parse(written, &again) || again != canonicalStoredDate(iso).toUtf8())
        fail("a date written in the fixed form reads otherwise", written);
}
} // namespace

// The first lines of an input are checked one by one; the line splitter and
// the trailing section see all of it.
constexpr qsizetype kLinesChecked = 16;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input's own bytes, not a copy: a read past their end is caught.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    static DateReader fixed = DateReader::fixedForm();

    const BackupLines lines(bytes);
    const BackupSections sections = findSections(lines);
    const BackupTrailer trailer = readTrailer(lines, sections);
    const BackupSections::Range ranges[3] = {sections.contactTypes, sections.contacts, sections.calls};
    for (int s = 0; s < 3; ++s) {
        if (!trailer.hasLines)
            break;
        const QList<qint32> places = matchRecords(lines, ranges[s], trailer.lines[s]);
        qint64 previous = -1;
        for (const qint64 place : places) {
            if (place >= trailer.lines[s].size() || (place >= 0 && place <= previous))
                fail("records matched out of order", bytes);
            if (place >= 0)
                previous = place;
        }
    }
    QByteArray text;
    for (const ExactText &entry : trailer.texts)
        exactTextOf(lines, entry, &text);

    QByteArray scratch;
    QByteArray entries;
    QList<QByteArray> texts;
    for (qsizetype i = 0; i < lines.size() && i < kLinesChecked; ++i) {
        const QByteArrayView line = lines.utf8(i, &scratch);
        checkRecordLine(line);
        checkText(line, &entries, &texts);
        checkDate(line, fixed);
    }
    checkExactTexts(entries, texts);
    return 0;
}
