#include "Printers.h"

#include "ReportPreview.h"
#include "PrinterOptionsFile.h"
#include "ReportRenderer.h"

#include "frame/Clock.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/ReportStore.h"

#include <cups/cups.h>

#include <utility>

namespace Printers {

namespace {

int savedOrientation = 0;
QString savedPaperSize;
quintptr savedReportWindow = 0;

// What the last SetPrinterOrientation found in and wrote to this user's
// options file, so that the restore can put the line back as it was.
struct StoredLine {
    bool valid = false;
    QByteArray destination;
    bool fileExisted = false;
    QByteArray before;
    QByteArray written;
    QByteArray fileBefore;  // the whole file as it was
    QByteArray fileWritten; // and as it was written
} storedLine;

const char *const kOrientationOption = "orientation-requested";
const char *const kMediaOption = "media";

// This user's default destination with its options: the one the user chose,
// else the scheduler's default.
class Destinations {
public:
    Destinations() : m_default(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr)) {}
    ~Destinations()
    {
        if (m_default)
            cupsFreeDests(1, m_default);
    }
    Destinations(const Destinations &) = delete;
    Destinations &operator=(const Destinations &) = delete;

    const cups_dest_t *defaultDestination() const { return m_default; }

private:
    cups_dest_t *m_default = nullptr;
};

QString option(const cups_dest_t *dest, const char *name)
{
    const char *value = cupsGetOption(name, dest->num_options, dest->options);
    return value ? QString::fromUtf8(value) : QString();
}

// The name a destination has in the options file: "name" or "name/instance".
QByteArray destinationName(const cups_dest_t *dest)
{
    QByteArray name(dest->name);
    if (dest->instance)
        name += '/' + QByteArray(dest->instance);
    return name;
}

// The print system's orientation value for 1 (portrait) and 2 (landscape).
QByteArray orientationValue(int orientation)
{
    return orientation == kLandscape ? QByteArrayLiteral("4") : QByteArrayLiteral("3");
}

} // namespace

SavedSettings savedSettings()
{
    return {savedOrientation, savedPaperSize, savedReportWindow};
}

QString defaultPrinterName()
{
    Destinations destinations;
    const cups_dest_t *dest = destinations.defaultDestination();
    return dest ? QString::fromUtf8(dest->name) : QString();
}

void SetPrinterOrientation(quintptr windowHandle, int orientation)
{
    savedReportWindow = windowHandle;
    Destinations destinations;
    const cups_dest_t *dest = destinations.defaultDestination();
    if (!dest)
        return; // no default printer
    savedPaperSize = option(dest, kMediaOption);
    savedOrientation = option(dest, kOrientationOption).toInt();

    storedLine = {};
    PrinterOptionsFile file;
    if (!file.read())
        return;
    const QByteArray name = destinationName(dest);
    const QByteArray before = file.line(name);
    const QByteArray written = orientation == 0
        ? before
        : PrinterOptionsFile::withOption(before, name, kOrientationOption, orientationValue(orientation));
    storedLine = {true, name, file.exists(), before, written, file.text(), file.text()};
    if (written == before)
        return; // the options stay as they are
    file.setLine(name, written);
    storedLine.fileWritten = file.text();
    // A failure to store is not the report's: it goes on in its own layout.
    (void)file.write(file.exists());
}

void RestorePrinterOrientation()
{
    Destinations destinations;
    const cups_dest_t *dest = destinations.defaultDestination();
    if (!dest)
        return;
    PrinterOptionsFile file;
    if (!file.read())
        return;
    const QByteArray name = destinationName(dest);
    const QByteArray current = file.line(name);
    const bool ours = storedLine.valid && storedLine.destination == name;
    if (ours && file.text() == storedLine.fileWritten) {
        // Nothing else changed the file meanwhile: it goes back byte for byte.
        const StoredLine stored = std::exchange(storedLine, {});
        if (stored.fileWritten != stored.fileBefore || file.exists() != stored.fileExisted) {
            file.setText(stored.fileBefore);
            (void)file.write(stored.fileExisted);
        }
        return;
    }
    QByteArray restored;
    if (ours && current == storedLine.written) {
        // Nothing changed the line meanwhile: it goes back byte for byte.
        restored = storedLine.before;
    } else {
        // Someone changed the line: only the two values go back.
        restored = PrinterOptionsFile::withOption(current, name, kMediaOption, savedPaperSize.toUtf8());
        restored = PrinterOptionsFile::withOption(
            restored, name, kOrientationOption,
            savedOrientation > 0 ? QByteArray::number(savedOrientation) : QByteArray());
        if (current.isEmpty() && restored == QByteArray("Dest ") + name)
            restored.clear();
    }
    const bool existedBefore = ours ? storedLine.fileExisted : file.exists();
    storedLine = {};
    file.setLine(name, restored);
    const bool leftOver = file.exists() && !existedBefore && file.text().isEmpty();
    if (restored == current && !leftOver)
        return;
    (void)file.write(existedBefore);
}

Status ShowReport(QWidget *parent, int reportNumber)
{
    const std::shared_ptr<const report::Definition> definition = report::reportDefinition(reportNumber);
    if (!definition)
        return {};

    // 1 to 4: a connection of its own to the live database, closed at the end.
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection)
        return connection.error();
    ReportStore store(**connection);

    // 5: the report's initialisation sets the orientation, then the preview shows.
    ReportPreview preview(definition, parent);
    SetPrinterOrientation(quintptr(preview.winId()),
                          definition->orientation == QPageLayout::Landscape ? kLandscape : kPortrait);
    const Status loaded = preview.load(store, Clock::now());
    if (loaded)
        preview.exec();
    // 6: the printer's defaults go back after every report that was started.
    RestorePrinterOrientation();
    return loaded;
}

} // namespace Printers
