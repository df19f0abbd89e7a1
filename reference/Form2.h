#pragma once

#include "base/Result.h"

#include <QDialog>

#include <functional>
#include <memory>

class ContactTypesModel;
class QTableView;

namespace Ui {
class Form2;
}

// "Contact Types": the grid of contact types with "Add New Type", "Delete
// Current Type" and a navigation bar. It edits the types model it is given
// (the one the main window's type box shows); every change is stored at once.
// `storeCurrentContact` commits the main window's pending contact edit, as
// adding a type does.
class Form2 : public QDialog {
    Q_OBJECT

public:
    Form2(ContactTypesModel *types, std::function<Status()> storeCurrentContact, QWidget *parent = nullptr);
    ~Form2() override;

    QTableView *grid() const;
    ContactTypesModel *types() const { return m_types; }
    // Row of the grid's current type, -1 when there is none.
    int currentRow() const;
    void setCurrentRow(int row);

    // Closing the window keeps a name still being typed in the grid.
    void done(int result) override;
    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

public slots:
    void PushButton1_Click(); // Delete Current Type
    void PushButton2_Click(); // Add New Type

private:
    void Form_Load();
    void commitGridEdit();

    std::unique_ptr<Ui::Form2> ui;
    ContactTypesModel *m_types;
    std::function<Status()> m_storeCurrentContact;
};
