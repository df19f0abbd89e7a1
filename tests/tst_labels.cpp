#include "support/TestSupport.h"

#include "contacts/Form1.h"
#include "frame/Settings.h"
#include "reference/Form5.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {
const QString kMissing = QStringLiteral("<missing>");


void activate(Form1 &window)
{
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(&window, &activation);
}
} // namespace

class LabelsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openingWithoutTypingStoresEveryShownCaption();
    void typedCaptionShowsOnActivationAndAfterRestart();
    void clearedCaptionKeepsItForTheRunOnly();
    void doubleClickOnCaptionOpensEditor();
    void editorWorksFromTheCaptionsItIsGiven();
    void editorBoxesAreNamedAfterTheCaptionsTheyEdit();
    void mainWindowBoxesAreNamedAfterTheirCaptions();

private:
    void restart() { main.reset(); main = std::make_unique<Form1>(); }
    void editLabels(const std::function<void(Form5 *)> &action);

    IsolatedEnvironment env;
    std::unique_ptr<Form1> main;
};

void LabelsTest::init()
{
    env.reset();
    main = std::make_unique<Form1>();
}

void LabelsTest::cleanup()
{
    main.reset();
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join('\n')));
}

void LabelsTest::editLabels(const std::function<void(Form5 *)> &action)
{
    bool opened = false;
    whileModal([&](QDialog *dialog) {
        auto *editor = qobject_cast<Form5 *>(dialog);
        QVERIFY(editor);
        QCOMPARE(editor->windowTitle(), QStringLiteral("Edit Labels"));
        opened = true;
        action(editor);
    });
    main->PushButton9_Click();
    QVERIFY(opened);
}

void LabelsTest::openingWithoutTypingStoresEveryShownCaption()
{
    SaveSetting(labelSettingKey(16), QStringLiteral("Province:"));
    activate(*main);
    QCOMPARE(main->fieldLabel(16)->text(), QStringLiteral("Province:"));
    for (int index = 0; index < kLabelCount; ++index) {
        if (index != 16)
            QCOMPARE(GetSetting(labelSettingKey(index), kMissing), kMissing);
    }

    editLabels([](Form5 *editor) {
        QCOMPARE(editor->box(16)->text(), QStringLiteral("Province:"));
        QCOMPARE(editor->box(8)->text(), QStringLiteral("Mobile Phone:"));
    });
    if (QTest::currentTestFailed())
        return;

    for (int index = 0; index < kLabelCount; ++index) {
        const QString expected = index == 16 ? QStringLiteral("Province:") : Form1::defaultLabelCaption(index);
        QCOMPARE(GetSetting(QStringLiteral("Label %1").arg(index), kMissing), expected);
    }
    activate(*main);
    QCOMPARE(main->fieldLabel(16)->text(), QStringLiteral("Province:"));
    QCOMPARE(main->fieldLabel(27)->text(), QStringLiteral("Notes:"));
}

void LabelsTest::typedCaptionShowsOnActivationAndAfterRestart()
{
    editLabels([](Form5 *editor) {
        QLineEdit *mobile = editor->box(8);
        mobile->selectAll();
        QTest::keyClicks(mobile, QStringLiteral("Ce"));
        // Each keystroke is stored on its own.
        QCOMPARE(GetSetting(QStringLiteral("Label 8")), QStringLiteral("Ce"));
        QTest::keyClicks(mobile, QStringLiteral("ll number"));
        QTest::keyClicks(editor->box(27), QStringLiteral(" (private)"));
    });
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(GetSetting(QStringLiteral("Label 8")), QStringLiteral("Cell number"));
    QCOMPARE(GetSetting(QStringLiteral("Label 27")), QStringLiteral("Notes: (private)"));
    // The window shows the new captions as soon as the editor closes.
    QCOMPARE(main->fieldLabel(8)->text(), QStringLiteral("Cell number"));

    activate(*main);
    QCOMPARE(main->fieldLabel(8)->text(), QStringLiteral("Cell number"));
    QCOMPARE(main->fieldLabel(27)->text(), QStringLiteral("Notes: (private)"));

    restart();
    activate(*main);
    QCOMPARE(main->fieldLabel(8)->text(), QStringLiteral("Cell number"));
}

void LabelsTest::clearedCaptionKeepsItForTheRunOnly()
{
    editLabels([](Form5 *editor) {
        editor->box(8)->selectAll();
        QTest::keyClicks(editor->box(8), QStringLiteral("Cell:"));
    });
    activate(*main);
    QCOMPARE(main->fieldLabel(8)->text(), QStringLiteral("Cell:"));

    editLabels([](Form5 *editor) {
        QCOMPARE(editor->box(8)->text(), QStringLiteral("Cell:"));
        editor->box(8)->selectAll();
        QTest::keyClick(editor->box(8), Qt::Key_Backspace);
    });
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(GetSetting(QStringLiteral("Label 8"), kMissing), QString());
    activate(*main);
    QCOMPARE(main->fieldLabel(8)->text(), QStringLiteral("Cell:"));

    restart();
    activate(*main);
    QCOMPARE(main->fieldLabel(8)->text(), QStringLiteral("Mobile Phone:"));
}

