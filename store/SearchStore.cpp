#include "SearchStore.h"

#include "Connection.h"
#include "SearchPattern.h"

#include <QHash>

namespace {
// Keys are read back by ContactID in runs of at most this many.
constexpr int kKeysPerStatement = 500;
} // namespace

Result<std::unique_ptr<SearchStore>> SearchStore::open(const QString &databaseFile)
{
    Result<std::unique_ptr<Connection>> connection = Connection::open(databaseFile, Connection::Open::ExistingFile);
    if (!connection)
        return connection.error();
    return std::make_unique<SearchStore>(std::move(connection).value());
}

SearchStore::SearchStore(std::unique_ptr<Connection> connection) : m_connection(std::move(connection)) {}

SearchStore::~SearchStore()
{
    stop();
}

const QStringList &SearchStore::shownFields()
{
    static const QStringList names = {
        QStringLiteral("FirstName"), QStringLiteral("LastName"),    QStringLiteral("Address"),
        QStringLiteral("City"),      QStringLiteral("CompanyName"), QStringLiteral("Title"),
    };
    return names;
}

QString SearchStore::keyQuery(const SearchPattern &pattern)
{
    // Where the database cannot decide alone, the searched fields come along
    // so that each row can be checked here.
    QString columns = QStringLiteral("ContactID");
    if (!pattern.databaseDecides())
        columns += QStringLiteral(", ") + SearchPattern::fields().join(QStringLiteral(", "));
    return QStringLiteral("SELECT %1 FROM Contacts WHERE %2").arg(columns, pattern.whereClause());
}

Status SearchStore::start(const QString &typed)
{
    stop();
    auto pattern = std::make_unique<SearchPattern>(typed);
    Result<Rows> rows = m_connection->run(keyQuery(*pattern), pattern->bindValues());
    if (!rows)
        return rows.error();
    m_pattern = std::move(pattern);
    m_rows = std::make_unique<Rows>(std::move(rows).value());
    return {};
}

Result<QList<qint64>> SearchStore::nextKeys(int count, QDeadlineTimer deadline)
{
    QList<qint64> keys;
    if (!m_rows)
        return keys;
    const bool check = !m_pattern->databaseDecides();
    const int fieldCount = int(SearchPattern::fields().size());
    for (int stepped = 1; keys.size() < count; ++stepped) {
        // Where rows are checked here, many may come back for each key.
        if (stepped % 1024 == 0 && deadline.hasExpired())
            break;
        if (!m_rows->next()) {
            const Status read = m_rows->status();
            stop();
            if (!read)
                return read.error();
            break;
        }
        if (check) {
            bool found = false;
            for (int field = 1; field <= fieldCount && !found; ++field) {
                const QVariant value = m_rows->value(field);
                found = !value.isNull() && m_pattern->matches(value.toString());
            }
            if (!found)
                continue;
        }
        keys.append(m_rows->value(0).toLongLong());
    }
    return keys;
}

bool SearchStore::searching() const
{
    return m_rows != nullptr;
}

void SearchStore::stop()
{
    if (m_rows) {
        m_rows->finish();
        m_rows.reset();
    }
    m_pattern.reset();
}

Result<QList<SearchRow>> SearchStore::rows(const QList<qint64> &keys)
{
    QHash<qint64, QStringList> found;
    for (qsizetype from = 0; from < keys.size(); from += kKeysPerStatement) {
        const QList<qint64> part = keys.mid(from, kKeysPerStatement);
        QStringList marks;
        QVariantList values;
        for (qint64 key : part) {
            marks << QStringLiteral("?");
            values << key;
        }
        Result<Rows> read = m_connection->run(QStringLiteral("SELECT ContactID, %1 FROM Contacts WHERE ContactID IN (%2)")
                                                  .arg(shownFields().join(QStringLiteral(", ")), marks.join(QLatin1Char(','))),
                                              values);
        if (!read)
            return read.error();
        while (read->next()) {
            QStringList texts;
            for (int column = 1; column <= shownFields().size(); ++column) {
                const QVariant value = read->value(column);
                texts << (value.isNull() ? QString() : value.toString());
            }
            found.insert(read->value(0).toLongLong(), texts);
        }
        if (Status status = read->status(); !status)
            return status.error();
    }
    QList<SearchRow> rows;
    rows.reserve(found.size());
    for (qint64 key : keys) {
        const auto row = found.constFind(key);
        if (row != found.cend())
            rows.append({key, row.value()});
    }
    return rows;
}

Result<bool> SearchStore::contains(qint64 contactId)
{
    const Result<std::optional<QVariant>> found =
        m_connection->value(QStringLiteral("SELECT 1 FROM Contacts WHERE ContactID = ?"), {contactId});
    if (!found)
        return found.error();
    return found->has_value();
}

Result<QStringList> SearchStore::queryPlan(const QString &typed)
{
    const SearchPattern pattern(typed);
    Result<Rows> rows = m_connection->run(QStringLiteral("EXPLAIN QUERY PLAN ") + keyQuery(pattern), pattern.bindValues());
    if (!rows)
        return rows.error();
    QStringList steps;
    while (rows->next())
        steps << rows->value(3).toString();
    if (Status read = rows->status(); !read)
        return read.error();
    return steps;
}
