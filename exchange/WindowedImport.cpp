#include "WindowedImport.h"

#include "ContactFileImport.h"
#include "ContactFileReader.h"
#include "CsvMappingDialog.h"
#include "ImportConfirmDialog.h"

#include "frame/Formats.h"
#include "frame/MessageService.h"
#include "store/Connection.h"

#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>

#include <algorithm>

namespace exchange {

namespace {
constexpr int kPreviewRows = 8;

// The progress dialog of one pass; shown at once for large files, after a
// moment otherwise.
class Progress {
public:
    Progress(QWidget *parent, const QString &label, qint64 bytes) : m_dialog(label, QObject::tr("Cancel"), 0, 1000, parent)
    {
        m_dialog.setWindowTitle(QObject::tr("Import Contacts"));
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setMinimumDuration(bytes >= kLargeImportBytes ? 0 : 2000);
        m_dialog.setValue(0);
    }
    // False once Cancel was pressed.
    bool tell(qint64 done, qint64 total)
    {
        if (total > 0)
            m_dialog.setValue(int(std::clamp<qint64>(done * 1000 / total, 0, 999)));
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
};

// Asks for the columns of every CSV file; false when one was cancelled.
Result<bool> mapCsvColumns(QWidget *parent, QList<ImportSource> &sources)
{
    for (ImportSource &source : sources) {
        QFile file(source.path);
        if (!file.open(QIODevice::ReadOnly))
            return failure(QObject::tr("Cannot read %1: %2").arg(source.path, file.errorString()));
        if (Status readable = checkContactFile(&file); !readable)
            return failure(QStringLiteral("%1: %2").arg(QFileInfo(source.path).fileName(), readable.error().description));
        if (detectFormat(file.peek(4096)) != FileFormat::Csv)
            continue;
        std::optional<DateOrder> decided;
        {
            ContactFileReader reader(&file);
            const int dates = int(CsvMappingDialog::initialMapping(reader.headers()).indexOf(Birthdate));
            decided = reader.decidedDateOrder(dates);
            file.seek(0);
        }
        CsvStream rows(&file);
        QStringList headers;
        rows.next(headers);
        headers = headers.mid(0, kMaxColumns);
        QList<QStringList> first;
        QStringList row;
        while (first.size() < kPreviewRows && rows.next(row))
            first << row;
        CsvMappingDialog dialog(QFileInfo(source.path).fileName(), headers, first, decided, parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        source.csvMapping = dialog.mapping();
        source.dateOrder = dialog.dateOrder();
        source.requireNames = false; // the user saw the columns
    }
    return true;
}

QString summary(const ImportOutcome &outcome, const QStringList &problems)
{
    QString text = QObject::tr("%1 added, %2 updated, %3 skipped.")
                       .arg(counted(outcome.added, u"contact", u"contacts"))
                       .arg(outcome.filled)
                       .arg(outcome.skipped)
                   + (outcome.typesCreated > 0
                          ? QLatin1Char(' ') + QObject::tr("%1.").arg(counted(outcome.typesCreated, u"new contact type", u"new contact types"))
                          : QString());
    if (outcome.valuesKeptInNotes > 0)
        text += QLatin1Char(' ') + (outcome.valuesKeptInNotes == 1 ? QObject::tr("1 value that differed was kept in Notes.")
                                                                   : QObject::tr("%1 values that differed were kept in Notes.")
                                                                         .arg(outcome.valuesKeptInNotes));
    for (const QString &problem : problems)
        text += QLatin1Char('\n') + problem;
    return text;
}
} // namespace

Result<bool> importFilesWithWindows(QWidget *parent, const QStringList &paths, const ConnectionOpener &open)
{
    QList<ImportSource> sources;
    qint64 bytes = 0;
    for (const QString &path : paths) {
        sources.append({path, {}});
        bytes += QFileInfo(path).size();
    }
    Result<bool> mapped = mapCsvColumns(parent, sources);
    if (!mapped || !*mapped)
        return mapped;
    Result<std::unique_ptr<Connection>> connection = open();
    if (!connection)
        return connection.error();

    FileImport import(sources);
    Result<ImportSurvey> survey = [&] {
        Progress progress(parent, QObject::tr("Reading the contacts..."), bytes);
        return import.survey(**connection, [&](qint64 done, qint64 total) { return progress.tell(done, total); });
    }();
    if (!survey)
        return survey.error();
    if (survey->cancelled)
        return false;
    if (survey->found == 0) {
        QStringList text{QObject::tr("No contacts were found in %1.").arg(QFileInfo(paths.value(0)).fileName())};
        text += survey->problems;
        MessageService::instance().information(parent, text.join(QLatin1Char('\n')));
        return false;
    }
    ImportConfirmDialog question(*survey, parent);
    if (question.exec() != QDialog::Accepted)
        return false;

    Result<ImportOutcome> outcome = [&] {
        Progress progress(parent, QObject::tr("Importing %1...").arg(counted(survey->found, u"contact", u"contacts")), bytes);
        return import.run(**connection, question.policy(), [&](int done, int total) { return progress.tell(done, total); });
    }();
    if (!outcome)
        return outcome.error();
    if (outcome->cancelled) {
        MessageService::instance().information(parent, QObject::tr("The import was cancelled. Nothing was changed."));
        return false;
    }
    MessageService::instance().information(parent, summary(*outcome, survey->problems));
    return outcome->added + outcome->filled + outcome->typesCreated > 0;
}

} // namespace exchange
