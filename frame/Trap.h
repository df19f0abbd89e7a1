#pragma once

#include <QString>
#include <functional>

class QWidget;

// Runs the numbered steps of a trapped procedure. A step that throws is
// reported through the "Application Error" box under the procedure's name and
// the step's number, and the procedure goes on with its next step.
//
//   Trap trap(this, "Form1", "PushButton7_Click");
//   trap.step(102, [&] { contactsRs->update(); });
//   if (trap.test(100, [&] { return isEditing(); })) ...  // a failed test runs the then-branch
//   if (!trap.confirm(100, [&] { return ask(); })) return; // a failed question guards nothing
class Trap {
public:
    Trap(QWidget *parent, QString unit, QString procedure);

    // Runs one step; returns false when it failed (and was reported).
    bool step(int number, const std::function<void()> &body);

    // A conditional test. A failing test is reported and counts as true, so
    // that the then-branch runs, as the continue-after-failure rule demands.
    bool test(int number, const std::function<bool()> &condition);

    // A confirmation question guarding a deletion or a restore. A failure
    // while asking (or while reading what the question shows) is reported and
    // counts as "No": the guarded steps never run without a Yes.
    bool confirm(int number, const std::function<bool()> &ask);

    // Number of steps that failed so far.
    int failures() const { return m_failures; }

private:
    bool run(int number, const std::function<void()> &body);

    QWidget *m_parent;
    QString m_unit;
    QString m_procedure;
    int m_failures = 0;
};
