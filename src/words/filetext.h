#pragma once

// The words for what the file layer reports as types: why a write did not
// happen, and the mount-file faults told by their kind.

#include "atomicfile.h"
#include "mountfile.h"
#include "portassignments.h"

#include <QDateTime>
#include <QString>

namespace app {

// Why a write failed, without the file's name.
QString write_failure_text(const files::WriteOutcome &outcome);
// The same after a per-user store's path: "<path>: <why>".
QString store_failure_text(const QString &path, const files::WriteOutcome &outcome);

// Why saving a mount failed, with what to do, without the file's name.
QString mount_write_failure_text(const files::MountWriteOutcome &outcome);

// Why the port assignments file cannot be used; empty when it can.
QString assignments_read_failure_text(const files::AssignmentsRead &read);

// What is wrong with a mount file, without the file's name.
QString mount_fault_text(const files::MountError &error);

// One line for a mount file that cannot be used: the file, the line and
// what is wrong.
QString mount_problem_text(const QString &path, const files::MountError &error);

// At start-up, the drive trains and clock shown are the last Calculate's:
// "前回の計算の駆動系と基本クロックです (12/07 21:14、EM-200)。"
QString last_calculation_text(const files::Mount &setup, const QDateTime &saved);
// They could not be read (path and why) or kept for the next start.
QString last_calculation_read_failure_text(const QString &path, const files::MountError &error);
QString last_calculation_write_failure_text(const QString &path,
                                            const files::WriteOutcome &outcome);

// The night look could not be remembered in the file at path; it holds for
// this run.
QString look_setting_failure_text(const QString &path, const files::WriteOutcome &outcome);

} // namespace app
