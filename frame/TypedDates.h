#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

#include <optional>

// Reading dates and times as a user types them into a box or a grid cell.
//
// A date is accepted in the locale's short form, with its fields in the
// locale's order and any of the separators / . - (12/31/2024 in en_US,
// 31/12/2024 in en_GB, 31.12.2024 in de_DE), in ISO 8601 (2024-12-31; a
// date that starts with a four-digit year is always read year, month, day),
// and with a month name or its abbreviation in the locale's language
// (31 Dec 2024, December 31, 2024). A two-digit year is placed in the
// hundred-year window that starts 80 years before the current year of
// Clock::now(), the rule of the Unicode locale data: in 2026, 46 to 99 are
// 1946 to 1999 and 00 to 45 are 2000 to 2045. One- and three-digit years are
// refused, as is any date the calendar does not have (2/30/2024).
//
// A time is hours and minutes, optionally seconds, separated by ':' or the
// locale's own time separator, in 24-hour form (14:30, 14:30:15) or with an
// AM/PM marker (2:30 PM, 2 pm, the locale's own marker texts too).
//
// Anything else, empty text included, gives no value.
std::optional<QDate> readTypedDate(const QString &text, const QLocale &locale);
std::optional<QTime> readTypedTime(const QString &text, const QLocale &locale);

// An example the reader accepts, in the locale's short form with a
// four-digit year, for messages that say what to type: "12/31/2024" (en_US),
// "31.12.2024" (de_DE); "2:30 PM" (en_US), "14:30" (de_DE).
QString typedDateExample(const QLocale &locale);
QString typedTimeExample(const QLocale &locale);
