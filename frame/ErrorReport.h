#pragma once

#include <QString>

class QWidget;

inline constexpr const char *kApplicationErrorTitle = "Application Error";
inline constexpr const char *kSupportAddress = "support@quillmark.com";

// "in Corvanta2021/08/31.<unit>.<procedure> " - the name every report carries.
QString qualifiedProcedureName(const QString &unit, const QString &procedure);

// The full text of the "Application Error" box.
QString applicationErrorText(const QString &description, const QString &qualifiedName, int step);

// Shows the "Application Error" box and returns when the user has closed it.
void reportApplicationError(QWidget *parent, const QString &unit, const QString &procedure,
                            int step, const QString &description);
