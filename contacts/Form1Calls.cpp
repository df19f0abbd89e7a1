// The main window's call log: the grid, its bar, the notes box and the two
// call buttons.

#include "Form1.h"
#include "ui_Form1.h"

#include "CallGridDelegate.h"
#include "CallLogModel.h"
#include "ContactsRecordset.h"
#include "Form1Parts.h"
#include "NewCallRowModel.h"
#include "frame/Clock.h"
#include "frame/ErrorReport.h"
#include "frame/MessageService.h"
#include "frame/Trap.h"

#include <QApplication>
#include <QDataWidgetMapper>
#include <QTextDocument>
#include <QHeaderView>

using form1::kUnit;

void Form1::setUpCallLog()
{
    QTableView *grid = ui->DataGrid1;
    m_callGrid = new NewCallRowModel(this);
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
    connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { onCurrentCallChanged(); });
    // A write the database refuses is reported once the editor has let go.
    connect(m_callsRs, &CallLogModel::writeFailed, this, &Form1::reportCallWriteFailure, Qt::QueuedConnection);

    m_callNotesMapper = new QDataWidgetMapper(this);
    m_callNotesMapper->setModel(m_callsRs);
    // The notes are written only when the user changed them: showing a call
    // and leaving the box keep the stored text as it is, line breaks too.
    m_callNotesMapper->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    m_callNotesMapper->addMapping(ui->CallNotes, CallLogModel::Notes);
    ui->CallNotes->setTabChangesFocus(true);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *) {
        if (old == ui->CallNotes)
            submitCallNotes();
    });

    // The "Calls" bar never takes the focus, so it hands the editors over itself.
    auto go = [this](auto row) {
        return [this, row] {
            commitCallEditors();
            setCurrentCall(row());
        };
    };
    const auto current = [this] { return ui->DataGrid1->currentIndex().row(); };
    connect(ui->dc1, &NavigationBar::firstClicked, this, go([] { return 0; }));
    connect(ui->dc1, &NavigationBar::previousClicked, this, go([current] { return std::max(0, current() - 1); }));
    connect(ui->dc1, &NavigationBar::nextClicked, this,
            go([this, current] { return std::min(current() + 1, m_callsRs->rowCount() - 1); }));
    connect(ui->dc1, &NavigationBar::lastClicked, this, go([this] { return m_callsRs->rowCount() - 1; }));
}

void Form1::reportCallWriteFailure(const Error &error)
{
    reportApplicationError(this, kUnit, QStringLiteral("DataGrid1_AfterColEdit"), kUntrappedStep, error.description);
}

// The grid's open cell editor and the notes box hand their text to the call.
void Form1::commitCallEditors()
{
    QTableView *grid = ui->DataGrid1;
    const QModelIndex current = grid->currentIndex();
    if (QWidget *editor = current.isValid() ? grid->indexWidget(current) : nullptr) {
        emit grid->itemDelegate()->commitData(editor);
        emit grid->itemDelegate()->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
    submitCallNotes();
}

void Form1::submitCallNotes()
{
    QTextDocument *notes = ui->CallNotes->document();
    if (m_callNotesMapper->currentIndex() < 0 || !ui->CallNotes->isEnabled() || !notes->isModified())
        return;
    notes->setModified(false);
    m_callNotesMapper->submit();
}

Status Form1::SetCalls(bool blnStart)
{
    Q_UNUSED(blnStart);
    commitCallEditors();
    if (!m_contactsRs->hasCurrent()) {
        m_callGrid->setNewRowEnabled(false);
        const Status cleared = m_callsRs->showContact(-1);
        onCurrentCallChanged();
        return cleared;
    }
    const qint64 id = m_contactsRs->currentId();
    if (id < 0)
        return {}; // a contact not stored yet keeps the log on screen
    const Status shown = m_callsRs->showContact(id);
    m_callGrid->setNewRowEnabled(shown.ok());
    if (m_callsRs->rowCount() > 0)
        setCurrentCall(0);
    onCurrentCallChanged();
    return shown;
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
    int row = -1;
    runGuarded(this, kUnit, QStringLiteral("DataGrid1_OnAddNew"), [&]() -> Status {
        submitCallNotes();
        const Result<int> added = m_callsRs->addCall(Clock::now());
        if (!added)
            return added.error();
        row = *added;
        if (column == CallLogModel::Subject || column == CallLogModel::CallDate || column == CallLogModel::CallTime)
            m_callsRs->setData(m_callsRs->index(row, column), value);
        return {};
    });
    if (row >= 0)
        QMetaObject::invokeMethod(this, [this, row] { setCurrentCall(row); }, Qt::QueuedConnection);
    return row;
}

void Form1::onCurrentCallChanged()
{
    const QModelIndex current = ui->DataGrid1->currentIndex();
    const int row = m_callGrid->isNewRow(current) ? -1 : current.row();
    if (row != m_callNotesMapper->currentIndex())
        submitCallNotes();
    if (row < 0) {
        m_callNotesMapper->setCurrentIndex(-1);
        ui->CallNotes->clear();
        ui->CallNotes->setEnabled(false);
        return;
    }
    ui->CallNotes->setEnabled(true);
    m_callNotesMapper->setCurrentIndex(row);
    ui->CallNotes->document()->setModified(false);
}

// Delete Current Call
void Form1::PushButton1_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton1_Click"));
    commitCallEditors();
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
    trap.step(102, [&]() -> Status {
        if (Status removed = m_callsRs->removeCall(row); !removed)
            return removed;
        setCurrentCall(std::min(row, m_callsRs->rowCount() - 1));
        onCurrentCallChanged();
        return {};
    });
}

// Add New Call
void Form1::PushButton2_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton2_Click"));
    if (!m_contactsRs->hasCurrent() || m_contactsRs->currentId() < 0)
        return;
    commitCallEditors();
    const QDateTime now = Clock::now();
    int row = -1;
    trap.step(108, [&]() -> Status {
        const Result<int> added = m_callsRs->addCall(now);
        if (!added)
            return added.error();
        row = *added;
        return {};
    });
    if (row < 0)
        return;
    // The new call's subject is typed next: its cell is current and open,
    // so the typing never reaches the button again.
    setCurrentCall(row);
    const QModelIndex subject = m_callGrid->index(row, CallLogModel::Subject);
    ui->DataGrid1->setFocus();
    ui->DataGrid1->setCurrentIndex(subject);
    ui->DataGrid1->edit(subject);
}
