#include "frame/Accessibility.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QtTest>

namespace {
QString announced(QWidget *widget)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QStringLiteral("<none>");
}
} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    void captionsBecomeNames_data();
    void captionsBecomeNames();
    void boxesAreNamedAfterBuddiesPairsAndTexts();
    void namesFollowCaptionsWhenAppliedAgain();
    void boxesThatAreGoneAreLeftOut();
};

void AccessibilityTest::captionsBecomeNames_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("name");
    QTest::newRow("colon") << "First Name:" << "First Name";
    QTest::newRow("mnemonic") << "&First Name:" << "First Name";
    QTest::newRow("literal ampersand") << "Fish && Chips:" << "Fish & Chips";
    QTest::newRow("blanks around") << "  Notes:  " << "Notes";
    QTest::newRow("blank before the colon") << "City :" << "City";
    QTest::newRow("apostrophe") << "Contact's Interests:" << "Contact's Interests";
    QTest::newRow("no colon") << "Phone Numbers" << "Phone Numbers";
    QTest::newRow("colon inside") << "Ratio 2:1" << "Ratio 2:1";
    QTest::newRow("TAB and line break") << "E-mail\tAddress:\n" << "E-mail Address";
    QTest::newRow("Greek") << "Σύζυγος:" << "Σύζυγος";
    QTest::newRow("only colons") << "::" << "";
    QTest::newRow("empty") << "" << "";
}

void AccessibilityTest::captionsBecomeNames()
{
    QFETCH(QString, caption);
    QFETCH(QString, name);
    QCOMPARE(accessibleNameFromCaption(caption), name);
}

void AccessibilityTest::boxesAreNamedAfterBuddiesPairsAndTexts()
{
    QWidget form;
    auto *firstCaption = new QLabel(QStringLiteral("&First Name:"), &form);
    auto *first = new QLineEdit(&form);
    firstCaption->setBuddy(first);
    auto *lonelyCaption = new QLabel(QStringLiteral("Not a caption of anything"), &form);
    auto *heading = new QLabel(QStringLiteral("Phone Numbers"), &form);
    auto *phones = new QTableView(&form);
    auto *frame = new QGroupBox(QStringLiteral("Search"), &form);
    auto *searchBox = new QLineEdit(frame);
    auto *untouched = new QLineEdit(&form);
    untouched->setAccessibleName(QStringLiteral("Set by hand"));

    CaptionNames names(&form);
    names.pair(heading, phones);
    names.name(searchBox, frame->title());
    names.apply();

    QCOMPARE(first->accessibleName(), QStringLiteral("First Name"));
    QCOMPARE(announced(first), QStringLiteral("First Name"));
    QCOMPARE(phones->accessibleName(), QStringLiteral("Phone Numbers"));
    QCOMPARE(announced(searchBox), QStringLiteral("Search"));
    QCOMPARE(untouched->accessibleName(), QStringLiteral("Set by hand"));
    QCOMPARE(lonelyCaption->accessibleName(), QString());
}

void AccessibilityTest::namesFollowCaptionsWhenAppliedAgain()
{
    QWidget form;
    auto *caption = new QLabel(QStringLiteral("Mobile Phone:"), &form);
    auto *box = new QLineEdit(&form);
    caption->setBuddy(box);
    auto *heading = new QLabel(QStringLiteral("Phone Numbers"), &form);
    auto *group = new QTableView(&form);
    auto *named = new QLineEdit(&form);
    CaptionNames names(&form);
    names.pair(heading, group);
    names.name(named, QStringLiteral("Label 8:"));
    names.apply();
    QCOMPARE(box->accessibleName(), QStringLiteral("Mobile Phone"));

    caption->setText(QStringLiteral("Cell number"));
    heading->setText(QStringLiteral("Telephones:"));
    names.name(named, QStringLiteral("Caption of Cell number"));
    names.apply();
    QCOMPARE(box->accessibleName(), QStringLiteral("Cell number"));
    QCOMPARE(announced(box), QStringLiteral("Cell number"));
    QCOMPARE(group->accessibleName(), QStringLiteral("Telephones"));
    QCOMPARE(named->accessibleName(), QStringLiteral("Caption of Cell number"));

    // A caption that moves to another box names that one.
    auto *other = new QLineEdit(&form);
    caption->setBuddy(other);
    names.apply();
    QCOMPARE(other->accessibleName(), QStringLiteral("Cell number"));
}

void AccessibilityTest::boxesThatAreGoneAreLeftOut()
{
    auto form = std::make_unique<QWidget>();
    auto *heading = new QLabel(QStringLiteral("Calls"), form.get());
    auto *grid = new QTableView(form.get());
    auto *box = new QLineEdit(form.get());
    CaptionNames names(form.get());
    names.pair(heading, grid);
    names.name(box, QStringLiteral("Notes:"));
    delete grid;
    delete box;
    names.apply();
    QCOMPARE(heading->accessibleName(), QString());
    form.reset();
    names.apply(); // the form itself is gone
}

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
