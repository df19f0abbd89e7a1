#include "CallGridDelegate.h"

#include "CallLogModel.h"
#include "frame/Clock.h"
#include "frame/Formats.h"

#include <QDateEdit>
#include <QTimeEdit>

QWidget *CallGridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    switch (index.column()) {
    case CallLogModel::CallDate: {
        auto *editor = new QDateEdit(parent);
        editor->setDisplayFormat(shortDateFormat());
        editor->setCalendarPopup(true);
        return editor;
    }
    case CallLogModel::CallTime: {
        auto *editor = new QTimeEdit(parent);
        editor->setDisplayFormat(QStringLiteral("h:mm AP"));
        return editor;
    }
    default:
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
}

void CallGridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QVariant value = index.data(Qt::EditRole);
    if (auto *dateEditor = qobject_cast<QDateEdit *>(editor)) {
        const QDate date = storedDate(value);
        dateEditor->setDate(date.isValid() ? date : Clock::now().date());
    } else if (auto *timeEditor = qobject_cast<QTimeEdit *>(editor)) {
        const QTime time = storedTime(value);
        timeEditor->setTime(time.isValid() ? time : Clock::now().time());
    } else {
        QStyledItemDelegate::setEditorData(editor, index);
    }
}

void CallGridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *dateEditor = qobject_cast<QDateEdit *>(editor))
        model->setData(index, dateEditor->date().toString(Qt::ISODate));
    else if (auto *timeEditor = qobject_cast<QTimeEdit *>(editor))
        model->setData(index, timeEditor->time().toString(QStringLiteral("HH:mm:ss")));
    else
        QStyledItemDelegate::setModelData(editor, model, index);
}
