#pragma once

#include <QByteArray>
#include <QPoint>

// The hotspot stored in a Windows cursor file (.CUR): the point of the
// first image that the pointer's position means. (0, 0) when the data is not
// a cursor file.
QPoint cursorFileHotspot(const QByteArray &data);
