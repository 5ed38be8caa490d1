#pragma once

#include <QString>
#include <string>

// The program keeps texts as UTF-8 std::string; QString appears only in GUI
// code. These two functions are the boundary.
namespace ui {

inline QString to_q(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

inline std::string from_q(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace ui
