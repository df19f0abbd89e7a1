#include "BackupCheck.h"

namespace backup {

namespace {
const char *const kSectionNames[3] = {"Contact Types", "Contacts", "Calls"};

// A marker line's text without TABs and surrounding blanks.
QString markerText(const BackupLines &lines, qsizetype index)
{
    return lines.text(index).trimmed();
}

bool isEndMarker(const BackupLines &lines, qsizetype index)
{
    return markerText(lines, index).compare(QLatin1String(kMarkerEnd), Qt::CaseInsensitive) == 0;
}

// The opening marker of a later section standing where an end marker belongs.
bool opensSection(const BackupLines &lines, qsizetype index, int fromSection)
{
    const QString text = markerText(lines, index);
    for (int s = fromSection; s < 3; ++s) {
        if (text.compare(QLatin1String("TABLE ") + QLatin1String(kSectionNames[s]), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString records(qint64 count)
{
    return QStringLiteral("%1 %2").arg(groupedCount(count), count == 1 ? QStringLiteral("record") : QStringLiteral("records"));
}

const QString kNothingChanged = QStringLiteral(" Nothing was changed.");
} // namespace

QString groupedCount(qint64 count)
{
    QString digits = QString::number(count < 0 ? -count : count);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return count < 0 ? QLatin1Char('-') + digits : digits;
}

QString missingParts(const BackupLines &lines, const BackupSections &sections, const BackupTrailer &trailer)
{
    // The first six marker lines: opening and end marker of each section.
    qsizetype markers[6];
    int found = 0;
    for (qsizetype i = 0; i < lines.size() && found < 6; ++i) {
        if (lines.isMarker(i))
            markers[found++] = i;
    }
    const BackupSections::Range ranges[3] = {sections.contactTypes, sections.contacts, sections.calls};
    for (int s = 0; s < 3; ++s) {
        const QString name = QLatin1String(kSectionNames[s]);
        if (found <= 2 * s) {
            if (s == 0)
                return QStringLiteral("The file has no sections; it is not a backup.") + kNothingChanged;
            return QStringLiteral("The file ends after the %1 section: the %2 section is missing. The file is "
                                  "incomplete.")
                       .arg(QLatin1String(kSectionNames[s - 1]), name)
                + kNothingChanged;
        }
        if (isEndMarker(lines, markers[2 * s]))
            return QStringLiteral("The %1 section has no opening line (\"TABLE %1\"); the file is damaged.").arg(name)
                + kNothingChanged;
        if (found <= 2 * s + 1) {
            // Lines without their line end were cut inside; the records
            // before them are whole.
            qint64 whole = 0;
            for (qsizetype i = markers[2 * s] + 1; i < lines.size(); ++i) {
                if (lines.isEnded(i) && !lines.bytes(i).trimmed().isEmpty())
                    ++whole;
            }
            const QString where = whole == 0 ? QStringLiteral("before its first record")
                                             : QStringLiteral("after record %1").arg(groupedCount(whole));
            return QStringLiteral("The file ends inside the %1 section %2; it is incomplete.").arg(name, where)
                + kNothingChanged;
        }
        if (opensSection(lines, markers[2 * s + 1], s + 1))
            return QStringLiteral("The %1 section has no end line (\"TABLE END\"); the file is damaged.").arg(name)
                + kNothingChanged;
    }

    // The trailing section lists every record that was written.
    if (trailer.truncated)
        return QStringLiteral("The file ends inside its closing lists, after the Calls section; it is incomplete.")
            + kNothingChanged;
    for (int s = 0; s < 3; ++s) {
        qsizetype listed = -1;
        if (trailer.hasLines)
            listed = trailer.lines[s].size();
        else if (trailer.hasKeys && s < 2)
            listed = (s == 0 ? trailer.typeKeys : trailer.contactKeys).size();
        if (listed > ranges[s].count())
            return QStringLiteral("The %1 section holds %2; the list at the end of the file names %3. The file is "
                                  "incomplete.")
                       .arg(QLatin1String(kSectionNames[s]), records(ranges[s].count()), groupedCount(listed))
                + kNothingChanged;
    }
    return {};
}

} // namespace backup
