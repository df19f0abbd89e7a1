#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

// The condition of one search of the contacts by the beginning of seventeen
// text fields.
//
// A field matches when its value is LIKE the typed text followed by '%': the
// text is taken exactly as typed (blanks kept), '%' stands for any run of
// characters and '_' for any one character, and letters match regardless of
// case, also beyond ASCII (É matches é, Σ matches σ and ς).
//
// The condition reads through the NOCASE indexes of the seventeen fields: the
// literal beginning of the text becomes one key range per field (one per case
// form of a letter whose case forms the index does not fold together), so the
// database unions a few index ranges instead of reading the table. A text
// that begins with a wildcard has no such beginning and reads the table.
// SQLite's own LIKE narrows the rows further inside the database; where it
// cannot decide alone (a letter with case forms beyond ASCII after the key
// ranges), every row it returns is checked with matches() before it counts.
class SearchPattern {
public:
    // The searched fields, in the order they are tested.
    static const QStringList &fields();

    explicit SearchPattern(const QString &typed);

    QString typed() const { return m_typed; }
    // True when the value matches the typed text followed by '%'.
    bool matches(const QString &value) const;
    // True when the database's condition alone gives exactly the matching
    // rows, so that no returned row needs matches().
    bool databaseDecides() const { return m_databaseDecides; }

    // The condition over the Contacts table and its bound values, in order.
    QString whereClause() const;
    QVariantList bindValues() const;

    // Key ranges [lower, upper) in NOCASE order; an empty upper has no bound.
    struct Range {
        QString lower;
        QString upper;
    };
    const QVector<Range> &ranges() const { return m_ranges; }

private:
    QString m_typed;
    QVector<char32_t> m_pattern; // folded, wildcards kept
    QString m_coarsePattern;     // for SQLite's LIKE: a necessary condition
    QVector<Range> m_ranges;
    bool m_databaseDecides = true;
};
