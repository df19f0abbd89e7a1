#pragma once

#include "ReportDefinition.h"

#include "base/Result.h"

#include <QString>
#include <QVariant>

#include <vector>

class ReportStore;

namespace report {

// Turns a stored value into the text a control prints. Null prints as nothing.
QString formatValue(const QVariant &value, Format format);

// The printed texts of a report's detail rows, kept in a temporary file so
// that a report of any size needs little memory: rows are written once, in
// the order they are read, and read back one at a time.
class DetailTexts {
public:
    DetailTexts() = default;
    ~DetailTexts();
    DetailTexts(DetailTexts &&other) noexcept;
    DetailTexts &operator=(DetailTexts &&other) noexcept;
    DetailTexts(const DetailTexts &) = delete;
    DetailTexts &operator=(const DetailTexts &) = delete;

    // Starts an empty store of rows of that many texts. False (with the
    // reason) when no temporary file can be made.
    bool open(int columns, QString *why);
    void append(const QString *texts);
    bool finish(QString *why);

    int columns() const { return m_columns; }
    qsizetype rowCount() const { return qsizetype(m_offsets.empty() ? 0 : m_offsets.size() - 1); }
    // Where a reader keeps the row it read last: one per thread that reads.
    struct Buffer {
        std::vector<QString> texts;
        QByteArray raw;
        qsizetype cached = -1;
    };
    // The texts of a row; valid until the next call with the same buffer.
    // Empty texts when the file cannot be read.
    const QString *row(qsizetype index, Buffer &buffer) const;
    const QString *row(qsizetype index) const { return row(index, m_buffer); }

private:
    bool flush();

    int m_columns = 0;
    int m_fd = -1;
    QByteArray m_pending;
    std::vector<qint64> m_offsets; // the start of every row, then the end of the last
    mutable Buffer m_buffer;
};

// The rows of one report, already turned into the texts its controls print:
// one group per distinct relation value of the parent rows, in the order of
// the definition's group keys (empty values last), and under it the child
// rows whose relation value is equal, in the order of the detail keys. Groups
// without child rows are left out; child rows that no parent names follow in
// a last group with an empty heading.
struct GroupedRows {
    struct Group {
        int firstHeaderText = 0; // into headerTexts
        int begin = 0;           // into detailOrder
        int end = 0;
    };

    int headerColumns = 0; // one text per text box of the group header
    int detailColumns = 0; // one text per text box of the detail section
    std::vector<QString> headerTexts;
    DetailTexts details;          // detailColumns texts per child row, in read order
    std::vector<int> detailOrder; // child rows group by group
    std::vector<Group> groups;

    const QString &headerText(const Group &group, int column) const
    {
        return headerTexts[size_t(group.firstHeaderText + column)];
    }
    // The texts of a child row (in read order); valid until the next call.
    const QString *detailRow(int row) const { return details.row(row); }
    const QString *detailRow(int row, DetailTexts::Buffer &buffer) const { return details.row(row, buffer); }
    qsizetype detailCount() const { return qsizetype(detailOrder.size()); }
};

// Reads the report's group and detail queries, orders them as the user's
// locale reads (QCollator) and relates them. The detail rows are read as a
// stream: only their sort keys are held while they are put in order. Fails
// with the database's message when a query fails or lacks a column the
// report needs.
Result<GroupedRows> readGroupedRows(const Definition &definition, ReportStore &store);

} // namespace report
