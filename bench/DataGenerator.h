#pragma once

#include <QString>

// Writes a database of realistic contacts (all 28 fields, accented names,
// multi-line notes, some Null fields) with their types and calls.
struct GeneratorOptions {
    qint64 contacts = 1000;
    qint64 callsPerContact = 5;
    int types = 12;
    quint32 seed = 20211231;
    // Calls at random times of day on dates spread over some 75 years, and
    // an apostrophe in many first names: the data the backup file's date
    // and text encoding see in real use.
    bool spreadCalls = false;
};

// Creates (or replaces) the database file at path. Returns false with a message on failure.
bool generateDatabase(const QString &path, const GeneratorOptions &options, QString *error);
