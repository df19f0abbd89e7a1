#include "Form1.h"
#include "ui_Form1.h"

#include "CallGridDelegate.h"
#include "CallLogModel.h"
#include "store/ContactFields.h"
#include "ContactListModel.h"
#include "ContactsRecordset.h"
#include "NewCallRowModel.h"
#include "backup/Form6.h"
#include "exchange/ContactExchangeMenu.h"
#include "frame/AppTitle.h"
#include "frame/Clock.h"
#include "store/Database.h"
#include "frame/Failure.h"
#include "frame/Formats.h"
#include "frame/MessageService.h"
#include "frame/Paths.h"
#include "frame/Settings.h"
#include "store/StartUp.h"
#include "frame/Theme.h"
#include "frame/Trap.h"
#include "reference/Form2.h"
#include "reference/Form5.h"
#include "reports/Form3.h"
#include "search/Form4.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDataWidgetMapper>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>

namespace {
const QString kUnit = QStringLiteral("Form1");

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

// Text box index (Text1 N) -> field of Contacts.
struct BoxBinding {
    int box;
    int field;
};
constexpr BoxBinding kBoxBindings[] = {
    {0, ContactField::FirstName},      {1, ContactField::LastName},
    {2, ContactField::ReferredBy},     {3, ContactField::EmailName},
    {4, ContactField::Title},          {6, ContactField::CompanyName},
    {7, ContactField::Dear},           {8, ContactField::WorkPhone},
    {9, ContactField::Address},        {10, ContactField::WorkExtension},
    {11, ContactField::HomePhone},     {12, ContactField::City},
    {13, ContactField::StateOrProvince}, {14, ContactField::PostalCode},
    {15, ContactField::Country},       {16, ContactField::MobilePhone},
    {17, ContactField::FaxNumber},     {18, ContactField::Notes},
    {19, ContactField::MaritalStatus}, {20, ContactField::Hometown},
    {21, ContactField::SpouseName},    {22, ContactField::Birthdate},
    {23, ContactField::ContactsInterests}, {24, ContactField::SpousesInterests},
    {25, ContactField::ChildrenNames},
};

QString nullAsEmpty(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}
} // namespace

Form1::Form1(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::Form1>())
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose, false);
    QFont banner(QStringLiteral("Arial"));
    banner.setPointSizeF(15.75);
    banner.setBold(true);
    ui->FullName1->setFont(banner);
    setUpBindings();
    Form_Load();
    exchange::ContactExchangeMenu::install(this, ui->ListView1, [this] { return m_contactsRs->currentId(); }, [this] { reloadAll(); });
}

Form1::~Form1()
{
    // Hide while the models are alive: hiding moves the focus, which runs the box handlers.
    hide();
    const auto boxes = findChildren<QWidget *>();
    for (QWidget *box : boxes)
        box->disconnect(this);
    delete m_callNotesMapper;
    delete m_mapper;
    delete m_callsRs;
    delete m_typesRs;
    delete m_list;
    delete m_contactsRs;
    m_callNotesMapper = nullptr;
    m_mapper = nullptr;
    m_callsRs = nullptr;
    m_typesRs = nullptr;
    m_list = nullptr;
    m_contactsRs = nullptr;
    if (m_db.isValid())
        closeConnection(m_db);
}

QString Form1::defaultLabelCaption(int index)
{
    return defaultCaptions().value(index);
}

QLabel *Form1::fieldLabel(int index) const
{
    return findChild<QLabel *>(QStringLiteral("Label1_%1").arg(index));
}

