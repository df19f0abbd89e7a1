#include "support/TestSupport.h"

#include "contacts/Form1.h"
#include "frame/NavigationBar.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

namespace {
const QSize kDesign(720, 648);

// Rows of the contact list that the user can see.
int visibleRows(QTableView *list)
{
    int rows = 0;
    const QRect shown = list->viewport()->rect();
    for (int row = 0; row < list->model()->rowCount(); ++row)
        if (shown.contains(list->visualRect(list->model()->index(row, 0)).adjusted(0, 0, 0, -1)))
            ++rows;
    return rows;
}

// Where the control lies in the window.
QRect inWindow(QWidget *window, QWidget *control)
{
    return QRect(control->mapTo(window, QPoint(0, 0)), control->size());
}

bool screenHoldsTheDesign(QWidget *window)
{
    const QSize room = window->screen()->availableGeometry().size() - QSize(16, 48);
    return room.width() >= kDesign.width() && room.height() >= kDesign.height();
}

void resizeAndSettle(QWidget *window, QSize size)
{
    window->resize(size);
    QTRY_COMPARE(window->size(), size);
    QCoreApplication::processEvents();
}
} // namespace

class WindowSizingTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void opensAtTheDesignedLayout();
    void enlargingGrowsTheListAndWidensTheTabs();
    void aSmallWindowScrollsToEveryControl();
    void tabOrderAndTheButtonsStayAsDesigned();

private:
    IsolatedEnvironment env;
};

void WindowSizingTest::init()
{
    env.reset();
    QSqlDatabase db = TestData::openLive();
    const qint64 type = TestData::addType(db, QStringLiteral("Friend"));
    const QStringList last = {"O'Neil", "Åberg", "Ünal", "  Padded  ", "Müller", "Δημητρίου", "Tab\tName", "Line\nBreak"};
    for (int i = 0; i < 40; ++i)
        TestData::addContact(db, {{"FirstName", QStringLiteral("Person %1").arg(i)},
                                  {"LastName", last.at(i % last.size())},
                                  {"ContactTypeID", type}});
    TestData::close(db);
}

void WindowSizingTest::opensAtTheDesignedLayout()
{
    Form1 main;
    QVERIFY(showActive(&main));
    auto *area = child<QScrollArea>(&main, QStringLiteral("WindowScrollArea"));
    if (screenHoldsTheDesign(&main)) {
        QCOMPARE(main.size(), kDesign);
        QVERIFY(!area->verticalScrollBar()->isVisible());
        QVERIFY(!area->horizontalScrollBar()->isVisible());
    } else {
        // A screen too small for the design: the window fits it and scrolls.
        const QSize room = main.screen()->availableGeometry().size() - QSize(16, 48);
        QCOMPARE(main.size(), kDesign.boundedTo(room));
        QVERIFY(area->verticalScrollBar()->isVisible() || area->horizontalScrollBar()->isVisible());
    }
    area->verticalScrollBar()->setValue(0);
    area->horizontalScrollBar()->setValue(0);
    QCOMPARE(inWindow(&main, child(&main, QStringLiteral("ListView1"))), QRect(8, 8, 704, 74));
    QCOMPARE(inWindow(&main, child(&main, QStringLiteral("PushButton8"))), QRect(8, 88, 168, 27));
    QCOMPARE(inWindow(&main, child(&main, QStringLiteral("FullName1"))), QRect(8, 123, 704, 27));
    QCOMPARE(inWindow(&main, child(&main, QStringLiteral("SSTab1"))), QRect(8, 158, 704, 424));
    QCOMPARE(child(&main, QStringLiteral("PushButton6"))->geometry(), QRect(560, 589, 152, 27));
    QCOMPARE(child(&main, QStringLiteral("dc"))->geometry(), QRect(0, 623, 720, 25));
}

