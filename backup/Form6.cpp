#include "Form6.h"

#include "ui_Form6.h"

#include "frame/ButtonKeys.h"

#include "AddFolder.h"
#include "BackupFile.h"

#include "frame/AppTitle.h"
#include "frame/ErrorReport.h"
#include "frame/MessageService.h"
#include "base/Paths.h"
#include "frame/Settings.h"
#include "frame/Theme.h"
#include "frame/Trap.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QScreen>

#include <algorithm>
#include <limits>

using namespace backup;

namespace {
const QString kUnit = QStringLiteral("Form6");
const QString kBackupProcedure = QStringLiteral("PushButton1_Click");
const QString kRestoreProcedure = QStringLiteral("PushButton2_Click");

// Rejected records are reported one by one up to this many; the rest are only counted.
constexpr qint64 kRejectionsShown = 10;

// The desktop folder; the home folder when there is no desktop folder (many
// Linux homes have none, and a backup into it would fail).
QString defaultFolder()
{
    const QString desktop = GetSpecialFolder(kSpecialFolderDesktop);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return desktop + QLatin1Char('/');
    QString home = QDir::homePath();
    if (!home.endsWith(QLatin1Char('/')))
        home += QLatin1Char('/');
    return home;
}

QString truthText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// The step of the backup whose part failed.
int backupStep(int part)
{
    switch (BackupPart(part)) {
    case BackupPart::OpenFile:
        return 104;
    case BackupPart::OpenDatabase:
        return 108;
    case BackupPart::ContactTypes:
        return 110;
    case BackupPart::Contacts:
        return 134;
    case BackupPart::Calls:
        return 192;
    }
    return 252;
}

// The step of the restore whose part failed.
int restoreStep(int part)
{
    switch (RestorePart(part)) {
    case RestorePart::OpenFile:
        return 116;
    case RestorePart::OpenDatabase:
        return 138;
    case RestorePart::DeleteContactTypes:
        return 142;
    case RestorePart::DeleteContacts:
        return 144;
    case RestorePart::DeleteCalls:
        return 146;
    case RestorePart::ContactTypes:
        return 188;
    case RestorePart::Contacts:
        return 230;
    case RestorePart::Calls:
        return 272;
    }
    return 276;
}

int recordStep(BackupTable table)
{
    switch (table) {
    case BackupTable::ContactTypes:
        return 188;
    case BackupTable::Contacts:
        return 230;
    case BackupTable::Calls:
        return 272;
    }
    return 276;
}

// A modal progress dialog that appears only when a run takes longer than
// about a second. It has no cancel button: a run goes on to its end.
class RunProgress {
public:
    RunProgress(QWidget *parent, const QString &label) : m_dialog(label, QString(), 0, 0, parent)
    {
        m_dialog.setWindowTitle(applicationTitle());
        m_dialog.setCancelButton(nullptr);
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setMinimumDuration(1000);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
    }
    ~RunProgress() { m_dialog.close(); }

    // Takes the dialog away while a box of the run is shown, so that the box
    // is never covered by an application-modal dialog it cannot get past. The
    // next progress report shows the dialog again.
    void pause()
    {
        m_dialog.reset();
        m_dialog.hide();
    }

    ProgressFunction function()
    {
        return [this](qint64 done, qint64 total) {
            const qint64 limit = std::numeric_limits<int>::max();
            const int maximum = int(std::clamp<qint64>(total, 0, limit));
            if (m_dialog.maximum() != maximum)
                m_dialog.setMaximum(maximum);
            m_dialog.setValue(int(std::clamp<qint64>(done, 0, maximum)));
        };
    }

private:
    QProgressDialog m_dialog;
};

// Marks the window busy for the time of a run.
class RunningFlag {
public:
    explicit RunningFlag(bool &flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }

private:
    bool &m_flag;
};
} // namespace

