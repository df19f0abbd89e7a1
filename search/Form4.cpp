#include "Form4.h"
#include "ui_Form4.h"

#include "SearchResultsModel.h"
#include "frame/MessageService.h"
#include "frame/Theme.h"
#include "frame/Trap.h"
#include "frame/DialogFrame.h"
#include "store/SearchStore.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTimer>

namespace {
const QString kUnit = QStringLiteral("Form4");
// Reading that fills the list after the search has run.
const QString kReading = QStringLiteral("ListView1_Scroll");
constexpr int kTwipsPerPixel = 15;
// Keys counted per turn of the event loop while the list is already shown,
// and the time such a turn may take at most, so that the window answers.
constexpr int kCountingChunk = 5000;
constexpr int kCountingMilliseconds = 30;
} // namespace

Form4::Form4(QString databaseFile, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::Form4>()), m_databaseFile(std::move(databaseFile)),
      m_captionNames(this)
{
    ui->setupUi(this);
    setUpDialogFrame(this, QSize(536, 336));
    QFont buttonFont(QStringLiteral("Arial"));
    buttonFont.setPointSizeF(11.25);
    buttonFont.setBold(true);
    for (QPushButton *button : {ui->PushButton1, ui->PushButton2, ui->PushButton3})
        button->setFont(buttonFont);

    m_results = new SearchResultsModel(this);
    setUpResultList();

    // The remaining keys are counted a chunk at a time while the user can
    // already look at the first rows.
    m_counter = new QTimer(this);
    m_counter->setInterval(0);
    auto countChunk = guarded(this, kUnit, kReading, [this]() -> Status {
        const Status counted = m_results->countMore(kCountingChunk, QDeadlineTimer(kCountingMilliseconds));
        if (!m_results->counting())
            m_counter->stop();
        showCount();
        return counted;
    });
    connect(m_counter, &QTimer::timeout, this, [countChunk]() mutable { countChunk(); });
    // Rows the view is about to show are read after the paint that asked for them.
    connect(m_results, &SearchResultsModel::rowsWanted, this,
            guarded(this, kUnit, kReading, [this] { return m_results->readWantedRows(); }), Qt::QueuedConnection);

    connect(ui->PushButton1, &QPushButton::clicked, this, &Form4::PushButton1_Click);
    connect(ui->PushButton2, &QPushButton::clicked, this, &Form4::PushButton2_Click);
    connect(ui->PushButton3, &QPushButton::clicked, this, &Form4::PushButton3_Click);
    connect(ui->Text1, &QLineEdit::returnPressed, this, &Form4::PushButton3_Click);
    connect(ui->ListView1, &QAbstractItemView::doubleClicked, this, [this] { PushButton1_Click(); });

    m_captionNames.name(ui->Text1, ui->Frame1->title());
    m_captionNames.name(ui->ListView1, QStringLiteral("Results"));
    m_captionNames.apply();
    Form_Load();
}

Form4::~Form4()
{
    m_counter->stop();
    ui->ListView1->setModel(nullptr);
    m_results->setStore(nullptr);
    m_store.reset();
}

void Form4::setUpResultList()
{
    QTableView *list = ui->ListView1;
    list->setModel(m_results);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for Select instead of walking its cells.
    list->setTabKeyNavigation(false);
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
    list->installEventFilter(this);
}

QLineEdit *Form4::searchBox() const
{
    return ui->Text1;
}

QTableView *Form4::resultList() const
{
    return ui->ListView1;
}

QLabel *Form4::resultCount() const
{
    return ui->ResultCount;
}

void Form4::Form_Load()
{
    Trap trap(this, kUnit, QStringLiteral("Form_Load"));
    trap.step(100, [this] { ApplyFormColorWhite(this); });
    trap.step(102, [this] { setWindowIcon(QApplication::windowIcon()); });
    trap.step(104, [this] { applyHandCursor(this); });
}

bool Form4::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->ListView1 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Return in the list selects, as a double click does.
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            PushButton1_Click();
            return true;
        }
        // Ctrl+End goes to the last result, also while results are still being counted.
        if (key->key() == Qt::Key_End && (key->modifiers() & Qt::ControlModifier) && m_results->counting()) {
            runGuarded(this, kUnit, QStringLiteral("ListView1_KeyDown"), [this] {
                const Status counted = m_results->countAll();
                m_counter->stop();
                showCount();
                return counted;
            });
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Go, and Enter in the search box
void Form4::PushButton3_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton3_Click"));
    const QString typed = ui->Text1->text();
    if (typed.trimmed().isEmpty()) // 104: a blank text searches nothing
        return;
    trap.step(106, [this]() -> Status {
        if (m_store)
            return {};
        Result<std::unique_ptr<SearchStore>> store = SearchStore::open(m_databaseFile);
        if (!store)
            return store.error();
        m_store = std::move(store).value();
        m_results->setStore(m_store.get());
        return {};
    });
    const bool opened = trap.step(108, [&]() -> Status {
        stopReading();
        if (!m_store)
            return failure(QStringLiteral("The connection to the database is not open."));
        return m_store->start(typed);
    });
    if (!opened) // nothing to read from a query that did not run
        return;
    m_results->begin(); // 110
    trap.step(112, [this]() -> Status {
        if (Status counted = m_results->countMore(SearchResultsModel::kBatchSize); !counted)
            return counted;
        return m_results->readRows(0, SearchResultsModel::kBatchSize - 1);
    });
    countOn();
    if (m_results->rowCount() > 0)
        ui->ListView1->scrollToTop();
}

void Form4::countOn()
{
    if (m_results->counting())
        m_counter->start();
    showCount();
}

void Form4::stopReading()
{
    m_counter->stop();
    m_results->stop();
}

void Form4::showCount()
{
    const int found = m_results->rowCount();
    QString text;
    if (m_results->counting())
        text = found == 1 ? QStringLiteral("1 contact found so far") : QStringLiteral("%L1 contacts found so far").arg(found);
    else if (found == 0)
        text = QStringLiteral("No contact found");
    else if (found == 1)
        text = QStringLiteral("1 contact found");
    else
        text = QStringLiteral("%L1 contacts found").arg(found);
    ui->ResultCount->setText(text);
    ui->ListView1->setAccessibleDescription(text);
}

// Select, and a double click or Return in the list
void Form4::PushButton1_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton1_Click"));
    if (m_results->rowCount() == 0) // 100: nothing found, nothing to select
        return;
    // Without a chosen row the first contact found is taken.
    const QModelIndex current = ui->ListView1->currentIndex();
    const int row = current.isValid() ? current.row() : 0;
    const qint64 contactId = m_results->contactIdAt(row);
    // 102: the opener makes the contact current once this window has
    // closed; here it is only made sure that the contact is still there.
    bool gone = false;
    trap.step(102, [&]() -> Status {
        if (!m_store)
            return {};
        Result<bool> there = m_store->contains(contactId);
        if (!there)
            return there.error();
        gone = !there.value();
        return {};
    });
    if (gone) {
        m_results->removeContactRow(row);
        showCount();
        MessageService::instance().information(
            this, QStringLiteral("This contact is no longer in the database."));
        return;
    }
    m_selected = contactId;
    stopReading(); // 116
    accept();
}

// Cancel
void Form4::PushButton2_Click()
{
    m_selected.reset();
    stopReading();
    reject();
}