void WindowSizingTest::enlargingGrowsTheListAndWidensTheTabs()
{
    Form1 main;
    QVERIFY(showActive(&main));
    resizeAndSettle(&main, kDesign);
    auto *list = child<QTableView>(&main, QStringLiteral("ListView1"));
    auto *tabs = child<QTabWidget>(&main, QStringLiteral("SSTab1"));
    const int rowsBefore = visibleRows(list);
    const int pageWidthBefore = tabs->currentWidget()->width();
    QVERIFY(rowsBefore >= 1);

    resizeAndSettle(&main, QSize(1000, 900));
    auto *area = child<QScrollArea>(&main, QStringLiteral("WindowScrollArea"));
    QVERIFY(!area->verticalScrollBar()->isVisible());
    QVERIFY(!area->horizontalScrollBar()->isVisible());
    QCOMPARE(inWindow(&main, list), QRect(8, 8, 984, 74 + 252));
    QVERIFY2(visibleRows(list) >= rowsBefore + 8, qPrintable(QString::number(visibleRows(list))));
    QCOMPARE(inWindow(&main, tabs), QRect(8, 158 + 252, 984, 424));
    QCOMPARE(tabs->currentWidget()->width(), pageWidthBefore + 280);
    QCOMPARE(inWindow(&main, child(&main, QStringLiteral("FullName1"))), QRect(8, 123 + 252, 984, 27));
    // The bar stays at the bottom edge, the buttons above it, spread over the width.
    QCOMPARE(inWindow(&main, child(&main, QStringLiteral("dc"))), QRect(0, 875, 1000, 25));
    const QRect reports = inWindow(&main, child(&main, QStringLiteral("PushButton6")));
    QCOMPARE(reports.top(), 589 + 252);
    QCOMPARE(reports.right(), 711 * 1000 / 720);
    QCOMPARE(inWindow(&main, child(&main, QStringLiteral("PushButton8"))).topLeft(), QPoint(11, 88 + 252));
    // The calls grid widens with the page; Delete Current Call keeps to the right.
    QCOMPARE(child(&main, QStringLiteral("DataGrid1"))->width(), 673 + 280);
    QCOMPARE(child(&main, QStringLiteral("PushButton1"))->x(), 512 + 280);

    // Back at the designed size every control is where the form puts it.
    resizeAndSettle(&main, kDesign);
    QCOMPARE(inWindow(&main, list), QRect(8, 8, 704, 74));
    QCOMPARE(visibleRows(list), rowsBefore);
    QCOMPARE(child(&main, QStringLiteral("PushButton1"))->x(), 512);
}

void WindowSizingTest::aSmallWindowScrollsToEveryControl()
{
    Form1 main;
    QVERIFY(showActive(&main));
    resizeAndSettle(&main, QSize(500, 400));
    auto *area = child<QScrollArea>(&main, QStringLiteral("WindowScrollArea"));
    QTRY_VERIFY(area->verticalScrollBar()->isVisible());
    QVERIFY(area->horizontalScrollBar()->isVisible());
    QCOMPARE(child(&main, QStringLiteral("WindowContent"))->size(), kDesign);
    // Nothing is squeezed: the controls keep their designed size.
    QCOMPARE(child(&main, QStringLiteral("ListView1"))->size(), QSize(704, 74));

    auto *bar = child<NavigationBar>(&main, QStringLiteral("dc"));
    QVERIFY(!area->viewport()->rect().contains(QRect(bar->mapTo(area->viewport(), QPoint(0, 0)), bar->size())));
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
    QCoreApplication::processEvents();
    const QRect shown = area->viewport()->rect();
    QVERIFY(shown.contains(QRect(bar->lastButton()->mapTo(area->viewport(), QPoint(0, 0)), bar->lastButton()->size())));
    auto *reports = child<QPushButton>(&main, QStringLiteral("PushButton6"));
    QVERIFY(shown.contains(QRect(reports->mapTo(area->viewport(), QPoint(0, 0)), reports->size())));

    // Moving the focus by keyboard scrolls the focused box into view.
    area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
    auto *first = child(&main, QStringLiteral("Text1_0"));
    auto *next = child(&main, QStringLiteral("Text1_1"));
    first->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(first, Qt::Key_Tab);
    QTRY_COMPARE(QApplication::focusWidget(), next);
    QTRY_VERIFY(area->viewport()->rect().contains(QRect(next->mapTo(area->viewport(), QPoint(0, 0)), next->size())));
}

void WindowSizingTest::tabOrderAndTheButtonsStayAsDesigned()
{
    Form1 main;
    QVERIFY(showActive(&main));
    // The form's tab order, unchanged by the scrolled content.
    const QStringList order = {"Text1_0", "Text1_1", "Text1_3", "Text1_4"};
    child(&main, order.first())->setFocus(Qt::OtherFocusReason);
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), order.at(i));
    }
    // The scroll area itself takes no focus.
    QCOMPARE(child(&main, QStringLiteral("WindowScrollArea"))->focusPolicy(), Qt::NoFocus);
    // The command buttons still belong to the window and act on a click.
    bool opened = false;
    whileModal([&](QDialog *) { opened = true; });
    QTest::mouseClick(child<QPushButton>(&main, QStringLiteral("PushButton8")), Qt::LeftButton);
    QVERIFY(opened);
}

QTEST_MAIN(WindowSizingTest)
#include "tst_window_sizing.moc"
