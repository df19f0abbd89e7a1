#include "Form2.h"
#include "ui_Form2.h"

#include "ContactTypesModel.h"
#include "frame/DialogFrame.h"
#include "frame/ErrorReport.h"
#include "frame/MessageService.h"
#include "frame/Theme.h"
#include "frame/Trap.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>

namespace {
const QString kUnit = QStringLiteral("Form2");
constexpr int kGridMarginTwips = 500;
constexpr int kTwipsPerPixel = 15;

QString contactsHaveTypeText(qint64 count)
{
    return count == 1 ? QStringLiteral("1 contact has this type. It will have no type.")
                      : QStringLiteral("%1 contacts have this type. They will have no type.").arg(count);
}
} // namespace

Form2::Form2(ContactTypesModel *types, std::function<Status()> storeCurrentContact, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::Form2>()), m_types(types),
      m_storeCurrentContact(std::move(storeCurrentContact))
{
    ui->setupUi(this);
    setUpDialogFrame(this, QSize(536, 266));
    // The message waits until the grid has finished with the refused edit.
    connect(m_types, &ContactTypesModel::emptyNameRefused, this, [this] {
        MessageService::instance().information(this, QStringLiteral("A contact type needs a name. "
                                                                     "The name was not changed."));
    }, Qt::QueuedConnection);
    // A name the database refuses is reported once the grid's editor has closed.
    connect(m_types, &ContactTypesModel::writeFailed, this, [this](const Error &error) {
        reportApplicationError(this, kUnit, QStringLiteral("DataGrid1_AfterColEdit"), kUntrappedStep, error.description);
    }, Qt::QueuedConnection);

    QTableView *table = ui->DataGrid1;
    table->setModel(m_types);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                           | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(20);
    table->verticalHeader()->setFixedWidth(24);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setHighlightSections(false);

    connect(ui->PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(ui->PushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(ui->dc3, &NavigationBar::firstClicked, this, [this] { setCurrentRow(0); });
    connect(ui->dc3, &NavigationBar::previousClicked, this,
            [this] { setCurrentRow(std::max(0, currentRow() - 1)); });
    connect(ui->dc3, &NavigationBar::nextClicked, this,
            [this] { setCurrentRow(std::min(m_types->rowCount() - 1, currentRow() + 1)); });
    connect(ui->dc3, &NavigationBar::lastClicked, this, [this] { setCurrentRow(m_types->rowCount() - 1); });
    Form_Load();
}

Form2::~Form2()
{
    // The model belongs to the main window and outlives the grid.
    ui->DataGrid1->setModel(nullptr);
}

QTableView *Form2::grid() const
{
    return ui->DataGrid1;
}

int Form2::currentRow() const
{
    const QModelIndex current = ui->DataGrid1->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void Form2::setCurrentRow(int row)
{
    if (row < 0 || row >= m_types->rowCount())
        return;
    const QModelIndex index = m_types->index(row, ContactTypesModel::ContactType);
    ui->DataGrid1->setCurrentIndex(index);
    ui->DataGrid1->scrollTo(index);
}

void Form2::Form_Load()
{
    Trap trap(this, kUnit, QStringLiteral("Form_Load"));
    trap.step(100, [this] { ApplyFormColorWhite(this); });
    trap.step(102, [this] { setWindowIcon(QApplication::windowIcon()); });
    trap.step(104, [this] { applyHandCursor(this); });
    // 108 to 114: the grid shows the types as the main window holds them;
    // they are not read again when the window opens.
    setCurrentRow(0);
    trap.step(116, [this] { ui->DataGrid1->setColumnHidden(ContactTypesModel::ContactTypeID, true); });
    trap.step(118, [this] {
        const int gridWidth = ui->DataGrid1->width() * kTwipsPerPixel;
        ui->DataGrid1->setColumnWidth(ContactTypesModel::ContactType,
                                      (gridWidth - kGridMarginTwips + kTwipsPerPixel / 2) / kTwipsPerPixel);
    });
}

// Add New Type
void Form2::PushButton2_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton2_Click"));
    commitGridEdit();
    int row = -1;
    trap.step(100, [&]() -> Status {
        const Result<int> added = m_types->addType(QStringLiteral("New Type"));
        if (!added)
            return added.error();
        row = *added;
        return {};
    });
    if (m_storeCurrentContact)
        trap.step(106, [this] { return m_storeCurrentContact(); });
    if (row < 0)
        return;
    // The new row's name is typed next: its cell is open with "New Type"
    // selected, so typing replaces it and Return keeps it.
    setCurrentRow(row);
    ui->DataGrid1->setFocus();
    ui->DataGrid1->edit(m_types->index(row, ContactTypesModel::ContactType));
}

// Delete Current Type
void Form2::PushButton1_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton1_Click"));
    commitGridEdit();
    const int row = currentRow();
    if (row < 0 || row >= m_types->rowCount()) // 100: no current type
        return;
    const bool yes = trap.confirm(102, [&]() -> Result<bool> {
        QString text = QStringLiteral("Do you really want to delete this Contact Type ?\r\nFor: ") + m_types->nameAt(row);
        // Contacts keep the key of a deleted type and show no type from then on.
        const Result<qint64> users = m_types->contactCount(row);
        if (!users)
            return users.error();
        if (*users > 0)
            text += QStringLiteral("\r\n") + contactsHaveTypeText(*users);
        return MessageService::instance().question(this, QStringLiteral("Question"), text)
            == MessageService::Answer::Yes;
    });
    if (!yes)
        return;
    trap.step(104, [&] { return m_types->removeType(row); });
    trap.step(106, [this] { MessageService::instance().information(this, QStringLiteral("Done.")); });
    // After the last type is gone the empty grid has no row to go to.
    trap.step(108, [this] { setCurrentRow(0); });
}

void Form2::commitGridEdit()
{
    const QModelIndex current = ui->DataGrid1->currentIndex();
    if (QWidget *editor = current.isValid() ? ui->DataGrid1->indexWidget(current) : nullptr)
        emit ui->DataGrid1->itemDelegate()->commitData(editor);
}

// Return presses the focused button and no other: the dialog has no
// default button of its own that Return in the grid would press.
void Form2::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    ui->PushButton1->setDefault(false);
    ui->PushButton2->setDefault(false);
}

// A button that had the focus once stays the dialog's default, so Return in
// the grid (after a name was typed) would press it: there Return does nothing.
void Form2::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && !qobject_cast<QPushButton *>(QApplication::focusWidget())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Form2::done(int result)
{
    commitGridEdit();
    QDialog::done(result);
}
