#include "ContactExchangeMenu.h"

#include "ContactExport.h"

#include "frame/MessageService.h"
#include "frame/Trap.h"
#include "store/Connection.h"
#include "store/Database.h"

#include <QAbstractItemView>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QStandardPaths>
#include <QTimer>

namespace exchange {

namespace {
const QString kUnit = QStringLiteral("ContactExchangeMenu");
const QString kVCardFilter = QObject::tr("vCard files (*.vcf *.vcard)");
const QString kCsvFilter = QObject::tr("CSV files (*.csv)");
const QString kImportFilter = QObject::tr("Contact files (*.vcf *.vcard *.csv)");

bool isImportable(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard") || suffix == QLatin1String("csv");
}

QString documentsFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

// A file name from a contact's name, without characters file systems refuse.
QString fileNameFor(const QString &name)
{
    QString clean;
    for (const QChar c : name.trimmed())
        clean += (c.isLetterOrNumber() || c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char('\'')) ? c : QLatin1Char('_');
    return clean.isEmpty() ? QStringLiteral("Contact") : clean;
}
} // namespace

ContactExchangeMenu::ContactExchangeMenu(QWidget *window, QAbstractItemView *list, CurrentContact currentContact,
                                         Refresh refresh, ConnectionOpener open)
    : QObject(window), m_window(window), m_list(list), m_currentContact(std::move(currentContact)),
      m_refresh(std::move(refresh)), m_open(open ? std::move(open) : ConnectionOpener(&openLiveDatabase))
{
    setObjectName(QStringLiteral("ContactExchangeMenu"));
}

ContactExchangeMenu *ContactExchangeMenu::install(QWidget *window, QAbstractItemView *list, CurrentContact currentContact,
                                                  Refresh refresh, ConnectionOpener open)
{
    auto *menu = new ContactExchangeMenu(window, list, std::move(currentContact), std::move(refresh), std::move(open));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, menu, [menu](const QPoint &position) {
        QMenu *shown = menu->buildMenu(menu->m_list);
        shown->exec(menu->m_list->viewport()->mapToGlobal(position));
        shown->deleteLater();
    });
    // Boxes that take dropped text would swallow dropped files: the window
    // looks at every drop first.
    window->setAcceptDrops(true);
    window->installEventFilter(menu);
    const auto children = window->findChildren<QWidget *>();
    for (QWidget *child : children)
        if (child->acceptDrops())
            child->installEventFilter(menu);
    return menu;
}

void ContactExchangeMenu::importAtStart(QWidget *window, const QStringList &paths)
{
    auto *menu = window->findChild<ContactExchangeMenu *>(QStringLiteral("ContactExchangeMenu"), Qt::FindDirectChildrenOnly);
    if (!menu || paths.isEmpty())
        return;
    QTimer::singleShot(0, menu, [menu, paths] { menu->importFiles(paths); });
}

QMenu *ContactExchangeMenu::buildMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("ContactExchangeContextMenu"));
    menu->addAction(tr("Import Contacts..."), this, &ContactExchangeMenu::chooseAndImport);
    menu->addSeparator();
    menu->addAction(tr("Export All Contacts..."), this, &ContactExchangeMenu::exportAll);
    QAction *one = menu->addAction(tr("Export This Contact..."), this, &ContactExchangeMenu::exportCurrent);
    one->setEnabled(m_currentContact && m_currentContact() > 0);
    emit menuBuilt(menu);
    return menu;
}

void ContactExchangeMenu::chooseAndImport()
{
    QFileDialog dialog(m_window, tr("Import Contacts"), documentsFolder());
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters({kImportFilter, tr("All files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    importFiles(dialog.selectedFiles());
}

void ContactExchangeMenu::importFiles(const QStringList &paths)
{
    runGuarded(m_window, kUnit, QStringLiteral("ImportContacts"), [&]() -> Status {
        Result<bool> stored = importFilesWithWindows(m_window, paths, m_open);
        if (!stored)
            return stored.error();
        if (*stored && m_refresh)
            m_refresh();
        return {};
    });
}

void ContactExchangeMenu::exportAll()
{
    runGuarded(m_window, kUnit, QStringLiteral("ExportAllContacts"),
               [&] { return exportContacts(0, tr("Contacts")); });
}

void ContactExchangeMenu::exportCurrent()
{
    runGuarded(m_window, kUnit, QStringLiteral("ExportThisContact"), [&]() -> Status {
        const qint64 current = m_currentContact ? m_currentContact() : 0;
        if (current <= 0)
            return {};
        Result<std::unique_ptr<Connection>> connection = m_open();
        if (!connection)
            return connection.error();
        Result<QList<ContactRecord>> records = storedContacts(**connection, current);
        if (!records)
            return records.error();
        QString name;
        if (!records->isEmpty()) {
            const ContactRecord &record = records->first();
            name = (record[FirstName] + QLatin1Char(' ') + record[LastName]).trimmed();
        }
        return exportContacts(current, fileNameFor(name));
    });
}

Status ContactExchangeMenu::exportContacts(qint64 onlyContactId, const QString &suggestedName)
{
    QFileDialog dialog(m_window, onlyContactId ? tr("Export This Contact") : tr("Export All Contacts"),
                       QDir(documentsFolder()).filePath(suggestedName + QStringLiteral(".vcf")));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({kVCardFilter, kCsvFilter});
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, suggestedName](const QString &filter) {
        dialog.selectFile(suggestedName + (filter == kCsvFilter ? QStringLiteral(".csv") : QStringLiteral(".vcf")));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    QString path = dialog.selectedFiles().first();
    const QString suffix = QFileInfo(path).suffix().toLower();
    FileFormat format = dialog.selectedNameFilter() == kCsvFilter ? FileFormat::Csv : FileFormat::VCard;
    if (suffix == QLatin1String("csv"))
        format = FileFormat::Csv;
    else if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
        format = FileFormat::VCard;
    else
        path += format == FileFormat::Csv ? QStringLiteral(".csv") : QStringLiteral(".vcf");

    Result<std::unique_ptr<Connection>> connection = m_open();
    if (!connection)
        return connection.error();
    Result<int> written = exchange::exportContacts(**connection, path, format, onlyContactId);
    if (!written)
        return written.error();
    MessageService::instance().information(
        m_window, (*written == 1 ? tr("1 contact written to %1.") : tr("%1 contacts written to %2.").arg(*written))
                      .arg(QDir::toNativeSeparators(path)));
    return {};
}

QStringList ContactExchangeMenu::importableFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    const auto urls = data->urls();
    for (const QUrl &url : urls)
        if (url.isLocalFile() && isImportable(url.toLocalFile()))
            files << url.toLocalFile();
    return files;
}

bool ContactExchangeMenu::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (importableFiles(drag->mimeData()).isEmpty())
            break;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList files = importableFiles(drop->mimeData());
        if (files.isEmpty())
            break;
        drop->acceptProposedAction();
        // The drag source waits for the drop to end: import after it.
        QTimer::singleShot(0, this, [this, files] { importFiles(files); });
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace exchange
