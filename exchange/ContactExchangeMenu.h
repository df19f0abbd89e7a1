#pragma once

#include "WindowedImport.h"

#include <QObject>
#include <QStringList>

#include <functional>

class QAbstractItemView;
class QMenu;
class QMimeData;
class QWidget;

namespace exchange {

// Import and export on the main window: the context menu of the contact
// list ("Import Contacts...", "Export All Contacts...", "Export This
// Contact..."), and .vcf and .csv files dropped on the window. It gets the
// key of the current contact (0 or less for none) and a way to refresh the window
// after an import; it opens its own connection for each command.
class ContactExchangeMenu : public QObject {
    Q_OBJECT

public:
    using CurrentContact = std::function<qint64()>;
    using Refresh = std::function<void()>;

    // Installs the menu and the drop target; the object belongs to the window.
    static ContactExchangeMenu *install(QWidget *window, QAbstractItemView *list, CurrentContact currentContact,
                                        Refresh refresh, ConnectionOpener open = {});
    // Imports the files given on the command line once the window is shown.
    static void importAtStart(QWidget *window, const QStringList &paths);

    // The context menu as it is shown at the moment.
    QMenu *buildMenu(QWidget *parent);

    void chooseAndImport();
    void importFiles(const QStringList &paths);
    void exportAll();
    void exportCurrent();

    // Local files of a drop that the import reads (.vcf, .vcard, .csv).
    static QStringList importableFiles(const QMimeData *data);

signals:
    // The menu is built and about to be shown: others add their commands.
    void menuBuilt(QMenu *menu);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    ContactExchangeMenu(QWidget *window, QAbstractItemView *list, CurrentContact currentContact, Refresh refresh,
                        ConnectionOpener open);
    Status exportContacts(qint64 onlyContactId, const QString &suggestedName);

    QWidget *m_window;
    QAbstractItemView *m_list;
    CurrentContact m_currentContact;
    Refresh m_refresh;
    ConnectionOpener m_open;
};

} // namespace exchange
