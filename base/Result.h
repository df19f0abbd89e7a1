#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

// Why an operation failed. The description is shown verbatim in the
// "Application Error" box, so it carries the failing facility's own message
// (the database's, the file system's ...). `code` is the SQLite result code
// when the database failed, otherwise 0. A long operation made of parts
// (a backup: the file, the database, each table) says in `part` which of
// them failed, by a number of its own, so that its caller can name it;
// 0 when it does not say.
struct Error {
    QString description;
    int code = 0;
    int part = 0;
};

// The outcome of an operation that can fail: a value or an Error.
//
//   Result<qint64> count = store.countContacts();
//   if (!count) return count.error();
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_outcome(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : m_outcome(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_outcome.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return std::get<0>(m_outcome); }
    T &value() & { return std::get<0>(m_outcome); }
    T &&value() && { return std::get<0>(std::move(m_outcome)); }
    const T &operator*() const & { return value(); }
    T &operator*() & { return value(); }
    const T *operator->() const { return &value(); }
    T *operator->() { return &value(); }

    T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }
    const Error &error() const { return std::get<1>(m_outcome); }

private:
    std::variant<T, Error> m_outcome;
};

// The outcome of an operation that gives nothing back but can fail.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)) {}

    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const Error &error() const { return *m_error; }

private:
    std::optional<Error> m_error;
};

using Status = Result<void>;

inline Error failure(QString description, int code = 0)
{
    return Error{std::move(description), code};
}

// The error as a failure of the given part of a longer operation; a part
// already named by a deeper step is kept.
template <typename Part>
Error inPart(Part part, Error error)
{
    if (error.part == 0)
        error.part = int(part);
    return error;
}
