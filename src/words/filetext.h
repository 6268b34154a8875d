#pragma once

// The words for what the file layer reports as types: why a write did not
// happen, and the mount-file faults told by their kind.

#include "atomicfile.h"
#include "mountfile.h"

#include <QString>

namespace app {

// Why a write failed, without the file's name.
QString write_failure_text(const files::WriteOutcome &outcome);

// Why saving a mount failed, with what to do, without the file's name.
QString mount_write_failure_text(const files::MountWriteOutcome &outcome);

// One line for a mount file that cannot be used: the file, the line and
// what is wrong.
QString mount_problem_text(const QString &path, const files::MountError &error);

} // namespace app