void Form1::setUpBindings()
{
    m_contactsRs = new ContactsRecordset;
    m_list = new ContactListModel;
    m_typesRs = new QSqlQueryModel;

    ui->ListView1->setModel(m_list);
    ui->ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->ListView1->verticalHeader()->hide();
    ui->ListView1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->ListView1->verticalHeader()->setDefaultSectionSize(18);
    ui->ListView1->horizontalHeader()->setHighlightSections(false);
    ui->ListView1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui->ListView1->setShowGrid(false);
    ui->ListView1->setWordWrap(false);
    const int widths[] = {70, 100, 100, 150, 90, 80, 90};
    for (int column = 0; column < 7; ++column)
        ui->ListView1->setColumnWidth(column, widths[column]);
    connect(ui->ListView1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (!m_fillingList && current.isValid())
                    onListRowChosen(current.row());
            });

    m_mapper = new QDataWidgetMapper;
    m_mapper->setModel(m_contactsRs);
    m_mapper->setSubmitPolicy(QDataWidgetMapper::AutoSubmit);
    for (const BoxBinding &binding : kBoxBindings) {
        QWidget *box = findChild<QWidget *>(QStringLiteral("Text1_%1").arg(binding.box));
        Q_ASSERT(box);
        m_mapper->addMapping(box, binding.field);
    }
    connect(m_contactsRs, &ContactsRecordset::currentRowChanged, this, &Form1::onCurrentContactChanged);
    connect(ui->Text1_0, &QLineEdit::textEdited, this,
            [this](const QString &text) { onNameTyped(ContactField::FirstName, text); });
    connect(ui->Text1_1, &QLineEdit::textEdited, this,
            [this](const QString &text) { onNameTyped(ContactField::LastName, text); });
    connect(ui->Text1_0, &QLineEdit::editingFinished, this, [this] { SetFullName(); });
    connect(ui->Text1_1, &QLineEdit::editingFinished, this, [this] { SetFullName(); });

    ui->dcbContactType->setModel(m_typesRs);
    ui->dcbContactType->setModelColumn(1);
    connect(ui->dcbContactType, &QComboBox::activated, this, &Form1::onContactTypeChosen);

    connect(ui->dc, &NavigationBar::firstClicked, this, [this] {
        Trap trap(this, kUnit, QStringLiteral("dc_First"));
        trap.step(100, [&] { commitBoxes(); m_contactsRs->moveFirst(); });
    });
    connect(ui->dc, &NavigationBar::previousClicked, this, [this] {
        Trap trap(this, kUnit, QStringLiteral("dc_Previous"));
        trap.step(100, [&] { commitBoxes(); m_contactsRs->movePrevious(); });
    });
    connect(ui->dc, &NavigationBar::nextClicked, this, [this] {
        Trap trap(this, kUnit, QStringLiteral("dc_Next"));
        trap.step(100, [&] { commitBoxes(); m_contactsRs->moveNext(); });
    });
    connect(ui->dc, &NavigationBar::lastClicked, this, [this] {
        Trap trap(this, kUnit, QStringLiteral("dc_Last"));
        trap.step(100, [&] { commitBoxes(); m_contactsRs->moveLast(); });
    });

    connect(ui->PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(ui->PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(ui->PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(ui->PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(ui->PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(ui->PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(ui->PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(ui->PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(ui->PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(ui->PushButton10, &QPushButton::clicked, this, &Form1::PushButton10_Click);

    for (int index = 0; index < kLabelCount; ++index) {
        if (QLabel *label = fieldLabel(index))
            label->installEventFilter(this);
    }
}

// Start-up: data folder, first live database, theme, connection and record sets.
void Form1::Form_Load()
{
    Trap trap(this, kUnit, QStringLiteral("Form_Load"));
    prepareDataFiles(trap);
    trap.step(118, [this] { ApplyCodeJockWhite(this); });
    trap.step(120, [this] { applyHandCursor(this, {ui->dcbContactType}); });
    trap.step(144, [this] {
        setWindowTitle(QString::fromLatin1(kProductName));
        SetAppTitle();
    });

    trap.step(154, [this] { m_db = OpenConnection(); });
    trap.step(160, [this] {
        if (!m_db.isOpen())
            throw Failure(QStringLiteral("Operation is not allowed when the object is closed."));
        createSchema(m_db);
        m_contactsRs->open(m_db);
        m_list->setDatabase(m_db);
        m_callsRs = new CallLogModel(nullptr, m_db);
        setUpCallLogView();
    });
    if (trap.test(166, [this] { return m_db.isOpen() && m_contactsRs->count() > 0; })) {
        trap.step(168, [this] { m_contactsRs->moveFirst(); });
        trap.step(174, [this] { m_contactCount = m_contactsRs->count(); });
        trap.step(176, [this] { listContacts(); });
    }
    trap.step(212, [this] { reloadTypes(); });
    trap.step(218, [this] { SetFullName(); });
    trap.step(220, [this] { SetCalls(true); });
    trap.step(222, [this] {
        if (m_contactsRs->hasCurrent())
            m_contactsRs->moveFirst();
    });
    trap.step(224, [this] {
        QPalette palette = ui->FullName1->palette();
        palette.setColor(QPalette::Window, Qt::white);
        ui->FullName1->setPalette(palette);
        ui->FullName1->setAutoFillBackground(true);
    });
}

void Form1::setUpCallLogView()
{
    QTableView *grid = ui->DataGrid1;
    m_callGrid = new NewCallRowModel(m_callsRs);
    m_callGrid->setSourceModel(m_callsRs);
    m_callGrid->setNewRowHandler([this](int column, const QVariant &value) { return startCallInGrid(column, value); });
    grid->setModel(m_callGrid);
    grid->setItemDelegate(new CallGridDelegate(grid));
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(20);
    grid->setColumnHidden(CallLogModel::CallID, true);
    grid->setColumnHidden(CallLogModel::ContactID, true);
    grid->setColumnHidden(CallLogModel::Notes, true);
    grid->setColumnWidth(CallLogModel::Subject, 5000 / 15);
    connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { onCurrentCallChanged(); });

    m_callNotesMapper = new QDataWidgetMapper;
    m_callNotesMapper->setModel(m_callsRs);
    m_callNotesMapper->setSubmitPolicy(QDataWidgetMapper::AutoSubmit);
    m_callNotesMapper->addMapping(ui->CallNotes, CallLogModel::Notes);

    connect(ui->dc1, &NavigationBar::firstClicked, this, [this] { setCurrentCall(0); });
    connect(ui->dc1, &NavigationBar::previousClicked, this,
            [this] { setCurrentCall(std::max(0, ui->DataGrid1->currentIndex().row() - 1)); });
    connect(ui->dc1, &NavigationBar::nextClicked, this, [this] {
        setCurrentCall(std::min(ui->DataGrid1->currentIndex().row() + 1, m_callsRs->rowCount() - 1));
    });
    connect(ui->dc1, &NavigationBar::lastClicked, this, [this] { setCurrentCall(m_callsRs->rowCount() - 1); });
}

void Form1::setCurrentCall(int row)
{
    if (row < 0 || row >= m_callsRs->rowCount())
        return;
    ui->DataGrid1->setCurrentIndex(m_callGrid->index(row, CallLogModel::CallDate));
    onCurrentCallChanged();
}

// A value typed into the grid's empty row starts a new call: it gets the
// current time, the current contact and today's date, then the typed value.
int Form1::startCallInGrid(int column, const QVariant &value)
{
    if (!m_contactsRs->hasCurrent() || m_contactsRs->currentId() < 0)
        return -1;
    Trap trap(this, kUnit, QStringLiteral("DataGrid1_OnAddNew"));
    int row = -1;
    trap.step(100, [&] {
        if (ui->CallNotes->hasFocus())
            m_callNotesMapper->submit();
        row = m_callsRs->addCall(Clock::now());
        if (column == CallLogModel::Subject || column == CallLogModel::CallDate || column == CallLogModel::CallTime) {
            m_callsRs->setData(m_callsRs->index(row, column), value);
            m_callsRs->storePending();
        }
    });
    if (row >= 0)
        QMetaObject::invokeMethod(this, [this, row] { setCurrentCall(row); }, Qt::QueuedConnection);
    return row;
}

void Form1::onCurrentCallChanged()
{
    const QModelIndex current = ui->DataGrid1->currentIndex();
    const int row = m_callGrid->isNewRow(current) ? -1 : current.row();
    if (row < 0) {
        ui->CallNotes->clear();
        ui->CallNotes->setEnabled(false);
        return;
    }
    ui->CallNotes->setEnabled(true);
    m_callNotesMapper->setCurrentIndex(row);
}

void Form1::listContacts()
{
    Trap trap(this, kUnit, QStringLiteral("listContacts"));
    if (!trap.test(100, [this] { return !m_addingContact && m_db.isOpen(); }))
        return;
    m_fillingList = true;
    trap.step(102, [this] { m_list->reload(); });
    m_contactCount = m_list->rowCount();
    if (m_list->rowCount() == 0) { // step 126
        m_fillingList = false;
        return;
    }
    int selected = 0; // a freshly filled list has its first row selected
    if (m_skipReselect) {
        const int row = m_list->rowOfContact(m_contactsRs->currentId());
        if (row >= 0)
            selected = row;
    } else if (m_lastListIndex != 0 && m_list->rowCount() >= m_lastListIndex) {
        selected = m_lastListIndex - 1; // step 134
    }
    selectListRow(selected);
    m_skipReselect = false; // step 136
    m_fillingList = false;
    if (trap.test(138, [this] { return m_contactsRs->hasCurrent(); })) {
        trap.step(142, [&] {
            commitBoxes();
            const qint64 id = m_list->contactIdAt(selected);
            if (id != m_contactsRs->currentId())
                m_contactsRs->moveTo(id);
        });
        trap.step(144, [this] { SetFullName(); });
    }
}

void Form1::selectListRow(int row)
{
    const QModelIndex index = m_list->index(row, 0);
    ui->ListView1->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ui->ListView1->scrollTo(index);
}

void Form1::SetFullName()
{
    QString name = QStringLiteral(" ");
    if (m_contactsRs->hasCurrent()) {
        name = nullAsEmpty(m_contactsRs->value(ContactField::FirstName)) + QLatin1Char(' ')
            + nullAsEmpty(m_contactsRs->value(ContactField::LastName));
    } else {
        // No current contact (empty table, last contact deleted): a quiet, empty banner.
        name.clear();
    }
    if (ui->FullName->text() != name) {
        ui->FullName->setText(name);
        ui->FullName1->setText(name);
        if (m_contactsRs->hasCurrent())
            SetCalls(false);
    }
}

void Form1::SetCalls(bool blnStart)
{
    Q_UNUSED(blnStart);
    if (!m_callsRs)
        return;
    if (!m_contactsRs->hasCurrent()) {
        storePendingCallEdits();
        m_callGrid->setNewRowEnabled(false);
        m_callsRs->showContact(-1);
        onCurrentCallChanged();
        return;
    }
    const QVariant id = m_contactsRs->value(ContactField::ContactID);
    if (id.isNull())
        return; // a contact not stored yet keeps the log on screen
    m_callsRs->showContact(id.toLongLong());
    m_callGrid->setNewRowEnabled(true);
    if (m_callsRs->rowCount() > 0)
        setCurrentCall(0);
    onCurrentCallChanged();
}

void Form1::storePendingCallEdits()
{
    if (!m_callsRs)
        return;
    if (ui->CallNotes->hasFocus())
        m_callNotesMapper->submit();
    m_callsRs->storePending();
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
}

void Form1::Form_Activate()
{
    Trap trap(this, kUnit, QStringLiteral("Form_Activate"));
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
    Trap trap(this, kUnit, QStringLiteral("Form_QueryUnload"));
    if (trap.test(100, [this] {
            commitBoxes();
            return m_contactsRs->isEditing();
        })) {
        bool save = false;
        trap.step(102, [&] {
            const QString text = QStringLiteral("  Contact is changed.\r\nDo you want to save your changes for \r\n")
                + ui->FullName1->text() + QStringLiteral("\r\n (choose Yes or No).");
            save = MessageService::instance().question(this, QStringLiteral("Question"), text)
                == MessageService::Answer::Yes;
        });
        if (save)
            trap.step(104, [this] { m_contactsRs->update(); });
    }
    // Edits of the call log are never dropped silently.
    trap.step(106, [this] { storePendingCallEdits(); });
    m_closing = true;
    event->accept();
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window != this && window->isVisible())
            window->close();
    }
}

void Form1::commitBoxes()
{
    if (m_contactsRs->hasCurrent())
        m_mapper->submit();
}

void Form1::clearContactBoxes()
{
    for (const BoxBinding &binding : kBoxBindings) {
        QWidget *box = findChild<QWidget *>(QStringLiteral("Text1_%1").arg(binding.box));
        const QByteArray property = m_mapper->mappedPropertyName(box);
        box->setProperty(property.constData(), QVariant(QMetaType::fromType<QString>()));
    }
    ui->dcbContactType->setCurrentIndex(-1);
}

void Form1::onCurrentContactChanged()
{
    if (m_contactsRs->hasCurrent()) {
        m_mapper->setCurrentIndex(0);
        showContactType();
    } else {
        clearContactBoxes();
    }
    // The banner and the call log follow every change of the current contact,
    // also between two contacts of the same name.
    Trap trap(this, kUnit, QStringLiteral("SetFullName"));
    trap.step(100, [this] {
        SetFullName();
        if (m_callsRs && m_contactsRs->currentId() != m_callsRs->contactId())
            SetCalls(false);
    });
}

void Form1::onListRowChosen(int row)
{
    Trap trap(this, kUnit, QStringLiteral("ListView1_Click"));
    trap.step(100, [&] {
        if (m_list->rowCount() == 0)
            return;
        commitBoxes();
        m_contactsRs->moveTo(m_list->contactIdAt(row));
        SetFullName();
        m_lastListIndex = row + 1;
    });
}

void Form1::onNameTyped(int field, const QString &text)
{
    if (!m_contactsRs->hasCurrent())
        return;
    Trap trap(this, kUnit, QStringLiteral("Text1_Change"));
    trap.step(100, [&] {
        m_contactsRs->setValue(field, text);
        SetFullName();
    });
}

void Form1::onContactTypeChosen(int comboIndex)
{
    if (!m_contactsRs->hasCurrent() || comboIndex < 0)
        return;
    Trap trap(this, kUnit, QStringLiteral("dcbContactType_Click"));
    trap.step(100, [&] {
        const QVariant typeId = m_typesRs->record(comboIndex).value(0);
        m_contactsRs->setValue(ContactField::ContactTypeID, typeId);
    });
}

void Form1::showContactType()
{
    int found = -1;
    if (m_contactsRs->hasCurrent()) {
        const QVariant typeId = m_contactsRs->value(ContactField::ContactTypeID);
        if (!typeId.isNull()) {
            for (int row = 0; row < m_typesRs->rowCount(); ++row) {
                if (m_typesRs->record(row).value(0).toLongLong() == typeId.toLongLong()) {
                    found = row;
                    break;
                }
            }
        }
    }
    ui->dcbContactType->setCurrentIndex(found);
}

void Form1::reloadTypes()
{
    QSqlQuery query(m_db);
    query.setForwardOnly(false);
    throwIfFailed(query.exec(QStringLiteral("SELECT ContactTypeID, ContactType FROM \"Contact Types\" "
                                            "ORDER BY ContactType, ContactTypeID")),
                  query);
    m_typesRs->setQuery(std::move(query));
    throwIfFailed(m_typesRs->lastError());
    while (m_typesRs->canFetchMore())
        m_typesRs->fetchMore();
    showContactType();
}

void Form1::showContact(qint64 contactId)
{
    commitBoxes();
    m_contactsRs->moveTo(contactId);
    SetFullName();
    const int row = m_list->rowOfContact(contactId);
    if (row >= 0) {
        m_fillingList = true;
        selectListRow(row);
        m_fillingList = false;
    }
}

void Form1::reloadContactTypes()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton5_Click"));
    trap.step(102, [this] {
        commitBoxes();
        if (m_contactsRs->hasCurrent() && m_contactsRs->isEditing() && !m_contactsRs->isNewRow())
            m_contactsRs->update();
    });
    trap.step(104, [this] { reloadTypes(); });
}

void Form1::reloadAll()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton10_Click"));
    trap.step(102, [this] {
        commitBoxes();
        if (m_contactsRs->hasCurrent() && m_contactsRs->isEditing())
            m_contactsRs->update();
    });
    trap.step(104, [this] { reloadTypes(); });
    trap.step(106, [this] {
        // A restore may have replaced every row: start again from the first contact.
        if (m_contactsRs->hasCurrent())
            m_contactsRs->requery();
        if (!m_contactsRs->hasCurrent())
            m_contactsRs->moveFirst();
    });
    trap.step(108, [this] { listContacts(); });
    trap.step(110, [this] {
        SetFullName();
        SetCalls(false);
    });
}

// Delete Current Call
void Form1::PushButton1_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton1_Click"));
    const QModelIndex current = ui->DataGrid1->currentIndex();
    const int row = current.row();
    if (row < 0 || m_callGrid->isNewRow(current) || m_callsRs->rowCount() == 0)
        return; // an empty log or the grid's new-call row: nothing to delete
    const bool yes = trap.confirm(100, [&] {
        const QString date = m_callsRs->data(m_callsRs->index(row, CallLogModel::CallDate)).toString();
        const QString time = m_callsRs->data(m_callsRs->index(row, CallLogModel::CallTime)).toString();
        const QString text = QStringLiteral("Do you really want to delete this call record ?\r\nFrom: ")
            + date + QLatin1Char(' ') + time;
        return MessageService::instance().question(this, QStringLiteral("Question"), text)
            == MessageService::Answer::Yes;
    });
    if (!yes)
        return;
    trap.step(102, [&] {
        storePendingCallEdits();
        if (!m_callsRs->removeRow(row) || !m_callsRs->submitAll()) {
            const QString message = m_callsRs->lastError().text();
            m_callsRs->revertAll();
            throw Failure(message);
        }
        m_callsRs->showContact(m_callsRs->contactId());
        setCurrentCall(std::min(row, m_callsRs->rowCount() - 1));
        onCurrentCallChanged();
    });
}

// Add New Call
void Form1::PushButton2_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton2_Click"));
    if (!m_contactsRs->hasCurrent() || m_contactsRs->currentId() < 0)
        return;
    const QDateTime now = Clock::now();
    int row = -1;
    trap.step(100, [this] { storePendingCallEdits(); });
    trap.step(108, [&] { row = m_callsRs->addCall(now); });
    if (row >= 0)
        setCurrentCall(row);
}

// Delete Current Contact
void Form1::PushButton3_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton3_Click"));
    if (!m_contactsRs->hasCurrent())
        return;
    const bool yes = trap.confirm(100, [this] {
        const QString text = QStringLiteral("Do you really want to delete this Contact ?\r\nFor: ")
            + ui->FullName->text();
        return MessageService::instance().question(this, QStringLiteral("Question"), text)
            == MessageService::Answer::Yes;
    });
    if (!yes)
        return;
    trap.step(102, [this] { m_contactsRs->deleteCurrent(); });
    trap.step(104, [this] {
        if (!m_contactsRs->hasCurrent())
            m_contactsRs->moveFirst();
    });
    trap.step(106, [this] {
        if (m_contactsRs->hasCurrent()) {
            listContacts();
        } else {
            m_list->clear();
            m_contactCount = 0;
        }
    });
    trap.step(108, [this] { SetFullName(); });
}

