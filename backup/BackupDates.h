#pragma once

// Dates and times in the backup file. The database stores them as ISO texts
// ('YYYY-MM-DD', 'HH:MM:SS', 'YYYY-MM-DDTHH:MM:SS'); the file holds them in
// the General Date form. The writer always uses the US-English form
// (3/14/2021, 2:30:00 PM, 3/14/2021 2:30:00 PM), whatever the locale, and
// records that in the file's trailing section, so that a file restores the
// same on every machine.

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace backup {

// The line of the trailing section that names the date form of the file.
inline constexpr const char *kDateFormLine = "DATES M/d/yyyy h:mm:ss AP";

// Appends the General Date text of a stored date, time or both, in the
// fixed US-English form, without apostrophes. Returns false, appending
// nothing, when the text is no valid date or time (years 100 to 9999). A
// time of exactly midnight gives the date alone, the zero date (30 December
// 1899) the time alone.
bool appendUsDate(QByteArray &out, QByteArrayView stored);
// The same written at `at`, in at most kUsDateRoom bytes: the end, or nullptr
// when the text is no valid date or time. *canonical tells whether the
// stored text is in its canonical form (see isCanonicalStoredDate).
inline constexpr qsizetype kUsDateRoom = 24;
char *putUsDate(char *at, QByteArrayView stored, bool *canonical);

// The stored text that the reader gives back for a valid date, time or both.
QString canonicalStoredDate(QByteArrayView stored);
// True when the stored text is that form already, so that its date text in
// the file gives it back exactly.
bool isCanonicalStoredDate(QByteArrayView stored);

// Reads the date texts of a file back into their stored form.
class DateReader {
public:
    // A file that records the fixed form is read in that form only.
    static DateReader fixedForm();
    // A file without the record (older installations): the locale's short
    // and long forms first, then the US-English form, then ISO 8601; an
    // ambiguous text is read in the first of these that parses it.
    static DateReader guessing(const QLocale &locale = QLocale());

    bool isFixed() const { return m_fixed; }
    // The stored form of a date text (UTF-8) into *iso; false when it reads
    // as no date, time or both.
    bool parse(QByteArrayView text, QByteArray *iso);

private:
    struct Form {
        QLocale locale;
        QStringList dates;
        QStringList times;
    };
    QString parseGuessing(const QString &text) const;

    bool m_fixed = true;
    QList<Form> m_forms;
    QHash<QString, QString> m_cache;
};

} // namespace backup
