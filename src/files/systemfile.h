#pragma once

// The system's side of the files this folder reads and writes, one file per
// system (systemfile_unix.cpp, systemfile_win.cpp); what to write and when is
// decided above it, in atomicfile.cpp and sendrecord.cpp.

#include "atomicfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

namespace files {

WriteOutcome refused(WriteFault fault);
// reason: the words already given for error (a Qt message); the system's
// own when empty.
WriteOutcome system_failure(int error, const QString &reason = {});

// What a path is, a link followed or not.
struct PathKind {
    enum Kind { Missing, Regular, Directory, Link, Other, Unknown };
    Kind kind = Missing;
    int system_error = 0; // why it is Unknown
};
enum class Links { Followed, Kept };
PathKind kind_of(const QString &path, Links links = Links::Followed);

// Writes bytes into a FIFO, a terminal or a device as it stands, never
// waiting for a reader that is not there or for longer than kInPlaceWait.
WriteOutcome write_in_place(const QString &path, const QByteArray &bytes);

// The last count bytes of a regular file (all of it when shorter), read
// without ever waiting on a FIFO or a device; cut when bytes before them
// were left out; nothing when there is no file.
struct FileEnd {
    std::optional<QByteArray> bytes;
    bool cut = false;
    WriteOutcome failure{true, {}, WriteFault::None, 0};
};
FileEnd read_end(const QString &path, qint64 count);
// read_end's system side, for a path already seen to be a regular file:
// refuses one replaced by something else since.
FileEnd read_regular_end(const QString &path, qint64 count);

// Appends to the regular file at path, made when missing, never through a
// link (WriteFault::Link): bytes_for is given the file's size and its last
// byte ('\n' when empty) and says what to append; nothing leaves the file as
// it is. The bytes are synced before this returns; a write cut short is
// taken back, so no part of them remains.
using AppendBytes = std::function<std::optional<QByteArray>(qint64 size, char last)>;
WriteOutcome append_synced(const QString &path, const AppendBytes &bytes_for);

} // namespace files