// Create New Contact
void Form1::PushButton4_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton4_Click"));
    trap.step(100, [this] { m_addingContact = true; });
    trap.step(102, [this] { ui->PushButton4->setEnabled(false); });
    trap.step(104, [this] { ui->PushButton3->setEnabled(false); });
    trap.step(106, [this] {
        commitBoxes();
        m_contactsRs->addNew();
    });
    trap.step(108, [this] { m_contactsRs->setValue(ContactField::FirstName, QStringLiteral("New Contact")); });
    trap.step(110, [this] {
        m_contactsRs->update();
        m_mapper->setCurrentIndex(0);
    });
    trap.step(112, [this] { SetCalls(false); });
    trap.step(114, [this] { SetFullName(); });
    trap.step(116, [this] {
        ui->SSTab1->setCurrentWidget(ui->tabGeneral);
        ui->Text1_0->setFocus();
        ui->Text1_0->selectAll();
    });
}

// Edit Contact Types
void Form1::PushButton5_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton5_Click"));
    trap.step(100, [this] {
        commitBoxes();
        Form2 dialog(this);
        dialog.exec();
    });
    reloadContactTypes();
}

// View Reports
void Form1::PushButton6_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton6_Click"));
    trap.step(100, [this] {
        Form3 dialog(this);
        dialog.exec();
    });
}

