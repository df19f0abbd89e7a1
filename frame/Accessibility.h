#pragma once

#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>

class QLabel;
class QWidget;

// The name a screen reader announces for a box after its caption: the
// caption's text without mnemonic marks and without a trailing colon and
// blanks ("&First Name:" becomes "First Name", "Fish && Chips" becomes
// "Fish & Chips").
QString accessibleNameFromCaption(const QString &caption);

// Names the boxes of a window after their captions.
//
// Every QLabel of the window that has a buddy names that buddy. pair() adds a
// caption that stands for a box without being its buddy (a heading over a
// group of boxes, a display that takes no focus); name() a box whose caption
// is a text rather than a label (a frame's title, a caption shown in another
// window). apply() sets the names from the captions as they read at that
// moment: call it again whenever captions change.
//
//   CaptionNames names(this);
//   names.name(ui->Text1, ui->Frame1->title());
//   names.apply();
class CaptionNames {
public:
    explicit CaptionNames(QWidget *form);

    void pair(QLabel *caption, QWidget *box);
    void name(QWidget *box, const QString &caption);
    void apply() const;

private:
    QPointer<QWidget> m_form;
    QList<QPair<QPointer<QLabel>, QPointer<QWidget>>> m_pairs;
    QList<QPair<QPointer<QWidget>, QString>> m_texts;
};
