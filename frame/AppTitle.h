#pragma once

#include <QString>

inline constexpr const char *kProductName = "Corvanta";

// The title rule: cut the product name at its last blank, at least once and then
// again while the result is longer than 40 characters. A name without a blank
// is kept whole.
QString appTitleFor(const QString &productName);

// Applies the title rule to the product name and makes the result the title of
// every message box that names no title of its own.
void SetAppTitle();
QString applicationTitle();
