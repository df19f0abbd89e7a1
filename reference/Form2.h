#pragma once

#include <QDialog>
#include <QSqlDatabase>

#include <memory>

class ContactTypesModel;
class QTableView;

namespace Ui {
class Form2;
}

// "Contact Types": the grid of contact types with "Add New Type", "Delete
// Current Type" and a navigation bar. It works on its own connection to the
// live database; every change is stored at once.
class Form2 : public QDialog {
    Q_OBJECT

public:
    explicit Form2(QWidget *parent = nullptr);
    ~Form2() override;

    QTableView *grid() const;
    ContactTypesModel *types() const { return m_types; }
    // Row of the grid's current type, -1 when there is none.
    int currentRow() const;
    void setCurrentRow(int row);

    // Closing the window keeps a name still being typed in the grid.
    void done(int result) override;

public slots:
    void PushButton1_Click(); // Delete Current Type
    void PushButton2_Click(); // Add New Type

private:
    void Form_Load();
    void storeMainWindowEdit();

    std::unique_ptr<Ui::Form2> ui;
    QSqlDatabase m_db;
    ContactTypesModel *m_types = nullptr;
};
