#include "Trap.h"

#include "ErrorReport.h"
#include "Failure.h"

#include <exception>

Trap::Trap(QWidget *parent, QString unit, QString procedure)
    : m_parent(parent), m_unit(std::move(unit)), m_procedure(std::move(procedure))
{
}

bool Trap::run(int number, const std::function<void()> &body)
{
    QString description;
    try {
        body();
        return true;
    } catch (const Failure &failure) {
        description = failure.description();
    } catch (const std::exception &error) {
        description = QString::fromLocal8Bit(error.what());
    }
    ++m_failures;
    reportApplicationError(m_parent, m_unit, m_procedure, number, description);
    return false;
}

bool Trap::step(int number, const std::function<void()> &body)
{
    return run(number, body);
}

bool Trap::test(int number, const std::function<bool()> &condition)
{
    bool result = true;
    run(number, [&] { result = condition(); });
    return result;
}

bool Trap::confirm(int number, const std::function<bool()> &ask)
{
    bool yes = false;
    if (!run(number, [&] { yes = ask(); }))
        return false;
    return yes;
}
