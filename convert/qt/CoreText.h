#pragma once
// The converters' core works in bytes (std::string): file paths in the
// encoding of the file system and message texts that may quote them. These
// two turn the dialogs' texts into the core's and back, the one place where
// that encoding is chosen.

#include <QFile>
#include <QString>
#include <string>

namespace quorlin {

inline std::string ToCorePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

inline QString FromCoreText(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }

}  // namespace quorlin
