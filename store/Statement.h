#pragma once

#include "base/Result.h"

#include <QVariant>

// The texts the record sets give when they are used in a state that does not allow it.
Error closedObjectError();
Error noCurrentRecordError();
Error rowChangedError();

// Empty text is stored as Null: the program shows Null as empty everywhere.
QVariant storableValue(const QVariant &value);