Form6::Form6(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::Form6>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());

    connect(ui->Text1, &QLineEdit::textChanged, this, &Form6::Text1_Change);
    connect(ui->Option1, &QRadioButton::clicked, this, &Form6::Option_Click);
    connect(ui->Option2, &QRadioButton::clicked, this, &Form6::Option_Click);
    connect(ui->PushButton1, &QPushButton::clicked, this, &Form6::PushButton1_Click);
    connect(ui->PushButton2, &QPushButton::clicked, this, &Form6::PushButton2_Click);
    connect(ui->PushButton3, &QPushButton::clicked, this, &Form6::PushButton3_Click);
    connect(ui->PushButton4, &QPushButton::clicked, this, &Form6::PushButton4_Click);
    ui->Text1->installEventFilter(this);

    pressFocusedButtonsOnReturn(this);
    Form_Load();
    updateUndoButton();
    // The first control of the tab order has the focus when the window opens.
    ui->Option1->setFocus(Qt::OtherFocusReason);
}

Form6::~Form6() = default;

void Form6::Form_Load()
{
    Trap trap(this, kUnit, QStringLiteral("Form_Load"));
    trap.step(100, [this] { ApplyFormColorWhite(this); });
    trap.step(102, [this] {
        setWindowIcon(QApplication::windowIcon());
        if (const QScreen *screen = QApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    });
    if (trap.test(104, [] { return FileExists(handCursorPath()); }))
        trap.step(106, [this] { applyHandCursor(this); });
    trap.step(108, [this] {
        QString folder = GetSetting(QLatin1String(kSettingPath), defaultFolder());
        ui->Text1->setText(folder);
    });
    trap.step(110, [this] {
        if (settingAsBool(GetSetting(QLatin1String(kSettingOption1), QStringLiteral("1"))))
            ui->Option1->setChecked(true);
    });
    trap.step(112, [this] {
        if (settingAsBool(GetSetting(QLatin1String(kSettingOption2), QStringLiteral("0"))))
            ui->Option2->setChecked(true);
    });
}

void Form6::Option_Click()
{
    SaveSetting(QLatin1String(kSettingOption1), truthText(ui->Option1->isChecked()));
    SaveSetting(QLatin1String(kSettingOption2), truthText(ui->Option2->isChecked()));
}

void Form6::Text1_Change(const QString &text)
{
    SaveSetting(QLatin1String(kSettingPath), text);
}

bool Form6::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->Text1 && event->type() == QEvent::FocusIn)
        ui->Text1->selectAll();
    return QDialog::eventFilter(watched, event);
}

QString Form6::backupFilePath() const
{
    return backup::backupFilePath(ui->Text1->text());
}

void Form6::PushButton1_Click()
{
    if (m_running)
        return;
    Trap trap(this, kUnit, kBackupProcedure);
    // The whole run is one step: a failure leaves the file as it was.
    const bool written = trap.step(backupStep, [&] {
        RunningFlag running(m_running);
        RunProgress progress(this, QStringLiteral("Writing the backup file..."));
        return writeBackup(ui->Text1->text(), progress.function());
    });
    if (!written)
        return;
    trap.step(258, [this] { MessageService::instance().information(this, QStringLiteral("Done.")); });
}

