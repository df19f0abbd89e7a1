#pragma once

#include "base/Result.h"

#include <QString>
#include <QVariant>
#include <QVector>

class Connection;

// The texts the record sets give when they are used in a state that does not allow it.
Error closedObjectError();
Error noCurrentRecordError();
Error rowChangedError();
// The code of rowChangedError(): an edited field no longer holds what was read.
inline constexpr int kRowChangedCode = -2;
inline bool isRowChanged(const Error &error) { return error.code == kRowChangedCode; }

// Empty text is stored as Null: the program shows Null as empty everywhere.
QVariant storableValue(const QVariant &value);
