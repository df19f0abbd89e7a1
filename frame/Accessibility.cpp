#include "Accessibility.h"

#include <QLabel>
#include <QWidget>

QString accessibleNameFromCaption(const QString &caption)
{
    QString name;
    name.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&')) {
            // "&&" is a literal ampersand; a single one marks the mnemonic.
            if (i + 1 < caption.size() && caption.at(i + 1) == QLatin1Char('&'))
                name += caption.at(++i);
            continue;
        }
        name += caption.at(i);
    }
    name = name.simplified();
    while (name.endsWith(QLatin1Char(':')))
        name = name.chopped(1).trimmed();
    return name;
}

CaptionNames::CaptionNames(QWidget *form) : m_form(form) {}

void CaptionNames::pair(QLabel *caption, QWidget *box)
{
    m_pairs.append({caption, box});
}

void CaptionNames::name(QWidget *box, const QString &caption)
{
    for (auto &named : m_texts) {
        if (named.first == box) {
            named.second = caption;
            return;
        }
    }
    m_texts.append({box, caption});
}

void CaptionNames::apply() const
{
    if (!m_form)
        return;
    const auto labels = m_form->findChildren<QLabel *>();
    for (const QLabel *label : labels) {
        if (QWidget *box = label->buddy())
            box->setAccessibleName(accessibleNameFromCaption(label->text()));
    }
    for (const auto &[caption, box] : m_pairs) {
        if (caption && box)
            box->setAccessibleName(accessibleNameFromCaption(caption->text()));
    }
    for (const auto &[box, caption] : m_texts) {
        if (box)
            box->setAccessibleName(accessibleNameFromCaption(caption));
    }
}
