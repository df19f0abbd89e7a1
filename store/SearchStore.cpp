#include "SearchStore.h"

#include "Connection.h"
#include "SearchPattern.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace {
// Keys are read back by ContactID in runs of at most this many.
constexpr int kKeysPerStatement = 500;

Status bindAndRun(QSqlQuery &query, const QVariantList &values)
{
    for (const QVariant &value : values)
        query.addBindValue(value);
    return Connection::run(query);
}
} // namespace

Result<std::unique_ptr<SearchStore>> SearchStore::open(const QString &databaseFile)
{
    Result<std::unique_ptr<Connection>> connection = Connection::open(databaseFile);
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
    Result<QSqlQuery> query = m_connection->prepare(keyQuery(*pattern));
    if (!query)
        return query.error();
    query->setForwardOnly(true);
    if (Status ran = bindAndRun(*query, pattern->bindValues()); !ran)
        return ran;
    m_pattern = std::move(pattern);
    m_query = std::make_unique<QSqlQuery>(std::move(query).value());
    return {};
}

Result<QList<qint64>> SearchStore::nextKeys(int count, QDeadlineTimer deadline)
{
    QList<qint64> keys;
    if (!m_query)
        return keys;
    const bool check = !m_pattern->databaseDecides();
    const int fieldCount = int(SearchPattern::fields().size());
    for (int stepped = 1; keys.size() < count; ++stepped) {
        // Where rows are checked here, many may come back for each key.
        if (stepped % 1024 == 0 && deadline.hasExpired())
            break;
        if (!m_query->next()) {
            const Error error = Connection::errorOf(*m_query);
            const bool failed = m_query->lastError().isValid();
            stop();
            if (failed)
                return error;
            break;
        }
        if (check) {
            bool found = false;
            for (int field = 1; field <= fieldCount && !found; ++field) {
                const QVariant value = m_query->value(field);
                found = !value.isNull() && m_pattern->matches(value.toString());
            }
            if (!found)
                continue;
        }
        keys.append(m_query->value(0).toLongLong());
    }
    return keys;
}

bool SearchStore::searching() const
{
    return m_query != nullptr;
}

void SearchStore::stop()
{
    if (m_query) {
        m_query->finish();
        m_query.reset();
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
        Result<QSqlQuery> query = m_connection->prepare(
            QStringLiteral("SELECT ContactID, %1 FROM Contacts WHERE ContactID IN (%2)")
                .arg(shownFields().join(QStringLiteral(", ")), marks.join(QLatin1Char(','))));
        if (!query)
            return query.error();
        query->setForwardOnly(true);
        if (Status ran = bindAndRun(*query, values); !ran)
            return ran.error();
        while (query->next()) {
            QStringList texts;
            for (int column = 1; column <= shownFields().size(); ++column) {
                const QVariant value = query->value(column);
                texts << (value.isNull() ? QString() : value.toString());
            }
            found.insert(query->value(0).toLongLong(), texts);
        }
        if (query->lastError().isValid())
            return Connection::errorOf(*query);
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
    Result<QSqlQuery> query = m_connection->prepare(QStringLiteral("SELECT 1 FROM Contacts WHERE ContactID = ?"));
    if (!query)
        return query.error();
    if (Status ran = bindAndRun(*query, {contactId}); !ran)
        return ran.error();
    const bool found = query->next();
    if (query->lastError().isValid())
        return Connection::errorOf(*query);
    return found;
}

Result<QStringList> SearchStore::queryPlan(const QString &typed)
{
    const SearchPattern pattern(typed);
    Result<QSqlQuery> query = m_connection->prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + keyQuery(pattern));
    if (!query)
        return query.error();
    if (Status ran = bindAndRun(*query, pattern.bindValues()); !ran)
        return ran.error();
    QStringList steps;
    while (query->next())
        steps << query->value(3).toString();
    return steps;
}
