#pragma once

// A mount file: one mount's name, the five drive-train texts of each axis
// exactly as typed and the base clock, in UTF-8 text a person can read and
// edit.
//
//   # RW7300 マウント設定 (rw7300-speedtable)
//   rw7300-mount = 1
//   name = EM-200 (庭)
//   base_clock = 2MHz
//   ra.worm = 240
//   ra.intermediate_gear = 2
//   …
//   dec.microstep = 16
//
// The first setting must be "rw7300-mount" with the format version; later
// fields of version 1 are new keys, which older readers pass over. Blank
// lines, whole-line comments (# or ;), keys in any case and CR LF are
// allowed. A value is everything after "=" less the blanks around it, or a
// double-quoted text with \" \\ \t \n \r and \xHH escapes, which keeps
// blanks at its ends and stands for an empty text as "".

#include "atomicfile.h"
#include "commands.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace files {

inline const QString kMountSuffix = QStringLiteral("rw7300mount");
inline const QString kMountVersionKey = QStringLiteral("rw7300-mount");
inline constexpr int kMountFormatVersion = 1;
// The keys of the five drive-train parts, in box order ("ra.worm" …), as the
// send record's drive trains name them too.
inline constexpr std::array<const char *, 5> kDriveTrainPartKeys = {
    "worm", "intermediate_gear", "motor", "reduction_gear", "microstep"};
// A mount file is well under a kilobyte; anything this size is not one.
inline constexpr qint64 kMaxMountFileBytes = qint64{64} * 1024;

struct Mount {
    QString name;
    calc::DriveTrainTexts ra = calc::kDefaultRa; // UTF-8, as the boxes hold them
    calc::DriveTrainTexts dec = calc::kDefaultDec;
    std::int32_t base_clock = calc::kClock2MHz;

    bool operator==(const Mount &) const = default;
};

// Why a file is not a usable mount file, as facts the application words;
// line is 1-based, 0 when the fault belongs to no one line (a missing
// setting, the file as a whole).
struct MountError {
    enum class Kind {
        NotMountFile,     // the first setting is not the version line, or there is none
        NotText,          // not UTF-8 text before the version line
        NotUtf8,          // a later line is not UTF-8
        ControlCharacter, // a control character other than a tab
        NulByte,          // a NUL byte: a binary file, or one damaged
        CrLineEnds,       // lines ended by CR alone (an old Mac editor)
        NotKeyValue,      // a line that is not "key = value"
        TextAfterQuote,   // key's quoted value goes on after its closing quote
        Unclosed,         // key's quoted value has no closing quote
        ShortHexEscape,   // key's value has \x without two hex digits
        UnknownEscape,    // key's value has \ before text, a character no escape has
        Twice,            // key set again; number: the line it was first set on
        BadVersion,       // text: the version that is no number
        NewerVersion,     // number: the version
        NoValue,          // key has nothing after "="
        BadClock,         // text: the base clock that is neither
        NoClock,          // the base clock is missing
        NoPart,           // key is missing: axis and part say which box it is
        Missing,          // read_mount: no file there
        Folder,           //   a folder
        NotRegular,       //   a FIFO or a device
        TooLarge,         //   number: its size, 0 when it grew while read
        Unreadable,       //   system_error and text: why
    };
    int line = 0;
    Kind kind = Kind::NotMountFile;
    QString key{};
    QString text{};
    qint64 number = 0;
    calc::Axis axis = calc::Axis::Ra;
    calc::DriveTrainField part = calc::kWorm;
    int system_error = 0;

    bool operator==(const MountError &) const = default;
};

using MountRead = std::variant<Mount, MountError>;

MountRead parse_mount(const QByteArray &bytes);

// Only a regular file of at most kMaxMountFileBytes is read: a FIFO or a
// device would block, a huge file is not a mount file.
MountRead read_mount(const QString &path);

// The text of a fresh mount file.
QByteArray mount_bytes(const Mount &mount);

// The text of original with mount's values in place: comments, unknown keys,
// order and line ends are kept; settings it lacks are added at the end. A
// fresh file when original is no readable mount file.
QByteArray updated_mount_bytes(const QByteArray &original, const Mount &mount);

// Writes mount to path: an existing mount file keeps its comments and
// unknown keys. Nothing the program could not read back is ever replaced:
// another file is refused (WriteFault::NotMountFile), and so is a mount file
// this version cannot read (WriteFault::UnreadableMount, with the reason),
// a newer one say; an empty file is written. Only a regular file, or a new
// one, is written: never a FIFO or a device.
struct MountWriteOutcome : WriteOutcome {
    std::optional<MountError> unreadable; // why, for UnreadableMount
};
MountWriteOutcome write_mount(const QString &path, const Mount &mount);

// A drive-train text as a box shows it. Unlike QString::fromStdString it
// keeps a leading U+FEFF, which is part of what was typed.
QString box_text(const std::string &text);

// "2MHz" / "250kHz" as written; and read from those (any case, blanks
// anywhere) or the number of hertz.
QString clock_text(std::int32_t base_clock);
std::optional<std::int32_t> clock_from_text(const QString &text);

} // namespace files
