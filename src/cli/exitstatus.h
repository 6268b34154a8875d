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
    {ExitStatus::Done, 0, "完了"},
    {ExitStatus::Usage, 1, "オプションの誤り"},
    {ExitStatus::CalculationOrRefused, 2, "計算できなかった、または送信を断った"},
    {ExitStatus::Listing, 3, "一覧を書けなかった"},
    {ExitStatus::Upload, 4, "送信が終わらなかった"},
    {ExitStatus::PortFile, 5, "ポートの割り当てを書けなかった"},
    {ExitStatus::Output, 6, "標準出力に書けなかった (ディスクが一杯、閉じられていた)"},
    {ExitStatus::Mount, 7, "マウントファイルを読めなかった、または書けなかった"},
    {ExitStatus::Record, 8, "送信記録を読めなかった"},
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

// The "終了ステータス:" list of --help: a status and its meaning a line.
QString exit_status_help();

} // namespace app
