#pragma once

#include "ContactRecord.h"

#include "base/Result.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

class Connection;

namespace exchange {

enum class DuplicatePolicy { Skip, FillEmpty, AddNew };

// Which contacts of a file look like contacts already stored: the same UID,
// the same e-mail address, or the same first and last name with the same
// phone digits.
// Holds only the keys of the stored contacts for the check.
class DuplicateFinder {
public:
    static Result<DuplicateFinder> load(Connection &connection);
    // The key of the stored contact that the record matches, or 0.
    qint64 match(const ContactRecord &record) const;
    qint64 storedCount() const { return m_stored; }
    // Takes a contact into the check (one stored meanwhile, or one read
    // earlier from the same file): its fields by position, its UID.
    void add(qint64 contactId, const QStringList &row, const QString &uid);

private:
    QHash<QString, qint64> m_byUid;

    QHash<QString, qint64> m_byEmail;
    QHash<QString, qint64> m_byNameAndPhone;
    qint64 m_stored = 0;
};

struct ImportOutcome {
    int added = 0;
    int filled = 0;   // duplicates whose empty fields were filled
    int skipped = 0;
    int typesCreated = 0;
    // Values of updated contacts that differed from the stored ones and were
    // kept as dated Notes lines.
    int valuesKeptInNotes = 0;
    bool cancelled = false;
};

// Hands over the next record; false when there are no more, an Error when
// the records cannot be read (the import is then rolled back).
using RecordSource = std::function<Result<bool>(ContactRecord &)>;

// Stores the records in one transaction; types named by the stored records
// that do not exist yet are created. `progress` is told how many records
// are done and returns false to cancel; a cancel or a failure leaves the
// database as it was. `expected` is the number of records, when known: a
// large import into a smaller table builds the table's indexes afresh.
Result<ImportOutcome> importContacts(Connection &connection, const RecordSource &next, DuplicatePolicy policy,
                                     const std::function<bool(int)> &progress = {}, qint64 expected = 0);

// Imports of at least this many records may build the indexes afresh.
inline constexpr qint64 kIndexRebuildRecords = 20000;
// The same for records held in a list; `progress` is told (done, total).
Result<ImportOutcome> importContacts(Connection &connection, const QList<ContactRecord> &records,
                                     DuplicatePolicy policy,
                                     const std::function<bool(int, int)> &progress = {});

} // namespace exchange
