#include "CursorFile.h"

#include <QtEndian>

QPoint cursorFileHotspot(const QByteArray &data)
{
    // ICONDIR: reserved (0), type (2 for a cursor), image count; then one
    // 16-byte ICONDIRENTRY per image, whose bytes 4 to 7 hold the hotspot.
    constexpr int kHeaderSize = 6;
    constexpr int kEntrySize = 16;
    if (data.size() < kHeaderSize + kEntrySize)
        return {};
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    if (qFromLittleEndian<quint16>(bytes) != 0 || qFromLittleEndian<quint16>(bytes + 2) != 2
        || qFromLittleEndian<quint16>(bytes + 4) == 0)
        return {};
    const uchar *entry = bytes + kHeaderSize;
    return QPoint(qFromLittleEndian<quint16>(entry + 4), qFromLittleEndian<quint16>(entry + 6));
}
