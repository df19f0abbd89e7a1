// The main window's contact list.

#include "Form1.h"
#include "ui_Form1.h"

#include "ContactListModel.h"
#include "ContactsRecordset.h"
#include "Form1Parts.h"
#include "frame/Trap.h"

#include <QHeaderView>
#include <QScopeGuard>
#include <QTimer>

#include <utility>

using form1::kUnit;

void Form1::setUpList()
{
    QTableView *list = ui->ListView1;
    list->setModel(m_list);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(18);
    list->horizontalHeader()->setHighlightSections(false);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->setShowGrid(false);
    list->setWordWrap(false);
    const int widths[] = {70, 100, 100, 150, 90, 80, 90};
    for (int column = 0; column < 7; ++column)
        list->setColumnWidth(column, widths[column]);
    // A click on a column's caption sorts by it, a second click reverses.
    // The list starts in key order with no sort mark.
    list->horizontalHeader()->setSectionsClickable(true);
    list->horizontalHeader()->setSortIndicatorShown(false);
    connect(list->horizontalHeader(), &QHeaderView::sectionClicked, this,
            guarded(this, kUnit, QStringLiteral("ListView1_ColumnClick"), [this](int column) { return sortListBy(column); }));
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            guarded(this, kUnit, QStringLiteral("ListView1_Click"), [this](const QModelIndex &current, const QModelIndex &) -> Status {
                if (m_fillingList || !current.isValid())
                    return {};
                return onListRowChosen(current.row());
            }));
}

void Form1::listContacts()
{
    Trap trap(this, kUnit, QStringLiteral("listContacts"));
    if (!trap.test(100, [this] { return !m_addingContact && m_contactsRs->isOpen(); }))
        return;
    m_fillingList = true;
    ui->ListView1->horizontalHeader()->setSortIndicatorShown(false);
    trap.step(102, [this] { return m_list->reload(); });
    m_contactCount = m_list->rowCount();
    if (m_list->rowCount() == 0) { // step 126
        m_fillingList = false;
        return;
    }
    // The current contact stays current and selected; the remembered
    // position decides only when it is not listed (it was deleted).
    int selected = m_contactsRs->hasCurrent() ? m_list->rowOfContact(m_contactsRs->currentId()) : -1;
    if (selected < 0) {
        selected = 0; // a freshly filled list has its first row selected
        if (m_lastListIndex != 0 && m_list->rowCount() >= m_lastListIndex)
            selected = m_lastListIndex - 1; // step 134
    }
    selectListRow(selected);
    m_skipReselect = false; // step 136
    m_fillingList = false;
    const qint64 id = m_list->contactIdAt(selected);
    if (id == m_contactsRs->currentId())
        return;
    trap.step(142, [&]() -> Status {
        const Result<bool> stored = storeEdits();
        if (!stored)
            return stored.error();
        if (!*stored) {
            selectCurrentInList();
            return {};
        }
        return m_contactsRs->moveTo(id);
    });
    trap.step(144, [this] { return SetFullName(); });
}

void Form1::selectCurrentInList()
{
    if (m_choosingInList || !ui->ListView1->selectionModel())
        return;
    const int row = m_contactsRs->hasCurrent() && !m_contactsRs->isNewRow() ? m_list->rowOfContact(m_contactsRs->currentId()) : -1;
    const bool filling = std::exchange(m_fillingList, true);
    QItemSelectionModel *selection = ui->ListView1->selectionModel();
    if (row >= 0 && selection->currentIndex().row() == row) {
        // The row the user is clicking: selected where it stands, as
        // scrolling now would move the row under the pointer.
        if (!selection->isRowSelected(row, {}))
            selection->select(m_list->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else if (row >= 0) {
        selectListRow(row);
    } else {
        // A contact not listed yet (just created): no row stands for it.
        selection->clear();
    }
    m_fillingList = filling;
}

qint64 Form1::contactAtListPoint(const QPoint &point) const
{
    const QModelIndex index = ui->ListView1->indexAt(point);
    return index.isValid() ? m_list->contactIdAt(index.row()) : -1;
}

void Form1::selectListRow(int row)
{
    const QModelIndex index = m_list->index(row, 0);
    ui->ListView1->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ui->ListView1->scrollTo(index);
}

Status Form1::onListRowChosen(int row)
{
    if (m_list->rowCount() == 0)
        return {};
    const qint64 id = m_list->contactIdAt(row);
    if (id == m_contactsRs->currentId() && !m_contactsRs->isNewRow())
        return {};
    // Whatever happens below, the list ends up on the contact the form shows,
    // once the view has finished with the click: moving the selection (and
    // scrolling) now would put another row under the pointer.
    QTimer::singleShot(0, this, [this] { selectCurrentInList(); });
    const bool choosing = std::exchange(m_choosingInList, true);
    const auto done = qScopeGuard([&] { m_choosingInList = choosing; });
    const Result<bool> stored = storeEdits();
    if (!stored)
        return stored.error();
    if (!*stored)
        return {};
    if (Status moved = m_contactsRs->moveTo(id); !moved)
        return moved;
    // The next rebuild lists the contacts in key order and selects the
    // remembered position again: remember where this contact stands there.
    m_lastListIndex = m_list->order().isKeyOrder() ? row + 1 : m_list->keyOrderRowOf(id) + 1;
    return SetFullName();
}

Status Form1::sortListBy(int column)
{
    QHeaderView *header = ui->ListView1->horizontalHeader();
    ContactListOrder order{column, false};
    if (header->isSortIndicatorShown() && m_list->order().column == column)
        order.descending = !m_list->order().descending;
    // The header has already moved its mark; it shows the list's order again
    // whatever happens below.
    const auto showOrder = [&] {
        const ContactListOrder &shown = m_list->order();
        header->setSortIndicator(shown.column, shown.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    };
    const qint64 current = m_contactsRs->hasCurrent() ? m_contactsRs->currentId() : -1;
    m_fillingList = true;
    const Status sorted = m_list->sortBy(order);
    if (sorted)
        header->setSortIndicatorShown(true);
    showOrder();
    // The current contact stays the selected one, wherever it now stands.
    const int row = current >= 0 ? m_list->rowOfContact(current) : -1;
    if (row >= 0)
        selectListRow(row);
    m_fillingList = false;
    return sorted;
}

Status Form1::showContact(qint64 contactId)
{
    const Result<bool> stored = storeEdits();
    if (!stored)
        return stored.error();
    if (!*stored)
        return {};
    if (Status moved = m_contactsRs->moveTo(contactId); !moved)
        return moved;
    if (Status named = SetFullName(); !named)
        return named;
    selectCurrentInList();
    return {};
}
