#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace exchange {

// A property of a card as the vCard library hands it over: decoded text
// values (the components of a structured value), parameters by name.
struct VCardProperty {
    QString group;
    QString name;                                  // upper case
    QList<QPair<QString, QStringList>> parameters; // names upper case
    QStringList values;

    QStringList parameter(const QString &name) const;
    // The TYPE values, upper case, including the bare ones of 2.1 cards.
    QStringList types() const;
    QString value() const { return values.join(QLatin1Char(';')); }
};

struct VCard {
    QList<VCardProperty> properties;
    // What the reader had to mend: NUL characters left out, the card's end
    // missing (the last card of a file cut short), values the library
    // warned about while reading them.
    int nulsRemoved = 0;
    bool unterminated = false;
    int repairs = 0;
};

// The one place that knows the vCard library. Reading takes vCard 2.1, 3.0
// and 4.0 text (already decoded to Unicode); writing gives vCard 3.0 in
// UTF-8 with CR LF line ends, folded at 75 octets.
class VCardLibrary {
public:
    virtual ~VCardLibrary() = default;
    // The lines of one or more cards, without their line ends. A card whose
    // END:VCARD is missing at the end of the lines is read as far as it goes.
    virtual QList<VCard> read(const QStringList &lines) const = 0;
    QList<VCard> read(const QString &text) const;
    virtual QByteArray write(const VCard &card) const = 0;

    static const VCardLibrary &instance();
};

} // namespace exchange
