#include "Printers.h"

#include "ReportPreview.h"
#include "PrinterJournal.h"
#include "PrinterOptionsFile.h"
#include "ReportRenderer.h"

#include "frame/Clock.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/ReportStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace Printers {

namespace {

int savedOrientation = 0;
QString savedPaperSize;
quintptr savedReportWindow = 0;

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

namespace {

qint64 thisProcess()
{
    return QCoreApplication::applicationPid();
}

// A value of an option on a destination's line, empty when it has none.
QByteArray valueOn(const QByteArray &line, const QByteArray &name)
{
    return PrinterOptionsFile::optionValue(line, name);
}

// Puts the options file back as the journal found it: byte for byte when
// nobody else wrote it meanwhile, else only the orientation and paper of the
// destination, into whatever the file holds now.
void putBack(const PrinterJournal::State &state)
{
    if (state.optionsPath.isEmpty())
        return;
    PrinterOptionsFile file(state.optionsPath);
    if (!file.read())
        return;
    if (file.text() == state.written) {
        if (file.text() != state.original || file.exists() != state.existed) {
            file.setText(state.original);
            (void)file.write(state.existed);
        }
        return;
    }
    PrinterOptionsFile before(state.optionsPath);
    before.setText(state.original);
    const QByteArray name = state.destination;
    const QByteArray originalLine = before.line(name);
    const QByteArray current = file.line(name);
    QByteArray restored = PrinterOptionsFile::withOption(current, name, kMediaOption, valueOn(originalLine, kMediaOption));
    restored = PrinterOptionsFile::withOption(restored, name, kOrientationOption,
                                              valueOn(originalLine, kOrientationOption));
    if (current.isEmpty() && PrinterOptionsFile::optionCount(restored) == 0)
        restored.clear();
    if (restored == current)
        return;
    file.setLine(name, restored);
    (void)file.write(file.exists());
}

// Ends this process's part in the journal: once per open report, or every
// part at once. The file goes back when no other copy has a report open.
void release(bool everyPart)
{
    PrinterJournal journal;
    (void)journal.update([everyPart](PrinterJournal::State &state, const PrinterJournal::StoreNow &) {
        const qint64 me = thisProcess();
        if (!state.holders.contains(me))
            return;
        if (everyPart)
            state.holders.removeAll(me);
        else
            state.holders.removeOne(me);
        PrinterJournal::dropEnded(state);
        if (state.holders.isEmpty()) {
            putBack(state);
            return;
        }
        if (std::any_of(state.holders.begin(), state.holders.end(), [me](qint64 pid) { return pid != me; }))
            return; // another copy still shows a report: the file stays as it is
        // A report of this copy is still open: the values the last
        // SetPrinterOrientation read go back.
        PrinterOptionsFile file(state.optionsPath);
        if (!file.read() || file.text() != state.written)
            return;
        const QByteArray current = file.line(state.destination);
        QByteArray restored =
            PrinterOptionsFile::withOption(current, state.destination, kMediaOption, savedPaperSize.toUtf8());
        restored = PrinterOptionsFile::withOption(
            restored, state.destination, kOrientationOption,
            savedOrientation > 0 ? QByteArray::number(savedOrientation) : QByteArray());
        if (restored == current)
            return;
        file.setLine(state.destination, restored);
        if (file.write(file.exists()))
            state.written = file.text();
    });
}

// SIGTERM and SIGINT put the printer options back before the program ends.
// The handler only writes the signal's number into a pipe; the event loop
// reads it and does the work.
int signalPipe[2] = {-1, -1};

void onTerminatingSignal(int number)
{
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void restoreOnTerminatingSignals()
{
    static bool installed = false;
    if (installed || !QCoreApplication::instance())
        return;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    installed = true;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), [] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) != 1)
            return;
        release(true);
        // Then the program ends as the signal would have ended it.
        ::signal(int(byte), SIG_DFL);
        ::raise(int(byte));
    });
    struct sigaction action = {};
    action.sa_handler = onTerminatingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

void SetPrinterOrientation(quintptr windowHandle, int orientation)
{
    savedReportWindow = windowHandle;
    Destinations destinations;
    const cups_dest_t *dest = destinations.defaultDestination();
    if (!dest)
        return; // no default printer
    savedPaperSize = option(dest, kMediaOption);
    savedOrientation = option(dest, kOrientationOption).toInt();
    restoreOnTerminatingSignals();

    const QByteArray name = destinationName(dest);
    PrinterJournal journal;
    // When the journal cannot be kept the options stay as they are: the
    // report's own page layout carries its orientation.
    (void)journal.update([&](PrinterJournal::State &state, const PrinterJournal::StoreNow &storeNow) {
        PrinterJournal::dropEnded(state);
        if (!state.isOpen()) {
            putBack(state); // left over by a copy that ended without putting it back
            state = {};
        }
        PrinterOptionsFile file;
        if (!file.read())
            return;
        if (!state.isOpen()) {
            state.optionsPath = PrinterOptionsFile::userFilePath();
            state.destination = name;
            state.existed = file.exists();
            state.original = file.text();
            state.written = file.text();
        }
        state.holders << thisProcess();
        const QByteArray before = file.line(name);
        QByteArray written = orientation == 0
            ? before
            : PrinterOptionsFile::withOption(before, name, kOrientationOption, orientationValue(orientation));
        // Written as CUPS's own lpoptions writes the default destination's
        // options, so that other programs still see the default printer.
        if (written != before && !file.hasDefaultLine())
            written = PrinterOptionsFile::asDefaultLine(written);
        if (written == before)
            return; // the options stay as they are
        // The journal is on disk before the options file changes.
        if (state.destination != name || !storeNow(state)) {
            state.holders.removeLast();
            return;
        }
        file.setLine(name, written);
        if (file.write(file.exists()))
            state.written = file.text();
    });
}

void RestorePrinterOrientation()
{
    release(false);
}

void recoverPrinterOptions()
{
    PrinterJournal journal;
    if (!QFile::exists(journal.path()))
        return; // nothing was left changed (and no folder is made at start-up)
    (void)journal.update([](PrinterJournal::State &state, const PrinterJournal::StoreNow &) {
        PrinterJournal::dropEnded(state);
        if (!state.isOpen())
            putBack(state);
    });
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
