#pragma once

// Moved to base/ (a library without Qt Widgets); this path stays for old includes.
#include "base/Paths.h"
