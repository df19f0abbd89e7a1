#include "AddFolder.h"

#include <QFileDialog>
#include <QFileInfo>

QString BrowseFolder(QWidget *owner, const QString &prompt, const QString &startFolder)
{
    // A start folder that does not exist leaves the dialog at its default place.
    const QString start = !startFolder.isEmpty() && QFileInfo(startFolder).isDir() ? startFolder : QString();
    return QFileDialog::getExistingDirectory(owner, prompt, start, QFileDialog::ShowDirsOnly);
}
