#pragma once

// PARAM.DAT: the serial port the operator last picked, one line.

#include "atomicfile.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace files {

inline const QString kSettingsFileName = QStringLiteral("PARAM.DAT");

// The file's bytes for a combo text: the text and CR LF, in Shift-JIS.
QByteArray param_bytes(const QString &combo_text);

WriteOutcome write_param(const QString &path, const QString &combo_text);

// The first comma-separated field of the file: leading blanks skipped,
// enclosing double quotes dropped. Nothing when the file is missing,
// unreadable or holds no field.
std::optional<QString> read_param(const QString &path);

// The first field of a text, by the same rules.
std::optional<QString> first_field(const QString &text);

// The port name in a file's bytes: at most the first 4 KiB, read as
// Shift-JIS, the first field of its first line.
std::optional<QString> parse_param(const QByteArray &bytes);

} // namespace files
