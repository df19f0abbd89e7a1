#pragma once

#include "ContactRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace exchange {

// Rows of a CSV file (RFC 4180 and what spreadsheets write): the delimiter
// (comma, semicolon or TAB) is found from the first line; quoted fields may
// hold line breaks and doubled quotes. The bytes are decoded as for vCard.
// A quoted empty field is empty text, an unquoted one Null text.
struct CsvTable {
    QChar delimiter;
    QList<QStringList> rows;
};
// A whole file held in memory (see CsvStream for files).
CsvTable readCsv(const QByteArray &fileBytes);
// Comma, semicolon or TAB: whichever the line holds most of outside quotes.
QChar detectDelimiter(const QString &firstLine);

// What a column of an import file becomes, when not a field.
enum : int {
    IgnoreColumn = -1,
    NoteLineColumn = -2,
    UidColumn = -3,
    TypedPhoneColumn = -4,  // "Phone 1 - Value": the field by "Phone 1 - Type"
    TypedEmailColumn = -5,  // "E-mail 1 - Value": primary or first, others Notes lines
    BirthYearColumn = -6,   // Thunderbird's three birth date columns
    BirthMonthColumn = -7,
    BirthDayColumn = -8,
    StreetLineColumn = -9,  // a further street line ("Business Street 2")
};
// The special column kinds in the order the mapping dialog offers them.
const QList<int> &specialColumns();
QString specialColumnCaption(int column);
QString specialColumnKey(int column);

// The column's field (ContactTypeID stands for the type's caption), a Notes
// line, or nothing: this program's own field names and the headers of the
// Google Contacts, Outlook and Thunderbird exports are known.
int fieldForHeader(const QString &header);
// Every column of a header row: Outlook's "Title" is the salutation when the
// row also has its "Job Title".
QList<int> automaticMapping(const QStringList &headers);
// True when some column goes to a name, the e-mail address or the company,
// so that the contacts can be told apart.
bool mappingNamesContacts(const QList<int> &mapping);

// The order of day and month in dates such as 01/02/1985.
enum class DateOrder { DayFirst, MonthFirst };
// The order the user's locale writes.
DateOrder localeDateOrder();
QString dateOrderText(DateOrder order);

// What the values of a date column tell about their order.
struct DateColumnEvidence {
    bool dayFirst = false;   // a value whose first number is over 12
    bool monthFirst = false; // a value whose second number is over 12
    bool ambiguous = false;  // a value that reads either way
    void take(const QString &value);
    // The order, when the values settle it.
    std::optional<DateOrder> order() const;
};

// One row as a contact, each column as mapped. A value for a field that is
// taken already, and a birth date that is no date, become Notes lines.
ContactRecord recordFromCsvRow(const QStringList &headers, const QStringList &row, const QList<int> &mapping,
                               DateOrder dates = localeDateOrder());
// Rows after the header as contacts.
QList<ContactRecord> recordsFromCsv(const CsvTable &table, const QList<int> &mapping);
// A date as spreadsheets write it (ISO, 31.01.1980, 1/31/1980, 31/01/1980)
// in ISO form, or empty; `order` decides dates that read either way.
QString csvBirthdate(const QString &text, DateOrder order = localeDateOrder());

// The header row: the field names in table order, the type's caption under
// "ContactType" in place of its key, then the UID.
QStringList csvHeader();
// Quoted where needed; empty text that is not Null as "".
QByteArray csvLine(const QStringList &values);
QByteArray csvLine(const ContactRecord &record);

} // namespace exchange
