#pragma once
// Conversions between the control model's values and Qt's.
//
// The model's texts are byte strings in the window system's single-byte code page:
// device replies shown in the monitor may hold any byte. Latin-1 maps every byte to
// one character and back, so nothing is lost on the way to a widget and back; a
// character the operator types outside Latin-1 arrives as '?'.
#include "winsys/Colors.h"

#include <QColor>
#include <QString>

#include <string>

namespace ui {

inline QString ToQt(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQt(const QString& text) {
    QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

inline QColor ToQt(winsys::TColor color) {
    return QColor((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
}

} // namespace ui
