#pragma once

// Where PARAM.DAT and Speed_Data.txt live: beside the program when its
// directory can be written (a build tree, a portable copy), otherwise in the
// user's data directory, since an installed program's directory is not
// theirs to write.

#include <QString>

namespace app {

// True for directories that belong to the system's installed programs.
bool is_system_directory(const QString &dir);

// True when a file can really be created in dir.
bool is_writable_directory(const QString &dir);

// The directory for the two files; created only when asked, so that a run
// which writes nothing (--help) leaves no trace.
QString data_directory(const QString &program_dir, bool create = true);

} // namespace app