void LabelsTest::doubleClickOnCaptionOpensEditor()
{
    QString opened;
    whileModal([&](QDialog *dialog) {
        opened = dialog->windowTitle();
        auto *editor = qobject_cast<Form5 *>(dialog);
        QVERIFY(editor);
        editor->box(16)->selectAll();
        QTest::keyClicks(editor->box(16), QStringLiteral("County:"));
    });
    QTest::mouseDClick(main->fieldLabel(16), Qt::LeftButton);
    QCOMPARE(opened, QStringLiteral("Edit Labels"));
    activate(*main);
    QCOMPARE(main->fieldLabel(16)->text(), QStringLiteral("County:"));
}

void LabelsTest::editorWorksFromTheCaptionsItIsGiven()
{
    QStringList captions;
    for (int index = 0; index < kLabelCount; ++index)
        captions << QStringLiteral("Caption %1:").arg(index);
    captions[3] = QStringLiteral("Kund's firma");
    captions[8] = QStringLiteral("  Móvil\t(privado) ");
    captions[16] = QStringLiteral("Область:");
    captions[21] = QString();
    // No main window behind it: the editor has only what it was given.
    Form5 editor(captions);
    for (int index = 0; index < kLabelCount; ++index) {
        QCOMPARE(editor.box(index)->text(), captions.at(index));
        QCOMPARE(GetSetting(labelSettingKey(index), kMissing), captions.at(index));
    }
    QCOMPARE(editor.captions(), captions);

    editor.box(8)->selectAll();
    QTest::keyClicks(editor.box(8), QStringLiteral("Handy"));
    captions[8] = QStringLiteral("Handy");
    QCOMPARE(editor.captions(), captions);
    QCOMPARE(GetSetting(QStringLiteral("Label 8")), QStringLiteral("Handy"));

    // Fewer captions than boxes leave the rest empty.
    Form5 shortList(QStringList{QStringLiteral("Vorname:")});
    QCOMPARE(shortList.box(0)->text(), QStringLiteral("Vorname:"));
    QCOMPARE(shortList.box(27)->text(), QString());
    QCOMPARE(GetSetting(QStringLiteral("Label 27"), kMissing), QString());
}

void LabelsTest::editorBoxesAreNamedAfterTheCaptionsTheyEdit()
{
    editLabels([](Form5 *editor) {
        QCOMPARE(editor->box(8)->accessibleName(), QStringLiteral("Mobile Phone"));
        QCOMPARE(editor->box(22)->accessibleName(), QStringLiteral("Contact's Interests"));
        // Rewriting the caption does not rename the box under the user's cursor.
        editor->box(8)->selectAll();
        QTest::keyClicks(editor->box(8), QStringLiteral("Cell:"));
        QCOMPARE(editor->box(8)->accessibleName(), QStringLiteral("Mobile Phone"));
    });
    QCOMPARE(main->fieldLabel(8)->text(), QStringLiteral("Cell:"));
}

QTEST_MAIN(LabelsTest)
void LabelsTest::mainWindowBoxesAreNamedAfterTheirCaptions()
{
    auto box = [this](const char *name) { return main->findChild<QWidget *>(QLatin1String(name)); };
    QCOMPARE(box("Text1_0")->accessibleName(), QStringLiteral("First Name"));
    QCOMPARE(box("Text1_1")->accessibleName(), QStringLiteral("Last Name"));
    QCOMPARE(box("dcbContactType")->accessibleName(), QStringLiteral("Contact Type"));
    QCOMPARE(box("Text1_25")->accessibleName(), QStringLiteral("Children Names"));
    QCOMPARE(box("FullName")->accessibleName(), QStringLiteral("Full Name"));
    QCOMPARE(box("ListView1")->accessibleName(), QStringLiteral("Contacts"));
    QCOMPARE(box("DataGrid1")->accessibleName(), QStringLiteral("Calls"));
    QCOMPARE(box("dc1")->accessibleName(), QStringLiteral("Calls"));
    QCOMPARE(main->fieldLabel(8)->buddy(), box("Text1_16"));

    // A renamed caption renames its box as soon as the editor closes.
    editLabels([](Form5 *editor) {
        QLineEdit *mobile = editor->box(8);
        mobile->selectAll();
        QTest::keyClicks(mobile, QStringLiteral("&Cell number:"));
    });
    QCOMPARE(box("Text1_16")->accessibleName(), QStringLiteral("Cell number"));
}

#include "tst_labels.moc"
