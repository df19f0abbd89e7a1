#pragma once

#include <QDateTime>
#include <functional>

// The program's clock. Tests replace it to get a fixed date and time.
namespace Clock {
QDateTime now();
void setSource(std::function<QDateTime()> source); // an empty function restores the system clock
}
