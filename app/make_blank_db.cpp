// Build tool: writes the empty template database from the built-in schema.
#include "store/Schema.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_blank_db OUTPUT\n");
        return 2;
    }
    if (const Status written = writeBlankDatabaseFile(QString::fromLocal8Bit(argv[1])); !written) {
        std::fprintf(stderr, "%s\n", qPrintable(written.error().description));
        return 1;
    }
    return 0;
}
