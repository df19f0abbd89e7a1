#include "Collation.h"

#include <QLocale>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <numeric>

QCollator userCollator()
{
    return QCollator(QLocale());
}

QList<int> collatedOrder(const QStringList &texts)
{
    const QCollator collator = userCollator();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(texts.size()));
    for (const QString &text : texts)
        keys.push_back(collator.sortKey(text));
    QList<int> order(texts.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&keys](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
    return order;
}

void sortCaptions(QStringList &captions)
{
    QStringList sorted;
    sorted.reserve(captions.size());
    for (const int index : collatedOrder(captions))
        sorted << captions.at(index);
    captions = sorted;
}

QString groupLetter(const QString &text, const QCollator &collator)
{
    const QString trimmed = text.trimmed().normalized(QString::NormalizationForm_C);
    if (trimmed.isEmpty())
        return {};
    // The first letter as the reader sees it, with any combining marks.
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, trimmed);
    const qsizetype end = graphemes.toNextBoundary();
    const QString first = trimmed.left(end > 0 ? end : 1);
    const QString upper = first.toUpper();
    const QString decomposed = upper.normalized(QString::NormalizationForm_D);
    const QString base = decomposed.left(decomposed.at(0).isHighSurrogate() ? 2 : 1);
    if (base == upper || !base.at(0).isLetter())
        return upper;
    // Words beginning with the accented letter sort among the words beginning
    // with the plain one exactly when the locale treats the two as one letter.
    const bool amongBase = collator.compare(upper + QLatin1Char('A'), base + QLatin1Char('Z')) < 0
        && collator.compare(upper + QLatin1Char('A'), base) > 0;
    return amongBase ? base : upper;
}
