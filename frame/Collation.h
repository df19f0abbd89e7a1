#pragma once

#include <QCollator>
#include <QList>
#include <QString>
#include <QStringList>

// Text in the order a person reads it: the user's locale decides (accents,
// case, letters of its own alphabet). Sorting happens after reading, so that
// the database file needs no collation of the program's own.

// A collator for the user's locale (QLocale(), the system locale unless the
// program set another).
QCollator userCollator();

// The positions of the texts in collated order; equal texts keep their order.
QList<int> collatedOrder(const QStringList &texts);

// Sorts captions (contact types, for example) in collated order.
void sortCaptions(QStringList &captions);

// The letter a listing groups a text under: its first letter, in upper case,
// and without its accent where the collator sorts the accented letter among
// the plain one (É with E in German or English, but Ä after Z in Swedish).
// Leading blanks are skipped; an empty text gives an empty letter.
QString groupLetter(const QString &text, const QCollator &collator);
