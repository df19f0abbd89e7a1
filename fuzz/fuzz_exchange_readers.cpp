// Feeds arbitrary bytes to the vCard and CSV readers. Besides never crashing,
// what the vCard reader took from a file must come back unchanged when it is
// written as vCard and read once more.

#include "exchange/ContactFileReader.h"
#include "exchange/CsvFormat.h"
#include "exchange/VCardMapping.h"

#include <QBuffer>

#include <cstdio>
#include <cstdlib>

using namespace exchange;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        // The reader of an import: the file check, the date columns read
        // ahead, the quote that never closes, the card cut short.
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        (void)checkContactFile(&buffer);
        ContactFileReader reader(&buffer);
        ContactRecord record;
        while (reader.next(record)) {
        }
        (void)reader.problems();
    }
    const CsvTable table = readCsv(bytes);
    if (!table.rows.isEmpty())
        (void)recordsFromCsv(table, automaticMapping(table.rows.first()));

    const VCardImport first = readVCards(bytes);
    QByteArray written;
    for (const ContactRecord &record : first.contacts)
        written += writeVCard(record);
    const VCardImport second = readVCards(written);
    if (second.contacts.size() != first.contacts.size()) {
        std::fprintf(stderr, "written cards read back as %lld instead of %lld\n",
                     static_cast<long long>(second.contacts.size()), static_cast<long long>(first.contacts.size()));
        std::abort();
    }
    return 0;
}
