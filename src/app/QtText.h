// SPDX-License-Identifier: MIT
#pragma once
// Texts between the core's std::string and Qt's QString (UTF-8 both ways).
#include <QString>
#include <string>

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string ss(const QString& s) {
    return s.toStdString();
}
