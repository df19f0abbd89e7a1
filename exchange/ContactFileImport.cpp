#include "ContactFileImport.h"

#include "ContactFileReader.h"

#include <QFile>
#include <QFileInfo>

namespace exchange {

FileImport::FileImport(QList<ImportSource> sources) : m_sources(std::move(sources)) {}

Status FileImport::readAll(const std::function<bool(ContactRecord &)> &each,
                           const std::function<bool(qint64, qint64)> &progress, ImportSurvey *survey)
{
    qint64 total = 0;
    for (const ImportSource &source : m_sources)
        total += QFileInfo(source.path).size();
    qint64 before = 0;
    for (const ImportSource &source : m_sources) {
        QFile file(source.path);
        if (!file.open(QIODevice::ReadOnly))
            return failure(QStringLiteral("Cannot read %1: %2").arg(source.path, file.errorString()));
        if (Status readable = checkContactFile(&file); !readable)
            return failure(QStringLiteral("%1: %2").arg(QFileInfo(source.path).fileName(), readable.error().description));
        ContactFileReader reader(&file);
        if (reader.format() == FileFormat::Csv && !source.csvMapping.isEmpty())
            reader.setMapping(source.csvMapping);
        if (reader.format() == FileFormat::Csv && source.dateOrder)
            reader.setDateOrder(source.dateOrder);
        if (survey && reader.format() == FileFormat::Csv && !mappingNamesContacts(reader.mapping()) && source.requireNames)
            return failure(QStringLiteral("No column of %1 names the contacts (a name, an e-mail address or a company). "
                                          "Say where the columns go with --map HEADING=Field,... "
                                          "or import the file in the window, whose mapping dialog shows the columns.")
                               .arg(QFileInfo(source.path).fileName()));
        ContactRecord record;
        int count = 0;
        while (reader.next(record)) {
            if (!each(record))
                return failure(QString());
            if (progress && (++count & 63) == 0 && !progress(before + reader.position(), total))
                return failure(QString());
        }
        if (file.error() != QFileDevice::NoError)
            return failure(QStringLiteral("Cannot read %1: %2").arg(source.path, file.errorString()));
        if (survey) {
            survey->notKept += reader.notKept();
            const QString name = QFileInfo(source.path).fileName();
            for (const QString &problem : reader.problems())
                survey->problems << name + QStringLiteral(": ") + problem;
        }
        before += file.size();
    }
    return {};
}

Result<ImportSurvey> FileImport::survey(Connection &connection, const std::function<bool(qint64, qint64)> &progress)
{
    Result<DuplicateFinder> finder = DuplicateFinder::load(connection);
    if (!finder)
        return finder.error();
    ImportSurvey found;
    m_held.clear();
    m_holdsAll = true;
    m_spoolStream.reset();
    m_spool.reset();
    bool cancelled = false;
    const Status read = readAll(
        [&](ContactRecord &record) {
            ++found.found;
            if (finder->match(record) != 0) {
                ++found.duplicates;
            } else {
                // A contact that comes twice in the files is a duplicate the second time.
                QStringList row(record.fields.begin(), record.fields.end());
                finder->add(-qint64(found.found), row, record.uid.trimmed());
            }
            if (!record.damage.isEmpty())
                found.problems << record.damage;
            if (m_holdsAll && m_held.size() < kHeldRecords) {
                m_held << record;
                return true;
            }
            if (m_holdsAll) {
                m_holdsAll = false;
                m_spool = m_spoolFolder.isEmpty()
                              ? std::make_unique<QTemporaryFile>()
                              : std::make_unique<QTemporaryFile>(m_spoolFolder + QStringLiteral("/corvanta-import-XXXXXX"));
                if (m_spool->open()) {
                    m_spoolStream = std::make_unique<QDataStream>(m_spool.get());
                    m_spoolStream->setByteOrder(QDataStream::LittleEndian);
                    for (const ContactRecord &held : std::as_const(m_held))
                        spool(held);
                } else {
                    m_spool.reset();
                }
                m_held.clear();
                m_held.squeeze();
            }
            if (m_spool && !spool(record)) {
                m_spoolStream.reset();
                m_spool.reset();
            }
            return true;
        },
        [&](qint64 done, qint64 total) {
            cancelled = progress && !progress(done, total);
            return !cancelled;
        },
        &found);
    if (!read && !cancelled)
        return read.error();
    if (cancelled) {
        m_held.clear();
        ImportSurvey none;
        none.cancelled = true;
        return none;
    }
    m_found = found.found;
    return found;
}

bool FileImport::spool(const ContactRecord &record)
{
    *m_spoolStream << record.typeName << record.uid << record.emptyTexts;
    for (const QString &field : record.fields)
        *m_spoolStream << field;
    return m_spoolStream->status() == QDataStream::Ok;
}

Result<ImportOutcome> FileImport::run(Connection &connection, DuplicatePolicy policy,
                                      const std::function<bool(int, int)> &progress)
{
    const int total = m_found;
    auto tell = [&](int done) { return !progress || done % 64 != 0 || progress(done, total); };
    if (m_holdsAll) {
        qsizetype index = 0;
        return importContacts(
            connection,
            [&](ContactRecord &record) -> Result<bool> {
                if (index >= m_held.size())
                    return false;
                record = m_held[index++];
                return true;
            },
            policy, tell, m_found);
    }
    if (m_spool)
        return runFromSpool(connection, policy, tell);
    return runFromFiles(connection, policy, tell);
}

Result<ImportOutcome> FileImport::runFromSpool(Connection &connection, DuplicatePolicy policy,
                                               const std::function<bool(int)> &tell)
{
    if (!m_spool->flush() || !m_spool->seek(0))
        return failure(m_spool->errorString());
    QDataStream in(m_spool.get());
    in.setByteOrder(QDataStream::LittleEndian);
    int index = 0;
    return importContacts(
        connection,
        [&](ContactRecord &record) -> Result<bool> {
            if (index >= m_found)
                return false;
            ++index;
            in >> record.typeName >> record.uid >> record.emptyTexts;
            for (QString &field : record.fields)
                in >> field;
            if (in.status() != QDataStream::Ok)
                return failure(QStringLiteral("The contacts read could not be read back: %1").arg(m_spool->errorString()));
            return true;
        },
        policy, tell, m_found);
}

Result<ImportOutcome> FileImport::runFromFiles(Connection &connection, DuplicatePolicy policy,
                                               const std::function<bool(int)> &tell)
{
    // The files again, one record at a time: the readers run inside the
    // import's loop, so that only one record is held.
    std::unique_ptr<QFile> file;
    std::unique_ptr<ContactFileReader> reader;
    qsizetype nextSource = 0;
    return importContacts(
        connection,
        [&](ContactRecord &record) -> Result<bool> {
            for (;;) {
                if (reader && reader->next(record))
                    return true;
                if (nextSource >= m_sources.size())
                    return false;
                const ImportSource &source = m_sources[nextSource++];
                reader.reset();
                file = std::make_unique<QFile>(source.path);
                if (!file->open(QIODevice::ReadOnly))
                    return failure(QStringLiteral("Cannot read %1: %2").arg(source.path, file->errorString()));
                reader = std::make_unique<ContactFileReader>(file.get());
                if (reader->format() == FileFormat::Csv && !source.csvMapping.isEmpty())
                    reader->setMapping(source.csvMapping);
                if (reader->format() == FileFormat::Csv && source.dateOrder)
                    reader->setDateOrder(source.dateOrder);
            }
        },
        policy, tell, m_found);
}

} // namespace exchange
