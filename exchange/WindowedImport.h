#pragma once

#include "base/Result.h"

#include <QStringList>

#include <functional>
#include <memory>

class Connection;
class QWidget;

namespace exchange {

using ConnectionOpener = std::function<Result<std::unique_ptr<Connection>>()>;

// The import of files with windows: the column mapping of each CSV file,
// the count of contacts and duplicates with the one question what to do
// with those, a progress dialog with Cancel on large files, and a summary.
// Everything is stored in one transaction; a cancel at any point leaves the
// database as it was. Gives true when contacts were stored.
Result<bool> importFilesWithWindows(QWidget *parent, const QStringList &paths, const ConnectionOpener &open);

// Files at least this large show the progress dialog at once.
inline constexpr qint64 kLargeImportBytes = 256 * 1024;

} // namespace exchange