void Form6::PushButton2_Click()
{
    if (m_running)
        return;
    Trap trap(this, kUnit, kRestoreProcedure);
    RestoreMode mode;
    if (ui->Option1->isChecked()) {
        const bool yes = trap.confirm(102, [this] {
            return MessageService::instance().question(
                       this, QStringLiteral("Question"),
                       QStringLiteral("Are you sure you wish to delete all your data and proceed?"))
                == MessageService::Answer::Yes;
        });
        if (!yes)
            return;
        mode = RestoreMode::DeleteFirst;
    } else if (ui->Option2->isChecked()) {
        mode = RestoreMode::Append;
    } else {
        return;
    }

    qint64 rejected = 0;
    RunProgress *shownProgress = nullptr;
    RestoreCallbacks callbacks;
    callbacks.rejected = [&](const RejectedRecord &record) {
        if (++rejected > kRejectionsShown)
            return;
        if (shownProgress)
            shownProgress->pause();
        QString line = record.line;
        if (line.size() > 80)
            line = line.left(77) + QStringLiteral("...");
        reportApplicationError(this, kUnit, kRestoreProcedure, recordStep(record.table),
                               QStringLiteral("Line %1 of the file was not restored: %2\n%3")
                                   .arg(record.lineNumber)
                                   .arg(record.reason, line));
    };
    // The existing data is replaced despite rejected records only when the
    // user says so; No (the default) rolls the whole restore back.
    callbacks.acceptRejects = [&](qint64 count) {
        if (shownProgress)
            shownProgress->pause();
        const QString text = QStringLiteral("%1 %2 could not be restored.\n"
                                            "Replace the existing data with the rest anyway?")
                                 .arg(count)
                                 .arg(count == 1 ? QStringLiteral("record") : QStringLiteral("records"));
        return MessageService::instance().question(this, QStringLiteral("Question"), text)
            == MessageService::Answer::Yes;
    };
    // The whole run is one step: a failure leaves the database as it was.
    RestoreSummary result;
    const bool ran = trap.step(restoreStep, [&]() -> Status {
        RunningFlag running(m_running);
        RunProgress progress(this, QStringLiteral("Restoring the database..."));
        shownProgress = &progress;
        callbacks.progress = progress.function();
        RestoreResult restored = restoreBackup(ui->Text1->text(), mode, callbacks);
        shownProgress = nullptr;
        if (!restored)
            return restored.error();
        result = std::move(restored).value();
        return {};
    });
    if (!ran)
        return;
    switch (result.status) {
    case RestoreStatus::Done:
        updateUndoButton();
        trap.step(278, [&] { MessageService::instance().information(this, result.message()); });
        return;
    case RestoreStatus::NoData:
    case RestoreStatus::NotBackup:
    case RestoreStatus::Incomplete:
    case RestoreStatus::Declined:
        trap.step(280, [&] { MessageService::instance().information(this, result.message()); });
        return;
    case RestoreStatus::NoFile:
        trap.step(282, [&] { MessageService::instance().information(this, result.message()); });
        return;
    }
}

void Form6::updateUndoButton()
{
    const Result<UndoCopy> copy = lastRestoreCopy();
    ui->PushButton3->setEnabled(bool(copy));
}

void Form6::PushButton3_Click()
{
    if (m_running)
        return;
    Trap trap(this, kUnit, QStringLiteral("PushButton3_Click"));
    UndoCopy copy;
    if (!trap.step(100, [&]() -> Status {
            Result<UndoCopy> found = lastRestoreCopy();
            if (!found)
                return found.error();
            copy = *found;
            return {};
        })) {
        updateUndoButton();
        return;
    }
    const bool yes = trap.confirm(102, [&] {
        return MessageService::instance().question(this, QStringLiteral("Question"), undoQuestion(copy))
            == MessageService::Answer::Yes;
    });
    if (!yes)
        return;
    const bool undone = trap.step(104, [&] {
        RunningFlag running(m_running);
        return undoLastRestore();
    });
    if (undone)
        trap.step(106, [this] {
            MessageService::instance().information(
                this, QStringLiteral("Done.\nThe database is as it was before the last restore."));
        });
}

void Form6::PushButton4_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton4_Click"));
    QString folder;
    trap.step(100, [&] {
        const QString start = GetSetting(QLatin1String(kSettingLastFolderDot));
        folder = BrowseFolder(this, QStringLiteral("Please select folder:"), start);
    });
    if (trap.test(102, [&] { return folder.isEmpty(); }))
        return;
    trap.step(104, [&] { ui->Text1->setText(folder); });
}

void Form6::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void Form6::reject()
{
    if (m_running)
        return;
    QDialog::reject();
}
