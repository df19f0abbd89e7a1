#pragma once

// Drives the search window in tests as a user does: types into its box and
// clicks its buttons.

#include "search/Form4.h"
#include "search/SearchResultsModel.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QVariantMap>

#include <initializer_list>
#include <utility>

namespace SearchDriving {
using Ids = QList<qint64>;

inline QPushButton *button(Form4 *window, const char *name)
{
    return window->findChild<QPushButton *>(QLatin1String(name));
}

// The keys of the listed contacts, top to bottom.
inline Ids listedIds(Form4 *window)
{
    Ids ids;
    const QAbstractItemModel *model = window->resultList()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        ids << model->index(row, SearchResultsModel::Key).data().toLongLong();
    return ids;
}

// Types the text over the box's contents and presses "Go".
inline Ids search(Form4 *window, const QString &text)
{
    window->searchBox()->setText(text);
    QTest::mouseClick(button(window, "PushButton3"), Qt::LeftButton);
    return listedIds(window);
}

inline QVariantMap fields(std::initializer_list<std::pair<const char *, QVariant>> values)
{
    QVariantMap map;
    for (const auto &[name, value] : values)
        map.insert(QLatin1String(name), value);
    return map;
}
} // namespace SearchDriving
