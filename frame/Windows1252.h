#pragma once

#include <QByteArrayView>
#include <QString>

// Windows-1252: Latin-1 with printable characters in 0x80 to 0x9F (the five
// codes it leaves unassigned pass through). The 8-bit encoding of files
// written by older programs: backups of older installations, vCard and CSV
// files of older phones and spreadsheets.
QString fromWindows1252(QByteArrayView bytes);
