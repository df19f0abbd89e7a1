#include "Printers.h"

#include "ReportPreview.h"
#include "ReportRenderer.h"

#include "frame/Clock.h"
#include "store/Connection.h"
#include "store/ReportStore.h"

#include <cups/cups.h>

namespace Printers {

namespace {

int savedOrientation = 0;
QString savedPaperSize;
quintptr savedReportWindow = 0;

const char *const kOrientationOption = "orientation-requested";
const char *const kMediaOption = "media";

// The destinations of this user, with the default one.
class Destinations {
public:
    Destinations() { m_count = cupsGetDests2(CUPS_HTTP_DEFAULT, &m_list); }
    ~Destinations() { cupsFreeDests(m_count, m_list); }
    Destinations(const Destinations &) = delete;
    Destinations &operator=(const Destinations &) = delete;

    cups_dest_t *defaultDestination() const { return cupsGetDest(nullptr, nullptr, m_count, m_list); }

    // Stores every destination's options as this user's defaults.
    Status store() const
    {
        if (cupsSetDests2(CUPS_HTTP_DEFAULT, m_count, m_list) != 0) {
            return failure(QStringLiteral("The printer's settings could not be stored: %1")
                               .arg(QString::fromUtf8(cupsLastErrorString())));
        }
        return {};
    }

private:
    cups_dest_t *m_list = nullptr;
    int m_count = 0;
};

QString option(const cups_dest_t *dest, const char *name)
{
    const char *value = cupsGetOption(name, dest->num_options, dest->options);
    return value ? QString::fromUtf8(value) : QString();
}

void setOption(cups_dest_t *dest, const char *name, const QString &value)
{
    if (value.isEmpty())
        dest->num_options = cupsRemoveOption(name, dest->num_options, &dest->options);
    else
        dest->num_options = cupsAddOption(name, value.toUtf8().constData(), dest->num_options, &dest->options);
}

// The print system's orientation value for 1 (portrait) and 2 (landscape).
QString orientationValue(int orientation)
{
    return orientation == kLandscape ? QStringLiteral("4") : QStringLiteral("3");
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

Status SetPrinterOrientation(quintptr windowHandle, int orientation)
{
    savedReportWindow = windowHandle;
    Destinations destinations;
    cups_dest_t *dest = destinations.defaultDestination();
    if (!dest)
        return {}; // no default printer
    savedPaperSize = option(dest, kMediaOption);
    savedOrientation = option(dest, kOrientationOption).toInt();
    if (orientation != 0)
        setOption(dest, kOrientationOption, orientationValue(orientation));
    // Stored again even when nothing changed, with the paper size as it was.
    return destinations.store();
}

Status RestorePrinterOrientation()
{
    Destinations destinations;
    cups_dest_t *dest = destinations.defaultDestination();
    if (!dest)
        return {};
    setOption(dest, kMediaOption, savedPaperSize);
    setOption(dest, kOrientationOption, savedOrientation > 0 ? QString::number(savedOrientation) : QString());
    return destinations.store();
}

Status ShowReport(QWidget *parent, int reportNumber)
{
    const std::shared_ptr<const report::Definition> definition = report::reportDefinition(reportNumber);
    if (!definition)
        return {};

    // 1 to 4: a connection of its own to the live database, closed at the end.
    Result<std::unique_ptr<Connection>> connection = Connection::openLive();
    if (!connection)
        return connection.error();
    ReportStore store(**connection);

    // 5: the report's initialisation sets the orientation, then the preview shows.
    ReportPreview preview(definition, parent);
    Status outcome = SetPrinterOrientation(quintptr(preview.winId()), definition->orientation == QPageLayout::Landscape
                                                                          ? kLandscape
                                                                          : kPortrait);
    if (outcome) {
        outcome = preview.load(store, Clock::now());
        if (outcome)
            preview.exec();
    }
    // 6: the printer's defaults go back after every report that was started.
    const Status restored = RestorePrinterOrientation();
    return outcome ? restored : outcome;
}

} // namespace Printers
