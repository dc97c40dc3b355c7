#pragma once
#include <QColor>
#include <cstdint>

namespace kd {

// A Windows colour value 0x00BBGGRR as a QColor.
inline QColor ColorRef(uint32_t c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

}  // namespace kd
