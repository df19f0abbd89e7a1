#pragma once

// The check that a backup file is whole before anything of it is restored:
// a file cut short (a copy interrupted, a full disk) or one that lost a
// marker line would otherwise replace the database with part of its data.

#include "BackupText.h"
#include "BackupTrailer.h"

#include <QString>

namespace backup {

// What is missing, as the sentence the user reads ("The file ends inside the
// Calls section after record 5,012; it is incomplete. Nothing was
// changed."), or empty text when the file is complete. A file of an older
// installation without a trailing section is complete when its three
// sections are.
QString missingParts(const BackupLines &lines, const BackupSections &sections, const BackupTrailer &trailer);

// A count with its thousands grouped by commas, as the messages show it.
QString groupedCount(qint64 count);

} // namespace backup
