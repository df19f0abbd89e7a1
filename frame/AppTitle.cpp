#include "AppTitle.h"

namespace {
QString g_title = QString::fromLatin1(kProductName);

bool cutAtLastBlank(QString &text)
{
    const qsizetype blank = text.lastIndexOf(QLatin1Char(' '));
    if (blank < 0)
        return false;
    text.truncate(blank);
    return true;
}
} // namespace

QString appTitleFor(const QString &productName)
{
    QString title = productName;
    if (!cutAtLastBlank(title))
        return title;
    while (title.size() > 40 && cutAtLastBlank(title)) {
    }
    return title;
}

void SetAppTitle()
{
    g_title = appTitleFor(QString::fromLatin1(kProductName));
}

QString applicationTitle()
{
    return g_title;
}
