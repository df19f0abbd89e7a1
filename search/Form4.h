#pragma once

#include <QDialog>
#include <QSqlDatabase>

#include <memory>

class QLineEdit;
class QTableView;
class SearchResultsModel;

namespace Ui {
class Form4;
}

// "Search": finds contacts by the beginning of seventeen fields and makes the
// chosen one the main window's current contact. It reads the contacts through
// a connection of its own and never writes.
class Form4 : public QDialog {
    Q_OBJECT

public:
    explicit Form4(QWidget *parent = nullptr);
    ~Form4() override;

    QLineEdit *searchBox() const;
    QTableView *resultList() const;
    SearchResultsModel *results() const { return m_results; }

public slots:
    void PushButton1_Click(); // Select
    void PushButton2_Click(); // Cancel
    void PushButton3_Click(); // Go

private:
    void Form_Load();
    bool contactExists(qint64 contactId);

    std::unique_ptr<Ui::Form4> ui;
    QSqlDatabase m_db;
    SearchResultsModel *m_results = nullptr;
};
