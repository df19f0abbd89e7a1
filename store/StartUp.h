#pragma once

#include "base/Result.h"

#include <QString>

// What the first steps of every start do to the data files, one operation at
// a time: the data folder and, at the first start, the live database (a copy
// of Contacts.sqlite or dbBlank.sqlite beside the program, or the built-in
// schema when neither is there). The caller decides the order and reports
// each failure under its own step (frame/StartUpSteps.h).

// Creates the folder with every folder above it that is missing.
Status makeFolder(const QString &path);
// Copies a seed database to the live database's place, writable by the user.
Status copyToLive(const QString &from);
// Writes the built-in schema as the live database.
Status writeBlankLiveDatabase();
