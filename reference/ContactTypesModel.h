#pragma once

#include <QAbstractTableModel>
#include <QSqlDatabase>
#include <QVector>

class QWidget;

// The rows of "Contact Types" as the types window shows them: read once in
// alphabetical order, new types appended at the end where they were added.
// Every change is written to the database at once: a new type and a deletion
// by their command, a changed name when the cell's edit is committed.
class ContactTypesModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ContactTypeID = 0, ContactType = 1 };

    // Failures of cell edits are reported in the name of the given window.
    explicit ContactTypesModel(QWidget *window, QObject *parent = nullptr);

    // All of these throw Failure with the database's message.
    void load(const QSqlDatabase &db);
    int addType(const QString &name); // returns the new row
    void removeType(int row);

    qint64 typeIdAt(int row) const;
    QString nameAt(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // A name without any text was typed; the stored name stays.
    void emptyNameRefused(int row);

private:
    struct Row {
        qint64 id;
        QString name;
        bool nameIsNull;
    };

    QWidget *m_window;
    QSqlDatabase m_db;
    QVector<Row> m_rows;
};
