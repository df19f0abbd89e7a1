#include "Form1.h"
#include "ui_Form1.h"

#include "CallLogModel.h"
#include "ContactListModel.h"
#include "ContactsRecordset.h"
#include "Form1Parts.h"
#include "NewCallRowModel.h"
#include "exchange/ContactExchangeMenu.h"
#include "sync/SyncWindow.h"
#include "frame/Accessibility.h"
#include "frame/AppTitle.h"
#include "frame/MessageService.h"
#include "frame/Settings.h"
#include "frame/Theme.h"
#include "WindowSizing.h"
#include "MainWindowShortcuts.h"
#include "frame/Trap.h"
#include "reference/ContactTypesModel.h"
#include "store/CallStore.h"
#include "store/Connection.h"
#include "store/ContactStore.h"
#include "store/DataFolder.h"
#include "store/Database.h"
#include "frame/StartUpSteps.h"
#include "store/Statement.h"
#include "store/TypeStore.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QDataWidgetMapper>

namespace {
// Field label index -> built-in caption.
const QStringList &defaultCaptions()
{
    static const QStringList captions = {
        QStringLiteral("First Name:"),      QStringLiteral("Full Name:"),
        QStringLiteral("Job Title:"),       QStringLiteral("Company:"),
        QStringLiteral("Phone Numbers"),    QStringLiteral("Business Phone:"),
        QStringLiteral("Work Extension:"),  QStringLiteral("Home Phone:"),
        QStringLiteral("Mobile Phone:"),    QStringLiteral("Fax Number:"),
        QStringLiteral("Last Name:"),       QStringLiteral("E-mail Address:"),
        QStringLiteral("Contact Type:"),    QStringLiteral("Salutation:"),
        QStringLiteral("Address"),          QStringLiteral("City:"),
        QStringLiteral("State:"),           QStringLiteral("Post Code:"),
        QStringLiteral("Country:"),         QStringLiteral("Referred By:"),
        QStringLiteral("Hometown:"),        QStringLiteral("Birthdate:"),
        QStringLiteral("Contact's Interests:"), QStringLiteral("Spouse's Interests:"),
        QStringLiteral("Children Names:"),  QStringLiteral("Marital Status:"),
        QStringLiteral("Spouse Name:"),     QStringLiteral("Notes:"),
    };
    return captions;
}

// A new connection to the live database, brought to the current schema,
// and the store of type S over it.
template <typename S>
Status openLiveStore(std::unique_ptr<Connection> &connection, std::unique_ptr<S> &store)
{
    Result<std::unique_ptr<Connection>> opened = openPreparedLiveDatabase();
    if (!opened)
        return opened.error();
    connection = std::move(opened).value();
    store = std::make_unique<S>(*connection);
    return {};
}
} // namespace

Form1::Form1(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::Form1>())
{
    ui->setupUi(this);
    makeMainWindowResizable(this);
    installMainWindowShortcuts(this);
    setAttribute(Qt::WA_DeleteOnClose, false);
    QFont banner(QStringLiteral("Arial"));
    banner.setPointSizeF(15.75);
    banner.setBold(true);
    ui->FullName1->setFont(banner);

    m_contactsRs = new ContactsRecordset(this);
    m_list = new ContactListModel(this);
    m_typesRs = new ContactTypesModel(this);
    m_callsRs = new CallLogModel(this);
    setUpList();
    setUpFields();
    nameBoxesAfterCaptions();
    setUpCallLog();
    connectNavigationBar();
    connectCommandButtons(ui.get(), this);
    for (int index = 0; index < kLabelCount; ++index) {
        if (QLabel *label = fieldLabel(index))
            label->installEventFilter(this);
    }
    // A row whose edits were stored shows them in the list at once.
    connect(m_contactsRs, &ContactsRecordset::rowStored, m_list, &ContactListModel::refreshContact);
    // A list block that cannot be read is reported once the painting is over.
    connect(m_list, &ContactListModel::readFailed, this, [this](const QString &description) {
        Trap trap(this, form1::kUnit, QStringLiteral("listContacts"));
        trap.step(110, [&] { return Status(failure(description)); });
    }, Qt::QueuedConnection);
    // A right click opens the import and export menu for the row under the
    // pointer; it neither moves the current contact nor stores its edits.
    ui->ListView1->viewport()->installEventFilter(this);
    Form_Load();
    exchange::ContactExchangeMenu::install(
        this, ui->ListView1,
        [this] { return m_menuContactId > 0 ? m_menuContactId : m_contactsRs->currentId(); },
        [this] { reloadAll(QStringLiteral("ImportContacts_Refresh")); });
    SyncWindow::install(this, [this] { reloadAll(QStringLiteral("SyncNow_Refresh")); });
}