// Save Contact
void Form1::PushButton7_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton7_Click"));
    const bool hasType = trap.test(100, [this] {
        commitBoxes();
        return !ui->dcbContactType->currentText().isEmpty();
    });
    if (hasType) {
        trap.step(102, [this] { m_contactsRs->update(); });
        trap.step(104, [this] { SetFullName(); });
        trap.step(106, [this] {
            MessageService::instance().information(this, ui->FullName1->text() + QStringLiteral("\r\n   saved."));
        });
        trap.step(108, [this] { m_addingContact = false; });
        trap.step(110, [this] { listContacts(); });
        trap.step(112, [this] { ui->PushButton3->setEnabled(true); });
        trap.step(114, [this] { ui->PushButton4->setEnabled(true); });
        return;
    }
    trap.step(116, [this] { MessageService::instance().information(this, QStringLiteral("Please select contact type.")); });
    trap.step(118, [this] {
        ui->SSTab1->setCurrentWidget(ui->tabGeneral);
        ui->dcbContactType->setFocus();
    });
}

// Search
void Form1::PushButton8_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton8_Click"));
    trap.step(100, [this] { m_skipReselect = true; });
    trap.step(102, [this] {
        commitBoxes();
        Form4 dialog(this);
        dialog.exec();
    });
}

// Edit Labels
void Form1::PushButton9_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton9_Click"));
    trap.step(100, [this] {
        Form5 dialog(this);
        dialog.exec();
        loadLabels();
    });
}

// Backup Database
void Form1::PushButton10_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton10_Click"));
    trap.step(100, [this] {
        commitBoxes();
        if (m_contactsRs->hasCurrent() && m_contactsRs->isEditing())
            m_contactsRs->update();
        storePendingCallEdits();
        Form6 dialog(this);
        dialog.exec();
    });
    reloadAll();
}
