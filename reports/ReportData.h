#pragma once

#include "DetailTexts.h"
#include "ReportDefinition.h"

#include "base/Result.h"

#include <QString>
#include <QVariant>

#include <vector>

class ReportStore;

namespace report {

// Turns a stored value into the text a control prints. Null prints as nothing.
QString formatValue(const QVariant &value, Format format);

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
    DetailTexts details;          // detailColumns texts per child row, in print order
    std::vector<int> detailOrder; // child rows group by group (into details)
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
