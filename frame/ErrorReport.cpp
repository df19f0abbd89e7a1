#include "ErrorReport.h"

#include "MessageService.h"

QString qualifiedProcedureName(const QString &unit, const QString &procedure)
{
    return QStringLiteral("in Corvanta2021/08/31.%1.%2 ").arg(unit, procedure);
}

QString applicationErrorText(const QString &description, const QString &qualifiedName, int step)
{
    return description + QStringLiteral("\r\n") + qualifiedName + QStringLiteral("at line ")
        + QString::number(step) + QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ")
        + QString::fromLatin1(kSupportAddress);
}

void reportApplicationError(QWidget *parent, const QString &unit, const QString &procedure,
                            int step, const QString &description)
{
    MessageService::instance().applicationError(
        parent, applicationErrorText(description, qualifiedProcedureName(unit, procedure), step));
}
