#include "support/TestSupport.h"

#include "contacts/Form1.h"
#include "frame/NavigationBar.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QtTest>

namespace {
// A dark desktop colour scheme: light text on dark backgrounds.
QPalette darkPalette()
{
    QPalette palette;
    const QColor light(0xe6, 0xe6, 0xe6);
    const QColor grey(0xc8, 0xc8, 0xc8);
    palette.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    palette.setColor(QPalette::WindowText, light);
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x33));
    palette.setColor(QPalette::Text, light);
    palette.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    palette.setColor(QPalette::ButtonText, light);
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x6e, 0xb4));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Light, QColor(0x50, 0x50, 0x50));
    palette.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x40));
    palette.setColor(QPalette::Mid, QColor(0x25, 0x25, 0x25));
    palette.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x18));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, grey);
    return palette;
}

double luminance(const QColor &colour)
{
    auto channel = [](double value) {
        value /= 255.0;
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.red()) + 0.7152 * channel(colour.green()) + 0.0722 * channel(colour.blue());
}

// The WCAG contrast ratio, 1 to 21.
double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The background the control's text is drawn on: its own when it fills it,
// otherwise the nearest filled parent's.
QColor backgroundBehind(const QWidget *widget)
{
    if (qobject_cast<const QAbstractButton *>(widget))
        return widget->palette().color(QPalette::Button);
    const QWidget *filled = widget;
    while (filled->parentWidget() && !filled->autoFillBackground() && !filled->isWindow())
        filled = filled->parentWidget();
    return filled->palette().color(filled->backgroundRole());
}

// The colour the style draws the caption in: check boxes and option buttons
// draw theirs in the window text colour, command buttons in the button text.
QColor textColour(const QWidget *widget)
{
    const QPalette::ColorGroup group = widget->isEnabled() ? QPalette::Active : QPalette::Disabled;
    if (qobject_cast<const QCheckBox *>(widget) || qobject_cast<const QRadioButton *>(widget))
        return widget->palette().color(group, QPalette::WindowText);
    return widget->palette().color(group, widget->foregroundRole());
}

// From the painted pixels: the most frequent colour inside the frame is the
// background; the pixel that differs most from it belongs to the text.
double paintedContrast(QWidget *widget, int inset, QRect area = QRect())
{
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (area.isNull())
        area = QRect(QPoint(0, 0), image.size() / image.devicePixelRatio());
    const QRect inner = area.adjusted(inset, inset, -inset, -inset);
    const qreal ratio = image.devicePixelRatio();
    QHash<QRgb, int> counts;
    for (int y = int(inner.top() * ratio); y < int(inner.bottom() * ratio); ++y)
        for (int x = int(inner.left() * ratio); x < int(inner.right() * ratio); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    double best = 1.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrast(QColor(background), QColor(it.key())));
    return best;
}

// The caption of a check box or option button, without its box or circle.
double paintedCaptionContrast(QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const bool radio = qobject_cast<QRadioButton *>(button);
    const QRect contents = button->style()->subElementRect(
        radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, button);
    return paintedContrast(button, 0, contents);
}

QString describe(const QWidget *widget, double ratio)
{
    return QStringLiteral("%1 \"%2\" (%3): %4:1")
        .arg(widget->objectName(), widget->property("text").toString().isEmpty()
                                       ? widget->property("title").toString()
                                       : widget->property("text").toString(),
             QString::fromLatin1(widget->metaObject()->className()))
        .arg(ratio, 0, 'f', 2);
}

// Every caption-like control of a window reads at least 4.5:1 by palette, and
// every command button, check box and option button also by its painted pixels.
int checkCaptions(QWidget *window)
{
    int checked = 0;
    const auto widgets = window->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (!widget->isVisibleTo(window))
            continue;
        const bool caption = qobject_cast<QLabel *>(widget) || qobject_cast<QGroupBox *>(widget)
                          || qobject_cast<QCheckBox *>(widget) || qobject_cast<QRadioButton *>(widget)
                          || qobject_cast<QPushButton *>(widget);
        if (!caption)
            continue;
        const double ratio = contrast(textColour(widget), backgroundBehind(widget));
        if (ratio < 4.5) {
            qWarning("%s: %s", qPrintable(window->objectName()), qPrintable(describe(widget, ratio)));
            return -1;
        }
        ++checked;
        if (auto *button = qobject_cast<QPushButton *>(widget); button && !button->text().trimmed().isEmpty()) {
            const double painted = paintedContrast(button, 4);
            if (painted < 4.5)
                qWarning("painted %s", qPrintable(describe(button, painted)));
            if (painted < 4.5)
                return -1;
        }
        if (qobject_cast<QCheckBox *>(widget) || qobject_cast<QRadioButton *>(widget)) {
            const double painted = paintedCaptionContrast(static_cast<QAbstractButton *>(widget));
            if (painted < 4.5)
                qWarning("painted %s", qPrintable(describe(widget, painted)));
            if (painted < 4.5)
                return -1;
        }
    }
    return checked;
}
} // namespace

class DarkPaletteTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void bannerAndContactsBarAreReadable();
    void dialogCaptionsAreReadable_data();
    void dialogCaptionsAreReadable();
    void whiteStaysWhiteAndTextBoxesKeepTheScheme();
    void skinnedMainWindowCaptionsAreReadable();

