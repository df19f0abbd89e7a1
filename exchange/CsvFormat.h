#pragma once

#include "ContactRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace exchange {

// Rows of a CSV file (RFC 4180 and what spreadsheets write): the delimiter
// (comma, semicolon or TAB) is found from the first line; quoted fields may
// hold line breaks and doubled quotes. The bytes are decoded as for vCard.
struct CsvTable {
    QChar delimiter;
    QList<QStringList> rows;
};
// A whole file held in memory (see CsvStream for files).
CsvTable readCsv(const QByteArray &fileBytes);
// Comma, semicolon or TAB: whichever the line holds most of outside quotes.
QChar detectDelimiter(const QString &firstLine);

// What a column of an import file becomes.
enum : int { IgnoreColumn = -1, NoteLineColumn = -2 };
// The column's field (ContactTypeID stands for the type's caption), a Notes
// line, or nothing: this program's own field names and the headers of the
// Google Contacts, Outlook and Thunderbird exports are known.
int fieldForHeader(const QString &header);
QList<int> automaticMapping(const QStringList &headers);

// One row as a contact, each column as mapped. A value for a field that is
// taken already, and a birth date that is no date, become Notes lines.
ContactRecord recordFromCsvRow(const QStringList &headers, const QStringList &row, const QList<int> &mapping);
// Rows after the header as contacts.
QList<ContactRecord> recordsFromCsv(const CsvTable &table, const QList<int> &mapping);
// A date as spreadsheets write it (ISO, 31.01.1980, 1/31/1980, 31/01/1980)
// in ISO form, or empty.
QString csvBirthdate(const QString &text);

// The header row: the field names in table order, the type's caption under
// "ContactType" in place of its key.
QStringList csvHeader();
QByteArray csvLine(const QStringList &values);
QByteArray csvLine(const ContactRecord &record);

} // namespace exchange
