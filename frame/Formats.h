#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

// The system locale's short date form, always with a four-digit year
// (en_US: M/d/yyyy).
QString shortDateFormat();
QString formatShortDate(const QDate &date);
// The same in the locale given.
QString shortDateFormat(const QLocale &locale);
QString formatShortDate(const QDate &date, const QLocale &locale);

// "h:mm AM/PM": hour without a leading zero, two-digit minutes, AM or PM.
QString formatTimeAmPm(const QTime &time);

// Stored date and time values are ISO 8601 text: 'YYYY-MM-DD', 'HH:MM:SS' or
// 'YYYY-MM-DDTHH:MM:SS'. These read such a text (null when it is none).
QDate storedDate(const QVariant &value);
QTime storedTime(const QVariant &value);

// A count and the word for what is counted, singular for one:
// counted(1, u"contact", u"contacts") is "1 contact", 0 and 2 take "contacts".
QString counted(qint64 count, QStringView one, QStringView many);

// The phone display format "\(###\) 000\-0000" for a value made only of the
// digits 0 to 9, as its placeholders define: the last seven digits fill the
// "000-0000" part, padded with zeros in front; every digit before them goes
// between the brackets, where "#" stands for a digit or nothing. The digits
// stay as stored, leading zeros too: 5551234567 shows as (555) 123-4567,
// 12345 as () 001-2345, 15551234567 as (1555) 123-4567 and 0301234567 as
// (030) 123-4567. Any other text (blanks, dashes, letters, empty) shows as
// stored. The main window's phone boxes and the reports both show this.
QString phoneDisplayText(const QString &stored);