Form1::~Form1()
{
    // Hide while the models are alive: hiding moves the focus, which runs the box handlers.
    hide();
    const auto boxes = findChildren<QWidget *>();
    for (QWidget *box : boxes)
        box->disconnect(this);
    disconnect(qApp, nullptr, this, nullptr);
    ui->ListView1->viewport()->removeEventFilter(this);
    // The views let go of their models before the window's children go.
    ui->DataGrid1->setModel(nullptr);
    ui->ListView1->setModel(nullptr);
}

QString Form1::defaultLabelCaption(int index)
{
    return defaultCaptions().value(index);
}

QLabel *Form1::fieldLabel(int index) const
{
    return findChild<QLabel *>(QStringLiteral("Label1_%1").arg(index));
}

// Start-up: data folder, first live database, theme, connections and record sets.
void Form1::Form_Load()
{
    Trap trap(this, form1::kUnit, QStringLiteral("Form_Load"));
    for (const QString &notice : tidyDataFolder())
        MessageService::instance().information(this, notice);
    prepareDataFiles(trap);
    trap.step(118, [this] { ApplyCodeJockWhite(this); });
    trap.step(120, [this] { applyHandCursor(this, {ui->dcbContactType}); });
    setWindowTitle(QString::fromLatin1(kProductName)); // 144
    SetAppTitle();
    // A database without write permission is shown, not changed.
    if (!liveDatabaseReadOnlyReason().isEmpty())
        setWindowTitle(windowTitle() + QStringLiteral(" (read-only)"));
    openContacts(trap);
    openCalls(trap);
    openTypes(trap);
    trap.step(218, [this] { return SetFullName(); });
    trap.step(220, [this] { return SetCalls(true); });
    trap.step(222, [this]() -> Status {
        if (!m_contactsRs->isOpen())
            return closedObjectError();
        if (m_contactsRs->hasCurrent())
            return m_contactsRs->moveFirst();
        return {};
    });
    setBoxesEditable(m_contactsRs->hasCurrent());
    makeWhite(ui->FullName1); // 224
}

// Steps 146 to 176: the contacts' connection, record set and list.
void Form1::openContacts(Trap &trap)
{
    // 146 to 152 name the live database and the table; nothing there can fail.
    trap.step(154, [this] { return openLiveStore(m_contactsConnection, m_contactStore); });
    // 156, 158: a new record set on the client side.
    trap.step(160, [this]() -> Status {
        if (!m_contactStore)
            return closedObjectError();
        m_contactsRs->open(m_contactStore.get());
        m_list->setStore(m_contactStore.get());
        return {};
    });
    trap.step(162, [this]() -> Status {
        const Result<qint64> count = m_contactsRs->count();
        return count ? Status() : Status(count.error());
    });
    // 164: the record set is the data control's.
    if (trap.test(166, [this]() -> Result<bool> {
            const Result<qint64> count = m_contactsRs->count();
            if (!count)
                return count.error();
            return *count > 0;
        })) {
        trap.step(168, [this] { return m_contactsRs->moveFirst(); });
        // 170: the list reads through its own statements, never moving the current row.
        trap.step(174, [this]() -> Status {
            const Result<qint64> count = m_contactsRs->count();
            if (!count)
                return count.error();
            m_contactCount = *count;
            return {};
        });
        trap.step(176, [this] { listContacts(); });
    }
}

// Steps 178 to 196: the calls' connection and record set.
void Form1::openCalls(Trap &trap)
{
    trap.step(186, [this] { return openLiveStore(m_callsConnection, m_callStore); });
    trap.step(192, [this]() -> Status {
        if (!m_callStore)
            return closedObjectError();
        m_callsRs->setStore(m_callStore.get());
        return {};
    });
    // 194: the calls of the current contact are read by SetCalls at 220.
}

// Steps 198 to 216: the contact types' connection and record set.
void Form1::openTypes(Trap &trap)
{
    trap.step(206, [this] { return openLiveStore(m_typesConnection, m_typeStore); });
    trap.step(212, [this]() -> Status {
        if (!m_typeStore)
            return closedObjectError();
        m_typesRs->setStore(m_typeStore.get());
        return {};
    });
    trap.step(214, [this] { return reloadTypes(); });
}

