#pragma once

// Every exit status of rw7300-speedtable, in one table: the code returns
// them by name, --help lists them from here and the tests check both
// against it.

#include <QString>

#include <array>
#include <csignal>

namespace app {

enum class ExitStatus {
    Done,
    Usage,
    // An upload refused before the port is opened shares the calculation's
    // status: either way the tables cannot go out as calculated.
    CalculationOrRefused,
    Listing,
    Upload,
    PortFile,
    Output,
    Mount,
    Record,
};

struct ExitStatusRow {
    ExitStatus status;
    int code;
    const char *meaning; // as --help says it
};

inline constexpr std::array<ExitStatusRow, 9> kExitStatuses{{
    {ExitStatus::Done, 0, "done"},
    {ExitStatus::Usage, 1, "malformed options"},
    {ExitStatus::CalculationOrRefused, 2, "calculation failed or upload refused"},
    {ExitStatus::Listing, 3, "listing not written"},
    {ExitStatus::Upload, 4, "upload incomplete"},
    {ExitStatus::PortFile, 5, "port assignments not written"},
    {ExitStatus::Output, 6, "standard output not written (disk full, closed)"},
    {ExitStatus::Mount, 7, "mount file not read or written"},
    {ExitStatus::Record, 8, "send record not read"},
}};

// A signal that stops an upload ends the run as a shell says the signal
// ended it: 128 and the signal's number.
inline constexpr int kSignalStatusBase = 128;
inline constexpr std::array<int, 2> kStoppingSignals{SIGINT, SIGTERM};

constexpr int exit_code(ExitStatus status)
{
    for (const ExitStatusRow &row : kExitStatuses) {
        if (row.status == status)
            return row.code;
    }
    return -1;
}

static_assert(exit_code(ExitStatus::Done) == 0);

// The "Exit status: …" paragraph of --help, wrapped to the help's width.
QString exit_status_help();

} // namespace app
