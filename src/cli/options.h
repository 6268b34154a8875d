#pragma once

// What a run of the command line is asked to do, read from its arguments
// without printing, writing or opening anything: the options, the text
// --help or --version prints, or the usage error.

#include "advisor.h"
#include "commands.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>

namespace app {

// What a run is asked to do: one of these each time.
enum class Action { Calculate, Advise, SaveMount, Ports, SetPort, ClearPort, History, Holds };

struct Options {
    Action action = Action::Calculate;
    // The drive trains and clock given on the command line; each one set
    // takes the place of the mount file's, or of the default.
    std::optional<calc::DriveTrainTexts> ra;
    std::optional<calc::DriveTrainTexts> dec;
    std::optional<std::int32_t> base_clock;
    // The file names as given, in the system's bytes: Qt's text of a name
    // that is not UTF-8 leads to some other file. Messages show
    // QFile::decodeName of them, which is the argument as Qt read it.
    std::optional<QByteArray> mount;   // --mount FILE
    QByteArray save_mount;             // --save-mount FILE, - for stdout
    std::optional<QString> mount_name; // --mount-name NAME
    std::optional<QByteArray> listing; // --listing FILE, - for stdout
    bool json = false;
    double tolerance = calc::kDefaultTolerance; // --tolerance, ″/h
    std::optional<QString> upload;              // --upload PORT
    bool force = false;                         // upload values the controller cannot take
    int port = 0;                               // --set-port, --clear-port
    QString device;                             // --set-port
    QString holds;                              // --holds PORT|DEVICE
};

// The window's own start option: the night look (--night). The window
// takes it out of its arguments; a command-line run lists it in --help and
// passes over it.
inline constexpr char kNightOption[] = "--night";
bool is_window_option(const QString &argument);

// --help or --version: the text for standard output, and the run is done.
struct Printed {
    QString text;
};

// One line, in Japanese, naming the mistake.
struct UsageError {
    QString message;
};

using ParsedOptions = std::variant<Options, Printed, UsageError>;

// The arguments, the program name first and Qt's window options already
// taken out.
ParsedOptions parse_options(const QStringList &arguments);

// What a usage error prints on stderr: its line and where the help is, no
// more (the whole help after it would scroll the one line that matters off
// the screen).
QString usage_error_text(const UsageError &error);

} // namespace app
