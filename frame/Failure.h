#pragma once

#include <QSqlError>
#include <QString>
#include <stdexcept>

class QSqlQuery;

// A failure of one step of a trapped procedure. The description is shown
// verbatim in the "Application Error" box, so it carries the failing
// facility's own message (the database's, the file system's ...).
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString &description)
        : std::runtime_error(description.toStdString()), m_description(description) {}
    QString description() const { return m_description; }

private:
    QString m_description;
};

// Throws a Failure carrying the database's message when the query did not succeed.
void throwIfFailed(bool ok, const QSqlQuery &query);
void throwIfFailed(const QSqlError &error);
