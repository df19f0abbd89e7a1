#pragma once

// Turns the rows of one table into the record lines of its section, and
// collects what the trailing section needs of them: the old keys, the
// fingerprint of every line and the exact texts, each already in the form
// the trailing section holds them, so that the file's end is only written.

#include "BackupFile.h"
#include "BackupOutput.h"
#include "BackupTables.h"

#include "store/BackupStore.h"

#include <atomic>

namespace backup {

// What the writer keeps of a section for the trailing section.
struct SectionOutput {
    ByteBuffer keys;         // the old key of every record (KEYS lines)
    ByteBuffer fingerprints; // of every record line, in order (LINES lines)
    // The exact texts (TEXTS lines): the first ones set aside in a temporary
    // file in spillFolder, the last ones in the buffer.
    ByteBuffer texts;
    std::unique_ptr<SpillFile> textsSpill;
    QString spillFolder;
    qint64 written = 0;      // record lines
};

// Encodes every row of a table into record lines, then the "TABLE END" line
// and the empty line after it; the keys are kept for the sections that the
// key section lists. Stops early when *stop is set.
Status encodeRows(BackupStore::Rows &rows, BackupTable table, const TableInfo &info, LineWriter &lines,
                  SectionOutput &section, std::atomic<qint64> &done, const std::atomic<bool> *stop);

} // namespace backup
