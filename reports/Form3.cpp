#include "Form3.h"
#include "ui_Form3.h"

#include "frame/ButtonKeys.h"

#include "Printers.h"

#include "base/Paths.h"
#include "frame/Theme.h"
#include "frame/Trap.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>

namespace {
const QString kUnit = QStringLiteral("Form3");
}

Form3::Form3(QWidget *parent) : QDialog(parent), ui(new Ui::Form3)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    for (QPushButton *button : {ui->PushButton1, ui->PushButton2, ui->PushButton3, ui->PushButton4}) {
        QFont font = button->font();
        font.setPointSizeF(11.25);
        button->setFont(font);
        button->setAutoDefault(false);
    }
    pressFocusedButtonsOnReturn(this);
    if (const QScreen *screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(ui->PushButton1, &QPushButton::clicked, this, &Form3::PushButton1_Click);
    connect(ui->PushButton2, &QPushButton::clicked, this, &Form3::PushButton2_Click);
    connect(ui->PushButton3, &QPushButton::clicked, this, &Form3::PushButton3_Click);
    connect(ui->PushButton4, &QPushButton::clicked, this, &Form3::PushButton4_Click);
    Form_Load();
}

Form3::~Form3()
{
    delete ui;
}

void Form3::Form_Load()
{
    Trap trap(this, kUnit, QStringLiteral("Form_Load"));
    trap.step(100, [this] { ApplyFormColorWhite(this); });
    trap.step(102, [this] { setWindowIcon(QApplication::windowIcon()); });
    if (trap.test(104, [] { return FileExists(handCursorPath()); }))
        trap.step(106, [this] { applyHandCursor(this); });
}

void Form3::showReportFromButton(const QString &procedure, int reportNumber)
{
    Trap trap(this, kUnit, procedure);
    trap.step(100, [this, reportNumber] { return Printers::ShowReport(this, reportNumber); });
}

void Form3::PushButton1_Click()
{
    showReportFromButton(QStringLiteral("PushButton1_Click"), 1);
}

void Form3::PushButton2_Click()
{
    showReportFromButton(QStringLiteral("PushButton2_Click"), 2);
}

void Form3::PushButton3_Click()
{
    showReportFromButton(QStringLiteral("PushButton3_Click"), 3);
}

void Form3::PushButton4_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton4_Click"));
    trap.step(100, [this] { reject(); });
}
