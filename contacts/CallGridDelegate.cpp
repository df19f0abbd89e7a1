#include "CallGridDelegate.h"

#include "CallLogModel.h"
#include "frame/MessageService.h"
#include "frame/TypedDates.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>

namespace {
// The text the cell showed when its editor opened.
const char *const kShownText = "shownText";

bool isDateOrTime(const QModelIndex &index)
{
    return index.column() == CallLogModel::CallDate || index.column() == CallLogModel::CallTime;
}
} // namespace

CallGridDelegate::CallGridDelegate(QAbstractItemView *grid) : QStyledItemDelegate(grid), m_grid(grid)
{
    grid->installEventFilter(this);
}

QWidget *CallGridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    if (!isDateOrTime(index))
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto *editor = new QLineEdit(parent);
    editor->setFrame(false);
    editor->setObjectName(index.column() == CallLogModel::CallDate ? QStringLiteral("callDateEditor")
                                                                     : QStringLiteral("callTimeEditor"));
    return editor;
}

void CallGridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *line = qobject_cast<QLineEdit *>(editor);
    if (!line || !isDateOrTime(index)) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    const QString shown = index.data(Qt::DisplayRole).toString();
    line->setText(shown);
    line->setProperty(kShownText, shown);
}

void CallGridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    auto *line = qobject_cast<QLineEdit *>(editor);
    if (!line || !isDateOrTime(index)) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    const QString typed = line->text().trimmed();
    const QString shown = line->property(kShownText).toString();
    // The cell shows a time without its seconds: only a changed text is read.
    if (typed == shown.trimmed())
        return;
    if (typed.isEmpty()) {
        model->setData(index, QVariant(QMetaType::fromType<QString>()));
        return;
    }
    const QLocale locale;
    QString stored;
    if (index.column() == CallLogModel::CallDate) {
        if (const std::optional<QDate> date = readTypedDate(typed, locale))
            stored = date->toString(Qt::ISODate);
    } else if (const std::optional<QTime> time = readTypedTime(typed, locale)) {
        stored = time->toString(QStringLiteral("HH:mm:ss"));
    }
    if (stored.isEmpty()) {
        const_cast<CallGridDelegate *>(this)->refuse(index, line->text(), shown);
        return;
    }
    model->setData(index, stored);
}

// Tells the user once the grid has let go of the editor, then opens the cell
// again with the text as it was typed (unless the cell has gone, as when the
// window moved to another contact).
void CallGridDelegate::refuse(const QPersistentModelIndex &index, const QString &typed, const QString &shown)
{
    const bool date = index.column() == CallLogModel::CallDate;
    const QLocale locale;
    const QString message = date ? tr("\"%1\" is not a date. Type a date such as %2.")
                                       .arg(typed.trimmed(), typedDateExample(locale))
                                 : tr("\"%1\" is not a time. Type a time such as %2.")
                                       .arg(typed.trimmed(), typedTimeExample(locale));
    QMetaObject::invokeMethod(this, [this, index, typed, shown, message] {
        m_telling = true;
        MessageService::instance().information(m_grid->window(), message);
        m_telling = false;
        if (!index.isValid() || !m_grid->isVisible())
            return;
        m_grid->setFocus();
        m_grid->setCurrentIndex(index);
        m_grid->edit(index);
        if (auto *line = qobject_cast<QLineEdit *>(m_grid->indexWidget(index))) {
            line->setText(typed);
            line->setProperty(kShownText, shown);
        }
    }, Qt::QueuedConnection);
}

bool CallGridDelegate::eventFilter(QObject *object, QEvent *event)
{
    if (object == m_grid) {
        // F2 opens the cell with the cursor after its text, ready to change it.
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F2
            && static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier) {
            const QModelIndex current = m_grid->currentIndex();
            if (current.isValid() && (current.flags() & Qt::ItemIsEditable) && !m_grid->indexWidget(current)) {
                m_grid->edit(current);
                if (auto *line = qobject_cast<QLineEdit *>(m_grid->indexWidget(current))) {
                    line->deselect();
                    line->end(false);
                }
                return true;
            }
        }
        return false;
    }
    // While the message about a refused value is up, the editor keeps its text.
    if (m_telling && event->type() == QEvent::FocusOut)
        return true;
    return QStyledItemDelegate::eventFilter(object, event);
}
