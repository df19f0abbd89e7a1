#pragma once

#include "frame/Accessibility.h"

#include <QDialog>

#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QTableView;
class QTimer;
class SearchResultsModel;
class SearchStore;

namespace Ui {
class Form4;
}

// "Search": finds contacts by the beginning of seventeen fields. It reads the
// given database file through a connection of its own and never writes.
// When the user selects a contact the window closes with Accepted and
// selectedContactKey() names the contact, for the opener to make it current.
class Form4 : public QDialog {
    Q_OBJECT

public:
    explicit Form4(QString databaseFile, QWidget *parent = nullptr);
    ~Form4() override;

    // The contact chosen by Select; none after Cancel.
    std::optional<qint64> selectedContactKey() const { return m_selected; }

    QLineEdit *searchBox() const;
    QTableView *resultList() const;
    QLabel *resultCount() const;
    SearchResultsModel *results() const { return m_results; }

public slots:
    void PushButton1_Click(); // Select
    void PushButton2_Click(); // Cancel
    void PushButton3_Click(); // Go

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void setUpResultList();
    void countOn();
    void stopReading();
    void showCount();

    std::unique_ptr<Ui::Form4> ui;
    QString m_databaseFile;
    std::unique_ptr<SearchStore> m_store;
    SearchResultsModel *m_results = nullptr;
    QTimer *m_counter = nullptr;
    CaptionNames m_captionNames;
    std::optional<qint64> m_selected;
};
