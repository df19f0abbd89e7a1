#include "Form4.h"
#include "ui_Form4.h"

#include "ContactSearch.h"
#include "SearchResultsModel.h"
#include "contacts/Form1.h"
#include "store/Database.h"
#include "frame/ErrorReport.h"
#include "frame/Failure.h"
#include "frame/MessageService.h"
#include "frame/Theme.h"
#include "frame/Trap.h"
#include "reference/DialogFrame.h"

#include <QApplication>
#include <QHeaderView>
#include <QSqlQuery>

namespace {
const QString kUnit = QStringLiteral("Form4");
constexpr int kTwipsPerPixel = 15;
} // namespace

Form4::Form4(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::Form4>())
{
    ui->setupUi(this);
    setUpDialogFrame(this, QSize(536, 336));
    QFont buttonFont(QStringLiteral("Arial"));
    buttonFont.setPointSizeF(11.25);
    buttonFont.setBold(true);
    for (QPushButton *button : {ui->PushButton1, ui->PushButton2, ui->PushButton3})
        button->setFont(buttonFont);

    m_results = new SearchResultsModel(this);
    connect(m_results, &SearchResultsModel::readFailed, this, [this](const QString &description) {
        reportApplicationError(this, kUnit, QStringLiteral("ListView1_Scroll"), 100, description);
    });

    QTableView *list = ui->ListView1;
    list->setModel(m_results);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setDefaultSectionSize(18);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setHighlightSections(false);
    // The key column carries the contact for Select and is never seen.
    list->setColumnHidden(SearchResultsModel::Key, true);
    const int widthsTwips[] = {0, 1500, 1500, 2000, 1440, 2000, 1500};
    for (int column = SearchResultsModel::FirstName; column < SearchResultsModel::ColumnCount; ++column)
        list->setColumnWidth(column, widthsTwips[column] / kTwipsPerPixel);

    connect(ui->PushButton1, &QPushButton::clicked, this, &Form4::PushButton1_Click);
    connect(ui->PushButton2, &QPushButton::clicked, this, &Form4::PushButton2_Click);
    connect(ui->PushButton3, &QPushButton::clicked, this, &Form4::PushButton3_Click);
    connect(ui->Text1, &QLineEdit::returnPressed, this, &Form4::PushButton3_Click);
    connect(list, &QAbstractItemView::doubleClicked, this, [this] { PushButton1_Click(); });
    Form_Load();
}

Form4::~Form4()
{
    ui->ListView1->setModel(nullptr);
    delete m_results;
    m_results = nullptr;
    if (m_db.isValid())
        closeConnection(m_db);
}

QLineEdit *Form4::searchBox() const
{
    return ui->Text1;
}

QTableView *Form4::resultList() const
{
    return ui->ListView1;
}

void Form4::Form_Load()
{
    Trap trap(this, kUnit, QStringLiteral("Form_Load"));
    trap.step(100, [this] { ApplyFormColorWhite(this); });
    trap.step(102, [this] { setWindowIcon(QApplication::windowIcon()); });
    trap.step(104, [this] { applyHandCursor(this); });
}

// Go, and Enter in the search box
void Form4::PushButton3_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton3_Click"));
    const QString typed = ui->Text1->text();
    if (typed.trimmed().isEmpty()) // 104: a blank text searches nothing
        return;
    trap.step(106, [this] {
        if (!m_db.isValid() || !m_db.isOpen())
            m_db = OpenConnection();
    });
    const ContactSearch search(typed);
    QSqlQuery query;
    const bool opened = trap.step(108, [&] {
        m_results->finish();
        query = search.run(m_db);
    });
    if (!opened) // nothing to read from a query that did not run
        return;
    trap.step(110, [&] { m_results->show(search, std::move(query)); });
    if (m_results->rowCount() > 0)
        ui->ListView1->scrollToTop();
}

// Select, and a double click in the list
void Form4::PushButton1_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton1_Click"));
    if (m_results->rowCount() == 0) // 100: nothing found, nothing to select
        return;
    // Without a chosen row the first contact found is taken.
    const QModelIndex current = ui->ListView1->currentIndex();
    const int row = current.isValid() ? current.row() : 0;
    const qint64 contactId = m_results->contactIdAt(row);
    auto *mainWindow = qobject_cast<Form1 *>(parentWidget());
    bool gone = false;
    trap.step(102, [&] {
        if (!mainWindow)
            return;
        if (const Status shown = mainWindow->showContact(contactId); !shown) {
            if (contactExists(contactId))
                throw Failure(shown.error().description);
            gone = true;
        }
    });
    if (gone) {
        m_results->removeContactRow(row);
        MessageService::instance().information(
            this, QStringLiteral("This contact is no longer in the database."));
        return;
    }
    trap.step(116, [this] {
        m_results->finish();
        accept();
    });
}

bool Form4::contactExists(qint64 contactId)
{
    QSqlQuery query(m_db);
    throwIfFailed(query.prepare(QStringLiteral("SELECT 1 FROM Contacts WHERE ContactID = ?")), query);
    query.addBindValue(contactId);
    throwIfFailed(query.exec(), query);
    return query.next();
}

// Cancel
void Form4::PushButton2_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton2_Click"));
    trap.step(100, [this] {
        m_results->finish();
        reject();
    });
}
