// The main window's answer when another window changed or deleted the
// contact whose edits are about to be stored.

#include "Form1.h"
#include "ui_Form1.h"

#include "ContactsRecordset.h"
#include "Form1Parts.h"
#include "frame/MessageService.h"
#include "frame/Settings.h"
#include "reference/ContactTypesModel.h"
#include "base/ContactFields.h"

#include <QLabel>
#include <QTimer>

namespace {
const QString kKeepMine = QStringLiteral("Keep my changes");
const QString kTakeTheirs = QStringLiteral("Take theirs");
const QString kCancel = QStringLiteral("Cancel");
const QString kSaveAsNew = QStringLiteral("Save as a new contact");
const QString kDiscard = QStringLiteral("Discard my changes");

QString shownValue(const QString &text)
{
    if (text.isEmpty())
        return QStringLiteral("(empty)");
    QString oneLine = text;
    oneLine.replace(QLatin1String("\r\n"), QLatin1String(" / "));
    oneLine.replace(QLatin1Char('\n'), QLatin1String(" / "));
    oneLine.replace(QLatin1Char('\r'), QLatin1String(" / "));
    if (oneLine.size() > 60)
        oneLine = oneLine.left(57) + QStringLiteral("...");
    return QLatin1Char('"') + oneLine + QLatin1Char('"');
}
} // namespace

// The caption of the field's box as the window shows it now, without its colon.
QString Form1::fieldCaption(int field) const
{
    QString boxName = field == ContactField::ContactTypeID ? QStringLiteral("dcbContactType") : QString();
    for (const form1::BoxBinding &binding : form1::kBoxBindings) {
        if (binding.field == field)
            boxName = QStringLiteral("Text1_%1").arg(binding.box);
    }
    const QWidget *box = boxName.isEmpty() ? nullptr : findChild<QWidget *>(boxName);
    for (int index = 0; box && index < kLabelCount; ++index) {
        if (const QLabel *label = fieldLabel(index); label && label->buddy() == box) {
            QString caption = label->text();
            caption.remove(QLatin1Char('&'));
            if (caption.endsWith(QLatin1Char(':')))
                caption.chop(1);
            return caption;
        }
    }
    return contactFieldNames().value(field);
}

QString Form1::fieldText(int field, const QVariant &value) const
{
    if (value.isNull())
        return QString();
    if (field == ContactField::ContactTypeID) {
        const int row = m_typesRs->rowOfType(value);
        return row >= 0 ? ui->dcbContactType->itemText(row) : value.toString();
    }
    return value.toString();
}

Result<bool> Form1::settleConflict(const ContactConflict &conflict)
{
    MessageService &messages = MessageService::instance();
    if (conflict.deleted) {
        const int choice = messages.choose(this, QStringLiteral("Question"),
                                           QStringLiteral("This contact was deleted in another window."),
                                           {kSaveAsNew, kDiscard}, 0, 0);
        if (choice == 0) {
            if (Status stored = m_contactsRs->saveAsNew(); !stored)
                return stored.error();
        } else {
            m_contactsRs->discard();
        }
        // The list loses the deleted row (and gains the new one) once the
        // command that stored the edits has finished.
        QTimer::singleShot(0, this, [this] { listContacts(); });
        return true;
    }
    if (conflict.fields.isEmpty()) {
        // The other window stored the very texts read here: nothing to ask.
        ContactConflict same = conflict;
        same.fields = m_contactsRs->changedFields();
        m_contactsRs->keepMine(same);
        return true;
    }
    QString text = QStringLiteral("This contact was changed in another window since you opened it.");
    for (int field : conflict.fields) {
        text += QStringLiteral("\r\n\r\n") + fieldCaption(field) + QStringLiteral("\r\n    theirs: ")
            + shownValue(fieldText(field, conflict.theirs.value(field))) + QStringLiteral("\r\n    yours: ")
            + shownValue(fieldText(field, m_contactsRs->value(field)));
    }
    const int choice = messages.choose(this, QStringLiteral("Question"), text, {kKeepMine, kTakeTheirs, kCancel}, 2, 2);
    if (choice == 0) {
        m_contactsRs->keepMine(conflict);
        return true;
    }
    if (choice == 1) {
        m_contactsRs->takeTheirs(conflict);
        if (Status named = SetFullName(); !named)
            return named.error();
        return true;
    }
    return false;
}
