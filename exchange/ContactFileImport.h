#pragma once

#include "ContactImport.h"
#include "ContactRecord.h"
#include "CsvFormat.h"

#include "base/Result.h"

#include <QDataStream>
#include <QList>
#include <QTemporaryFile>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class Connection;

namespace exchange {

// One file to import; a CSV file's columns as mapped (empty: the automatic
// mapping of its header).
struct ImportSource {
    QString path;
    QList<int> csvMapping;
    // The order of day and month in the birth dates, when the user chose it.
    std::optional<DateOrder> dateOrder = std::nullopt;
    // A CSV file none of whose columns names a contact is refused.
    bool requireNames = true;
};

// What a first pass over the files found, before anything is stored.
struct ImportSurvey {
    bool cancelled = false;
    int found = 0;
    int duplicates = 0;
    QStringList notKept;   // "PHOTO of Ann Lee"
    QStringList problems;  // what could not be read at all
};

// The import of files into the database in two passes: survey() reads every
// file once and counts the contacts and the duplicates, run() stores them in
// one transaction. The contacts read are held between the passes, in memory
// up to kHeldRecords, beyond that in a temporary file (or, when that cannot
// be written, the files are read a second time), so that memory does not
// grow with the file size.
class FileImport {
public:
    explicit FileImport(QList<ImportSource> sources);
    // Where the contacts read are held between the passes (by default the
    // system's folder for temporary files).
    void setSpoolFolder(const QString &folder) { m_spoolFolder = folder; }

    // `progress` is told (bytes read, bytes in all files) and returns false to cancel.
    Result<ImportSurvey> survey(Connection &connection, const std::function<bool(qint64, qint64)> &progress = {});
    // `progress` is told (contacts done, contacts found) and returns false to cancel.
    Result<ImportOutcome> run(Connection &connection, DuplicatePolicy policy,
                              const std::function<bool(int, int)> &progress = {});

    // Contacts held between the passes at most.
    static constexpr int kHeldRecords = 5000;

private:
    Status readAll(const std::function<bool(ContactRecord &)> &each, const std::function<bool(qint64, qint64)> &progress,
                   ImportSurvey *survey);

    bool spool(const ContactRecord &record);
    Result<ImportOutcome> runFromSpool(Connection &connection, DuplicatePolicy policy, const std::function<bool(int)> &tell);
    Result<ImportOutcome> runFromFiles(Connection &connection, DuplicatePolicy policy, const std::function<bool(int)> &tell);

    QList<ImportSource> m_sources;
    QList<ContactRecord> m_held;
    bool m_holdsAll = false;
    std::unique_ptr<QTemporaryFile> m_spool;
    std::unique_ptr<QDataStream> m_spoolStream;
    QString m_spoolFolder;
    int m_found = 0;
};

} // namespace exchange
