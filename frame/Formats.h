#pragma once

#include <QDate>
#include <QString>
#include <QTime>

// The system locale's short date form, always with a four-digit year
// (en_US: M/d/yyyy).
QString shortDateFormat();
QString formatShortDate(const QDate &date);

// "h:mm AM/PM": hour without a leading zero, two-digit minutes, AM or PM.
QString formatTimeAmPm(const QTime &time);

// Stored date and time values are ISO 8601 text: 'YYYY-MM-DD', 'HH:MM:SS' or
// 'YYYY-MM-DDTHH:MM:SS'. These read such a text (null when it is none).
QDate storedDate(const QVariant &value);
QTime storedTime(const QVariant &value);

// The phone display format "\(###\) 000\-0000": ten digits show as
// (555) 123-4567; any other text shows as stored.
QString phoneDisplayText(const QString &stored);
