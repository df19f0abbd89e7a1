#include "CsvMappingDialog.h"
#include "ui_CsvMappingDialog.h"

#include "CsvFormat.h"

#include "frame/Settings.h"
#include "frame/Theme.h"

#include <QComboBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QJsonDocument>
#include <QJsonObject>

namespace exchange {

namespace {
// The last mapping: column heading to field name, "(ignore)" or "(note)".
constexpr const char *kSettingCsvMapping = "CsvMapping";
const QString kIgnore = QStringLiteral("(ignore)");
const QString kNote = QStringLiteral("(note)");

QString fieldKey(int field)
{
    if (field == IgnoreColumn)
        return kIgnore;
    if (field == NoteLineColumn)
        return kNote;
    if (field < 0)
        return specialColumnKey(field);
    return field == ContactTypeID ? QStringLiteral("ContactType") : fieldNames().value(field);
}

int fieldOfKey(const QString &key)
{
    if (key == kIgnore)
        return IgnoreColumn;
    if (key == kNote)
        return NoteLineColumn;
    if (key == QLatin1String("ContactType"))
        return ContactTypeID;
    for (const int special : specialColumns())
        if (key == specialColumnKey(special))
            return special;
    const int field = int(fieldNames().indexOf(key));
    return field > ContactID ? field : NoteLineColumn;
}

QJsonObject remembered()
{
    return QJsonDocument::fromJson(GetSetting(QString::fromLatin1(kSettingCsvMapping)).toUtf8()).object();
}

QString shown(const QString &value)
{
    QString line = value;
    line.replace(QLatin1String("\r\n"), QStringLiteral(" ⏎ ")).replace(QLatin1Char('\n'), QStringLiteral(" ⏎ "));
    line.replace(QLatin1Char('\r'), QStringLiteral(" ⏎ ")).replace(QLatin1Char('\t'), QLatin1Char(' '));
    return line.size() > 80 ? line.left(79) + QChar(0x2026) : line;
}
} // namespace

QList<int> CsvMappingDialog::initialMapping(const QStringList &headers)
{
    QList<int> mapping = automaticMapping(headers);
    const QJsonObject last = remembered();
    for (qsizetype column = 0; column < headers.size(); ++column) {
        const QJsonValue known = last.value(headers[column]);
        if (known.isString())
            mapping[column] = fieldOfKey(known.toString());
    }
    return mapping;
}

CsvMappingDialog::CsvMappingDialog(const QString &fileName, const QStringList &headers,
                                   const QList<QStringList> &firstRows, std::optional<DateOrder> decidedDates,
                                   QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::CsvMappingDialog>()), m_headers(headers)
{
    ui->setupUi(this);
    ApplyFormColorWhite(this);
    ui->labelFile->setText(tr("The first rows of %1:").arg(fileName));

    ui->tablePreview->setColumnCount(int(headers.size()));
    ui->tablePreview->setHorizontalHeaderLabels(headers);
    ui->tablePreview->setRowCount(int(firstRows.size()));
    for (int row = 0; row < firstRows.size(); ++row)
        for (int column = 0; column < headers.size(); ++column)
            ui->tablePreview->setItem(row, column, new QTableWidgetItem(shown(firstRows[row].value(column))));
    ui->tablePreview->resizeColumnsToContents();
    // The preview is as high as its rows; the column list gets the rest.
    int previewHeight = ui->tablePreview->horizontalHeader()->sizeHint().height()
                        + ui->tablePreview->horizontalScrollBar()->sizeHint().height() + 2 * ui->tablePreview->frameWidth();
    for (int row = 0; row < ui->tablePreview->rowCount(); ++row)
        previewHeight += ui->tablePreview->rowHeight(row);
    ui->tablePreview->setMaximumHeight(previewHeight);

    const QList<int> start = initialMapping(headers);
    ui->tableColumns->setRowCount(int(headers.size()));
    ui->tableColumns->verticalHeader()->hide();
    ui->tableColumns->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    for (int column = 0; column < headers.size(); ++column) {
        ui->tableColumns->setItem(column, 0, new QTableWidgetItem(headers[column]));
        QString sample;
        for (const QStringList &row : firstRows) {
            if (!row.value(column).isEmpty()) {
                sample = shown(row.value(column));
                break;
            }
        }
        ui->tableColumns->setItem(column, 1, new QTableWidgetItem(sample));
        auto *box = new QComboBox(ui->tableColumns);
        box->setObjectName(QStringLiteral("fieldColumn_%1").arg(column));
        box->addItem(tr("(ignore)"), int(IgnoreColumn));
        box->addItem(tr("(Notes line)"), int(NoteLineColumn));
        // The captions the main window shows, not the column names.
        for (int field = FirstName; field < FieldCount; ++field)
            box->addItem(fieldCaption(field), field);
        for (const int special : specialColumns())
            box->addItem(specialColumnCaption(special), special);
        box->setCurrentIndex(box->findData(start.value(column, NoteLineColumn)));
        ui->tableColumns->setCellWidget(column, 2, box);
        m_boxes << box;
    }
    for (QComboBox *box : std::as_const(m_boxes))
        connect(box, &QComboBox::currentIndexChanged, this, &CsvMappingDialog::adviseOnMapping);

    ui->comboDateOrder->addItem(tr("day/month/year"), int(DateOrder::DayFirst));
    ui->comboDateOrder->addItem(tr("month/day/year"), int(DateOrder::MonthFirst));
    ui->comboDateOrder->setCurrentIndex(ui->comboDateOrder->findData(int(decidedDates.value_or(localeDateOrder()))));
    ui->comboDateOrder->setToolTip(decidedDates ? tr("The dates of the file settle this order.")
                                                : tr("The dates of the file read either way; your locale decides unless you choose."));
    adviseOnMapping();
    ui->tableColumns->resizeColumnToContents(0);
    ui->tableColumns->resizeColumnToContents(2);
    applyHandCursor(this);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &CsvMappingDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &CsvMappingDialog::reject);
}

CsvMappingDialog::~CsvMappingDialog() = default;

QList<int> CsvMappingDialog::mapping() const
{
    QList<int> fields;
    for (const QComboBox *box : m_boxes)
        fields << box->currentData().toInt();
    return fields;
}

DateOrder CsvMappingDialog::dateOrder() const
{
    return DateOrder(ui->comboDateOrder->currentData().toInt());
}

void CsvMappingDialog::adviseOnMapping()
{
    ui->labelAdvice->setText(mappingNamesContacts(mapping())
                                 ? QString()
                                 : tr("No column goes into a name, the e-mail address or the company: "
                                      "the contacts could not be told apart. Choose the fields of the columns above."));
}

QComboBox *CsvMappingDialog::fieldBox(int column) const
{
    return m_boxes.value(column);
}

void CsvMappingDialog::accept()
{
    QJsonObject last = remembered();
    const QList<int> fields = mapping();
    for (qsizetype column = 0; column < m_headers.size(); ++column)
        if (!m_headers[column].isEmpty())
            last.insert(m_headers[column], fieldKey(fields[column]));
    SaveSetting(QString::fromLatin1(kSettingCsvMapping), QString::fromUtf8(QJsonDocument(last).toJson(QJsonDocument::Compact)));
    QDialog::accept();
}

} // namespace exchange
