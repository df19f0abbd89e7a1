#pragma once

#include "base/Result.h"

#include <QString>

#include <functional>
#include <type_traits>
#include <utility>

class QWidget;

namespace trapdetail {
template <typename>
struct IsResult : std::false_type {};
template <typename T>
struct IsResult<Result<T>> : std::true_type {};

// Turns what a step gives back (nothing, a Status or a Result) into a Status.
template <typename Body>
Status asStatus(Body &body)
{
    using Returned = std::invoke_result_t<Body &>;
    if constexpr (std::is_void_v<Returned>) {
        body();
        return {};
    } else {
        static_assert(IsResult<Returned>::value, "a step returns nothing, a Status or a Result");
        Returned outcome = body();
        if (!outcome)
            return outcome.error();
        return {};
    }
}

// Reads a condition that is a bool or a Result<bool>.
template <typename Condition>
Status asCondition(Condition &condition, bool &answer)
{
    using Returned = std::invoke_result_t<Condition &>;
    if constexpr (std::is_same_v<Returned, bool>) {
        answer = condition();
        return {};
    } else {
        static_assert(std::is_same_v<Returned, Result<bool>>, "a test returns bool or Result<bool>");
        Result<bool> outcome = condition();
        if (!outcome)
            return outcome.error();
        answer = outcome.value();
        return {};
    }
}
} // namespace trapdetail

// Runs the numbered steps of a trapped procedure. A step whose Result is an
// Error is reported through the "Application Error" box under the procedure's
// name and the step's number, and the procedure goes on with its next step.
//
//   Trap trap(this, "Form1", "PushButton7_Click");
//   trap.step(102, [&] { return contactsRs->update(); });    // a Status
//   if (trap.test(100, [&] { return isEditing(); })) ...     // a failed test runs the then-branch
//   if (!trap.confirm(100, [&] { return ask(); })) return;   // a failed question guards nothing
//
// Steps that cannot fail are plain statements, not steps.
class Trap {
public:
    Trap(QWidget *parent, QString unit, QString procedure);

    // Runs one step; returns false when it failed (and was reported).
    template <typename Body>
    bool step(int number, Body &&body)
    {
        return run(number, [&]() -> Status { return trapdetail::asStatus(body); });
    }

    // A step made of parts that fail under numbers of their own:
    // `numberOf` gives the number a failure is reported under from the
    // part its Error names (Error::part).
    template <typename Body>
    bool step(const std::function<int(int part)> &numberOf, Body &&body)
    {
        return run(numberOf, [&]() -> Status { return trapdetail::asStatus(body); });
    }

    // A conditional test. A failing test is reported and counts as true, so
    // that the then-branch runs, as the continue-after-failure rule demands.
    template <typename Condition>
    bool test(int number, Condition &&condition)
    {
        bool answer = true;
        run(number, [&]() -> Status { return trapdetail::asCondition(condition, answer); });
        return answer;
    }

    // A confirmation question guarding a deletion or a restore. A failure
    // while asking (or while reading what the question shows) is reported and
    // counts as "No": the guarded steps never run without a Yes.
    template <typename Ask>
    bool confirm(int number, Ask &&ask)
    {
        bool yes = false;
        if (!run(number, [&]() -> Status { return trapdetail::asCondition(ask, yes); }))
            return false;
        return yes;
    }

    // Number of steps that failed so far.
    int failures() const { return m_failures; }

private:
    bool run(int number, const std::function<Status()> &body);
    bool run(const std::function<int(int part)> &numberOf, const std::function<Status()> &body);

    QWidget *m_parent;
    QString m_unit;
    QString m_procedure;
    int m_failures = 0;
};

// The step number under which a handler without numbered steps of its own
// (a list click, a box's change, a grid event) reports a failure.
inline constexpr int kUntrappedStep = 100;

// Runs a handler that has no numbered steps of its own. A failure it returns
// (or anything it throws) is shown in the "Application Error" box under the
// handler's name; nothing ever escapes into Qt's event loop.
bool runGuarded(QWidget *parent, const QString &unit, const QString &procedure,
                const std::function<Status()> &body);

// Wraps a handler for connect(): the returned callable takes the signal's
// arguments and runs the handler through runGuarded().
//
//   connect(box, &QLineEdit::editingFinished, this,
//           guarded(this, "Form1", "Text1_LostFocus", [this] { return SetFullName(); }));
template <typename Handler>
auto guarded(QWidget *parent, QString unit, QString procedure, Handler handler)
{
    return [parent, unit = std::move(unit), procedure = std::move(procedure),
            handler = std::move(handler)](auto &&...arguments) mutable {
        runGuarded(parent, unit, procedure, [&]() -> Status {
            auto body = [&] { return handler(std::forward<decltype(arguments)>(arguments)...); };
            return trapdetail::asStatus(body);
        });
    };
}
