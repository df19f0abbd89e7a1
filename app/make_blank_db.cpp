// Build tool: writes the empty template database from the built-in schema.
#include "store/Database.h"
#include "frame/Failure.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_blank_db OUTPUT\n");
        return 2;
    }
    try {
        writeBlankDatabase(QString::fromLocal8Bit(argv[1]));
    } catch (const Failure &failure) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.description()));
        return 1;
    }
    return 0;
}
