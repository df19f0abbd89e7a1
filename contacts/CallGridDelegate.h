#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;
class QLineEdit;

// Edits the call grid's cells as text, as in a spreadsheet: typing replaces
// the cell's text, F2 edits the text the cell shows. The date and time cells
// are read as the user's locale writes them (see frame/TypedDates.h) and
// stored as ISO text. A cell whose text was not changed writes nothing. A
// value that is no date or time is refused: nothing is stored, a short
// message names an example, and the cell's editor opens again with the text
// as typed.
class CallGridDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit CallGridDelegate(QAbstractItemView *grid);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    void refuse(const QPersistentModelIndex &index, const QString &typed, const QString &shown);

    QAbstractItemView *m_grid;
    bool m_telling = false;
};
