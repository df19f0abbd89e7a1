// corvanta_generate OUTPUT CONTACTS [CALLS_PER_CONTACT [spread]]
// "spread": the backup benchmark's data (see GeneratorOptions::spreadCalls).
#include "DataGenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: corvanta_generate OUTPUT CONTACTS [CALLS_PER_CONTACT [spread]]\n");
        return 2;
    }
    GeneratorOptions options;
    options.contacts = QByteArray(argv[2]).toLongLong();
    if (argc > 3)
        options.callsPerContact = QByteArray(argv[3]).toLongLong();
    options.spreadCalls = argc > 4 && QByteArray(argv[4]) == "spread";
    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!generateDatabase(QString::fromLocal8Bit(argv[1]), options, &error)) {
        std::fprintf(stderr, "corvanta_generate: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("generated %lld contacts, %lld calls in %.1f s\n", options.contacts,
                options.contacts * options.callsPerContact, timer.elapsed() / 1000.0);
    return 0;
}