void Form1::loadLabels()
{
    for (int index = 0; index < kLabelCount; ++index) {
        const QString caption = GetSetting(labelSettingKey(index));
        if (!caption.isEmpty()) {
            if (QLabel *label = fieldLabel(index))
                label->setText(caption);
        }
    }
    nameBoxesAfterCaptions();
}

// Each caption is its box's buddy (Alt+letter of a renamed caption, and what a
// screen reader announces); the names follow the captions as they read now.
void Form1::nameBoxesAfterCaptions()
{
    static const std::pair<const char *, const char *> kCaptionOf[] = {
        {"Label1_0", "Text1_0"},   {"Label1_2", "Text1_4"},   {"Label1_3", "Text1_6"},
        {"Label1_5", "Text1_8"},   {"Label1_6", "Text1_10"},  {"Label1_7", "Text1_11"},
        {"Label1_8", "Text1_16"},  {"Label1_9", "Text1_17"},  {"Label1_27", "Text1_18"},
        {"Label1_10", "Text1_1"},  {"Label1_11", "Text1_3"},  {"Label1_12", "dcbContactType"},
        {"Label1_13", "Text1_7"},  {"Label1_14", "Text1_9"},  {"Label1_15", "Text1_12"},
        {"Label1_16", "Text1_13"}, {"Label1_17", "Text1_14"}, {"Label1_18", "Text1_15"},
        {"Label1_19", "Text1_2"},  {"Label1_25", "Text1_19"}, {"Label1_20", "Text1_20"},
        {"Label1_26", "Text1_21"}, {"Label1_21", "Text1_22"}, {"Label1_22", "Text1_23"},
        {"Label1_23", "Text1_24"}, {"Label1_24", "Text1_25"},
    };
    CaptionNames names(this);
    for (const auto &[labelName, boxName] : kCaptionOf) {
        auto *label = findChild<QLabel *>(QLatin1String(labelName));
        auto *box = findChild<QWidget *>(QLatin1String(boxName));
        if (label && box)
            label->setBuddy(box);
    }
    // The read-only Full Name box takes no focus, so it is no buddy.
    names.pair(ui->Label1_1, ui->FullName);
    names.name(ui->ListView1, QStringLiteral("Contacts"));
    names.name(ui->DataGrid1, QStringLiteral("Calls"));
    names.name(ui->dc, QStringLiteral("Contacts"));
    names.name(ui->dc1, QStringLiteral("Calls"));
    names.apply();
}

void Form1::Form_Activate()
{
    Trap trap(this, form1::kUnit, QStringLiteral("Form_Activate"));
    trap.step(100, [this] { loadLabels(); });
}

bool Form1::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QWidget::event(event);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->ListView1->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
                m_menuContactId = contactAtListPoint(static_cast<QMouseEvent *>(event)->position().toPoint());
                return true;
            }
            break;
        case QEvent::ContextMenu: {
            auto *menu = static_cast<QContextMenuEvent *>(event);
            m_menuContactId = menu->reason() == QContextMenuEvent::Mouse ? contactAtListPoint(menu->pos())
                                                                         : m_contactsRs->currentId();
            break;
        }
        default:
            break;
        }
        return QWidget::eventFilter(watched, event);
    }
    // A double click on a field caption opens the label editor.
    if (event->type() == QEvent::MouseButtonDblClick && qobject_cast<QLabel *>(watched)
        && watched->objectName().startsWith(QLatin1String("Label1_"))) {
        PushButton9_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    Trap trap(this, form1::kUnit, QStringLiteral("Form_QueryUnload"));
    // What is still in an editor counts as typed: the grid's cell and the
    // notes are stored, the boxes' text goes into the current contact.
    commitEditors();
    if (trap.test(100, [this] { return m_contactsRs->isEditing(); })) {
        bool save = false;
        trap.step(102, [&] {
            const QString text = QStringLiteral("  Contact is changed.\r\nDo you want to save your changes for \r\n")
                + ui->FullName1->text() + QStringLiteral("\r\n (choose Yes or No).");
            save = MessageService::instance().question(this, QStringLiteral("Question"), text)
                == MessageService::Answer::Yes;
        });
        // Cancel in the question about another window's changes keeps the window open.
        bool stay = false;
        if (save) {
            trap.step(104, [&]() -> Status {
                const Result<bool> stored = storeEdits();
                if (!stored)
                    return stored.error();
                stay = !*stored;
                return {};
            });
        }
        if (stay) {
            event->ignore();
            return;
        }
    }
    m_closing = true; // 106
    event->accept();
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window != this && window->isVisible())
            window->close();
    }
}
