#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class Form6;
}

// "Backup/Restore Database": writes the whole database to BackupDB.txt in the
// chosen folder and rebuilds it from such a file, either after deleting every
// type, contact and call or next to them. Remembers the folder ("Path") and
// the restore mode ("Option1", "Option2").
class Form6 : public QDialog {
    Q_OBJECT

public:
    explicit Form6(QWidget *parent = nullptr);
    ~Form6() override;

    // The backup file of the folder shown in the folder box.
    QString backupFilePath() const;

public slots:
    void PushButton1_Click(); // Backup Database To Text File
    void PushButton2_Click(); // Restore Database From Text File
    void PushButton3_Click(); // Undo Last Restore
    void PushButton4_Click(); // "..." folder picker

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void Option_Click();
    void Text1_Change(const QString &text);
    // The undo button is there to press only while a copy is kept.
    void updateUndoButton();

    std::unique_ptr<Ui::Form6> ui;
    bool m_running = false; // a backup or restore is under way
};
