#include "Trap.h"

#include "ErrorReport.h"

#include <exception>

namespace {
// Runs the body; whatever it throws becomes an Error, so that no exception
// ever leaves a slot.
Status runCatching(const std::function<Status()> &body)
{
    try {
        return body();
    } catch (const std::exception &thrown) {
        return failure(QString::fromUtf8(thrown.what()));
    } catch (...) {
        return failure(QStringLiteral("Unexpected failure."));
    }
}
} // namespace

Trap::Trap(QWidget *parent, QString unit, QString procedure)
    : m_parent(parent), m_unit(std::move(unit)), m_procedure(std::move(procedure))
{
}

bool Trap::run(int number, const std::function<Status()> &body)
{
    return run([number](int) { return number; }, body);
}

bool Trap::run(const std::function<int(int part)> &numberOf, const std::function<Status()> &body)
{
    const Status outcome = runCatching(body);
    if (outcome)
        return true;
    ++m_failures;
    reportApplicationError(m_parent, m_unit, m_procedure, numberOf(outcome.error().part), outcome.error().description);
    return false;
}

bool runGuarded(QWidget *parent, const QString &unit, const QString &procedure,
                const std::function<Status()> &body)
{
    const Status outcome = runCatching(body);
    if (outcome)
        return true;
    try {
        reportApplicationError(parent, unit, procedure, kUntrappedStep, outcome.error().description);
    } catch (...) {
        // Showing the box itself failed; there is nowhere left to report it.
    }
    return false;
}
