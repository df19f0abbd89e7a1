#include "SearchPattern.h"

#include <QChar>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace {
constexpr char32_t kAnyRun = U'%';
constexpr char32_t kAnyOne = U'_';
// Case forms multiply the key ranges; beyond this many the beginning of the
// text is only used as far as it stays within the limit.
constexpr int kMaxRangesPerField = 8;

char32_t fold(char32_t c)
{
    return QChar::toCaseFolded(c);
}

// Every character with the same case folding as another, grouped by the
// folded character. Case pairs live in the first two planes only.
const QHash<char32_t, QVector<char32_t>> &caseGroups()
{
    static const QHash<char32_t, QVector<char32_t>> groups = [] {
        QHash<char32_t, QVector<char32_t>> shared;
        for (char32_t c = 0; c < 0x20000; ++c) {
            if (c >= 0xD800 && c < 0xE000)
                continue;
            const char32_t folded = fold(c);
            if (folded == c)
                continue;
            QVector<char32_t> &group = shared[folded];
            if (group.isEmpty() && fold(folded) == folded)
                group.append(folded);
            group.append(c);
        }
        return shared;
    }();
    return groups;
}

// How SQLite's NOCASE collation sees a character: ASCII letters folded, the rest as is.
char32_t nocaseKey(char32_t c)
{
    return c >= U'A' && c <= U'Z' ? c + (U'a' - U'A') : c;
}

// The forms of a character that match it, one per NOCASE key.
QVector<char32_t> indexForms(char32_t c)
{
    const auto &groups = caseGroups();
    const auto found = groups.constFind(fold(c));
    if (found == groups.cend())
        return {nocaseKey(c)};
    QVector<char32_t> keys;
    for (char32_t form : found.value()) {
        const char32_t key = nocaseKey(form);
        if (!keys.contains(key))
            keys.append(key);
    }
    return keys;
}

QString fromCodePoints(const QVector<char32_t> &points)
{
    return QString::fromUcs4(points.constData(), points.size());
}

// The smallest key above every string that begins with the given one, or an
// empty text when there is none.
QString upperBound(QVector<char32_t> prefix)
{
    char32_t &last = prefix.last();
    if (last >= 0x10FFFF)
        return {};
    last = last + 1 == 0xD800 ? 0xE000 : last + 1;
    return fromCodePoints(prefix);
}

bool likeMatch(const QVector<char32_t> &pattern, const QVector<char32_t> &text)
{
    qsizetype p = 0;
    qsizetype t = 0;
    qsizetype runAt = -1;  // pattern position after the last '%'
    qsizetype runFrom = 0; // text position that '%' currently reaches to
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == kAnyRun) {
            runAt = ++p;
            runFrom = t;
        } else if (p < pattern.size() && (pattern[p] == kAnyOne || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (runAt >= 0) {
            p = runAt;
            t = ++runFrom;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == kAnyRun)
        ++p;
    return p == pattern.size();
}
} // namespace

const QStringList &SearchPattern::fields()
{
    static const QStringList names = {
        QStringLiteral("FirstName"),        QStringLiteral("LastName"),
        QStringLiteral("Address"),          QStringLiteral("City"),
        QStringLiteral("StateOrProvince"),  QStringLiteral("PostalCode"),
        QStringLiteral("Region"),           QStringLiteral("Country"),
        QStringLiteral("CompanyName"),      QStringLiteral("Title"),
        QStringLiteral("EmailName"),        QStringLiteral("SpouseName"),
        QStringLiteral("MaritalStatus"),    QStringLiteral("SpousesInterests"),
        QStringLiteral("ChildrenNames"),    QStringLiteral("Hometown"),
        QStringLiteral("ContactsInterests"),
    };
    return names;
}

SearchPattern::SearchPattern(const QString &typed) : m_typed(typed)
{
    const QList<uint> points = typed.toUcs4();
    QVector<QVector<char32_t>> prefixes{{}};
    bool literalBeginning = true;
    for (uint point : points) {
        const char32_t c = point;
        const bool wildcard = c == kAnyRun || c == kAnyOne;
        m_pattern.append(wildcard ? c : fold(c));

        const QVector<char32_t> forms = wildcard ? QVector<char32_t>{} : indexForms(c);
        if (literalBeginning && !wildcard && prefixes.size() * forms.size() <= kMaxRangesPerField) {
            QVector<QVector<char32_t>> longer;
            for (const auto &prefix : prefixes) {
                for (char32_t form : forms)
                    longer.append(prefix + QVector<char32_t>{form});
            }
            prefixes = std::move(longer);
        } else {
            literalBeginning = false;
        }

        // SQLite's LIKE folds ASCII letters only: a character with further
        // case forms is left to any one character there and checked here.
        // Within the key ranges the ranges themselves hold it to its forms.
        if (wildcard || forms.size() == 1) {
            m_coarsePattern += QString::fromUcs4(&c, 1);
        } else {
            m_coarsePattern += QLatin1Char('_');
            if (!literalBeginning)
                m_databaseDecides = false;
        }
    }
    m_pattern.append(kAnyRun);
    m_coarsePattern += QLatin1Char('%');

    if (!prefixes.first().isEmpty()) {
        for (const auto &prefix : prefixes) {
            const QString upper = upperBound(prefix);
            // A range without an upper bound does not hold the beginning.
            if (upper.isEmpty())
                m_databaseDecides = false;
            m_ranges.append({fromCodePoints(prefix), upper});
        }
    }
}

bool SearchPattern::matches(const QString &value) const
{
    QVector<char32_t> text;
    text.reserve(value.size());
    for (uint point : value.toUcs4())
        text.append(fold(point));
    return likeMatch(m_pattern, text);
}

QString SearchPattern::whereClause() const
{
    QStringList terms;
    for (const QString &field : fields()) {
        if (m_ranges.isEmpty()) {
            terms << field + QStringLiteral(" LIKE ?");
            continue;
        }
        for (const Range &range : m_ranges) {
            QString term = QStringLiteral("(%1 COLLATE NOCASE >= ?").arg(field);
            if (!range.upper.isEmpty())
                term += QStringLiteral(" AND %1 COLLATE NOCASE < ?").arg(field);
            // The unary plus keeps SQLite from deriving a key range of its
            // own from the LIKE: that one ends at the first letter with case
            // forms beyond ASCII and is wider than the ranges here.
            term += QStringLiteral(" AND +%1 LIKE ?)").arg(field);
            terms << term;
        }
    }
    return terms.join(QStringLiteral(" OR "));
}

QVariantList SearchPattern::bindValues() const
{
    QVariantList values;
    for (qsizetype i = 0; i < fields().size(); ++i) {
        if (m_ranges.isEmpty()) {
            values << m_coarsePattern;
            continue;
        }
        for (const Range &range : m_ranges) {
            values << range.lower;
            if (!range.upper.isEmpty())
                values << range.upper;
            values << m_coarsePattern;
        }
    }
    return values;
}