private:
    IsolatedEnvironment env;
};

void DarkPaletteTest::initTestCase()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(darkPalette());
}

void DarkPaletteTest::init()
{
    env.reset();
    QSqlDatabase db = TestData::openLive();
    const qint64 type = TestData::addType(db, QStringLiteral("Client"));
    TestData::addContact(db, {{"FirstName", "Zoë"}, {"LastName", "O'Brien-Łukasz"}, {"ContactTypeID", type}});
    TestData::close(db);
}

void DarkPaletteTest::bannerAndContactsBarAreReadable()
{
    Form1 main;
    QVERIFY(showActive(&main));
    auto *banner = child<QLabel>(&main, QStringLiteral("FullName1"));
    QVERIFY2(banner->text().contains(QStringLiteral("Zoë")), qPrintable(banner->text()));
    QCOMPARE(backgroundBehind(banner), QColor(Qt::white));
    QVERIFY2(contrast(textColour(banner), QColor(Qt::white)) >= 4.5, qPrintable(textColour(banner).name()));
    QVERIFY2(paintedContrast(banner, 0) >= 4.5, "banner pixels");

    auto *bar = child<NavigationBar>(&main, QStringLiteral("dc"));
    QCOMPARE(bar->caption(), QStringLiteral("Contacts"));
    QLabel *caption = bar->findChild<QLabel *>();
    QVERIFY(caption);
    QCOMPARE(backgroundBehind(caption), QColor(Qt::white));
    QVERIFY2(contrast(textColour(caption), QColor(Qt::white)) >= 4.5, qPrintable(textColour(caption).name()));
    QVERIFY2(paintedContrast(caption, 3) >= 4.5, "caption pixels");

    // Everything else on the main window keeps the scheme's own pairs.
    QVERIFY(checkCaptions(&main) > 30);
}

void DarkPaletteTest::dialogCaptionsAreReadable_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("captions");
    QTest::newRow("contact types") << "PushButton5" << 2;
    QTest::newRow("reports") << "PushButton6" << 4;
    QTest::newRow("search") << "PushButton8" << 4;
    QTest::newRow("labels") << "PushButton9" << 0;
    QTest::newRow("backup") << "PushButton10" << 7;
}

void DarkPaletteTest::dialogCaptionsAreReadable()
{
    QFETCH(QString, button);
    QFETCH(int, captions);
    Form1 main;
    QVERIFY(showActive(&main));
    bool opened = false;
    whileModal([&](QDialog *dialog) {
        opened = true;
        QCOMPARE(dialog->palette().color(QPalette::Window), QColor(Qt::white));
        const int checked = checkCaptions(dialog);
        QVERIFY2(checked >= captions, qPrintable(QString::number(checked)));
    });
    QTest::mouseClick(child<QPushButton>(&main, button), Qt::LeftButton);
    QVERIFY(opened);
}

void DarkPaletteTest::whiteStaysWhiteAndTextBoxesKeepTheScheme()
{
    Form1 main;
    QVERIFY(showActive(&main));
    whileModal([&](QDialog *dialog) {
        auto *select = child<QPushButton>(dialog, QStringLiteral("PushButton1"));
        QCOMPARE(select->palette().color(QPalette::Button), QColor(Qt::white));
        // A disabled command button is greyed but still legible.
        select->setEnabled(false);
        QVERIFY(contrast(textColour(select), QColor(Qt::white)) >= 4.5);
        QVERIFY(paintedContrast(select, 4) >= 4.5);
        // The text box draws in the scheme's own colours, light on dark.
        auto *box = child<QWidget>(dialog, QStringLiteral("Text1"));
        QCOMPARE(box->palette().color(QPalette::Base), darkPalette().color(QPalette::Base));
        QVERIFY(contrast(box->palette().color(QPalette::Text), box->palette().color(QPalette::Base)) >= 4.5);
    });
    QTest::mouseClick(child<QPushButton>(&main, QStringLiteral("PushButton8")), Qt::LeftButton);
}

void DarkPaletteTest::skinnedMainWindowCaptionsAreReadable()
{
    // With the skin file beside the program the main window turns white too.
    QVERIFY(QDir().mkpath(env.programDir() + QStringLiteral("/x")));
    QFile skin(env.programDir() + QStringLiteral("/x/o1.cjs"));
    QVERIFY(skin.open(QIODevice::WriteOnly));
    skin.write("/* skin */\n");
    skin.close();
    Form1 main;
    QVERIFY(showActive(&main));
    QCOMPARE(main.palette().color(QPalette::Window), QColor(Qt::white));
    auto *caption = child<QLabel>(&main, QStringLiteral("Label1_0"));
    QCOMPARE(backgroundBehind(caption), QColor(Qt::white));
    QVERIFY(checkCaptions(&main) > 30);
    // The tab titles are drawn on the white window in its text colour.
    auto *tabs = child<QWidget>(&main, QStringLiteral("SSTab1"));
    QVERIFY(contrast(tabs->palette().color(QPalette::WindowText), tabs->palette().color(QPalette::Window)) >= 4.5);
}

QTEST_MAIN(DarkPaletteTest)
#include "tst_dark_palette.moc"
