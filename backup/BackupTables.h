#pragma once

// What the writer and the reader both need to know about the three tables:
// their live fields, how each field is written, and progress reporting.

#include "BackupFile.h"
#include "BackupText.h"

#include "base/Result.h"

#include <QList>
#include <QString>

#include <array>

class BackupStore;

namespace backup {

struct TableColumn {
    QString name;
    FieldKind kind;
};

// The live table's fields in their order; the first is the key.
struct TableInfo {
    QString name;
    QList<TableColumn> columns;
    QString keyName() const { return columns.first().name; }
};

// The three tables, indexed by BackupTable, in the order of the file.
Result<std::array<TableInfo, 3>> readTables(BackupStore &store);

// Progress is reported after every this many records.
inline constexpr qint64 kProgressEvery = 1000;

} // namespace backup
