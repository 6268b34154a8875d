#pragma once

// The drive trains and base clock of the last successful Calculate, kept
// per user so that the next start shows what the operator set up (the
// driver's switches were set to match it), in
// rw7300-speedtable/last-calculation.rw7300mount beside the port
// assignments: a mount file, so it reads, edits and opens like one, its
// name that of the mount file the values were open from.
//
// Written at each successful Calculate, at once, under the store's lock and
// atomically, so a flat battery a minute later keeps them. A mount file
// opened at start-up wins over it; the command line never reads it. Its
// failures are types (files::MountError, files::WriteOutcome), worded by the
// window.

#include "mountfile.h"

#include <QDateTime>
#include <QString>

#include <variant>

namespace app {

struct SavedSetup {
    files::Mount setup;
    QDateTime saved; // when the file was last written
};

// Nothing when no Calculate was kept yet.
using SavedSetupRead = std::variant<std::monostate, SavedSetup, files::MountError>;

class LastCalculation {
public:
    // The user's file unless told otherwise.
    explicit LastCalculation(const QString &path = {});

    const QString &path() const { return m_path; }

    SavedSetupRead read() const;
    // An existing file keeps its comments and other lines.
    files::WriteOutcome save(const files::Mount &setup) const;

private:
    QString m_path;
};

} // namespace app
