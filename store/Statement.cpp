#include "Statement.h"

#include "Connection.h"

Error closedObjectError()
{
    return failure(QStringLiteral("Operation is not allowed when the object is closed."));
}

Error noCurrentRecordError()
{
    return failure(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                  "Requested operation requires a current record."));
}

Error rowChangedError()
{
    return failure(QStringLiteral("Row cannot be located for updating. "
                                  "Some values may have been changed since it was last read."),
                   kRowChangedCode);
}

QVariant storableValue(const QVariant &value)
{
    if (value.isNull())
        return QVariant(QMetaType::fromType<QString>());
    if (value.typeId() == QMetaType::QString && value.toString().isEmpty())
        return QVariant(QMetaType::fromType<QString>());
    return value;
}
