#pragma once

#include <QDialog>
#include <QList>
#include <QStringList>

#include "CsvFormat.h"

#include <memory>
#include <optional>

class QComboBox;

namespace Ui {
class CsvMappingDialog;
}

namespace exchange {

// Shows the first rows of a CSV file and lets the user choose, for each
// column, the field it goes into, a Notes line or nothing. Columns start as
// they were mapped last time (by their heading), otherwise as their heading
// says; OK remembers the choice.
class CsvMappingDialog : public QDialog {
    Q_OBJECT

public:
    // `decidedDates`: the order the birth dates settle, if they do.
    CsvMappingDialog(const QString &fileName, const QStringList &headers, const QList<QStringList> &firstRows,
                     std::optional<DateOrder> decidedDates = std::nullopt, QWidget *parent = nullptr);
    ~CsvMappingDialog() override;

    // Field (or IgnoreColumn, NoteLineColumn) of every column.
    QList<int> mapping() const;
    // The box of column N ("fieldColumn_N").
    QComboBox *fieldBox(int column) const;
    // The order of day and month chosen for the birth dates.
    DateOrder dateOrder() const;

    // The mapping the dialog starts with.
    static QList<int> initialMapping(const QStringList &headers);

    void accept() override;

private:
    // Says when no column names the contacts.
    void adviseOnMapping();

    std::unique_ptr<Ui::CsvMappingDialog> ui;
    QStringList m_headers;
    QList<QComboBox *> m_boxes;
};

} // namespace exchange
