#pragma once

// File names as the system has them. Qt holds a name as text and turns it
// back into UTF-8 bytes, so a name given in bytes that are not UTF-8 (an old
// Shift-JIS file name, a byte gone wrong) cannot pass through it: it would
// open, or create, some other file whose name holds U+FFFD. These take the
// bytes the program was given and reach the file they name by a path that
// Qt can carry. Messages still show the name as Qt reads it.

#include "atomicfile.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace app {

// Keeps the program's arguments as the system gave them; main() calls it
// before Qt sees them.
void keep_argument_bytes(int argc, const char *const *argv);

// The bytes given for the value of option --name when value is how Qt read
// them; otherwise value's own bytes (as when the arguments were not kept: a
// test that runs the command line itself).
QByteArray option_bytes(const QString &name, const QString &value);

// A path to read the file name names: name itself when it is UTF-8,
// otherwise the process's own link to the file, held open while this
// lives (or, when nothing is there by that name, a path where nothing is).
class ReadablePath {
public:
    explicit ReadablePath(const QByteArray &name);
    ~ReadablePath();
    ReadablePath(const ReadablePath &) = delete;
    ReadablePath &operator=(const ReadablePath &) = delete;

    const QString &path() const { return m_path; }

private:
    int m_fd = -1;
    QString m_path;
};

// Runs write(path) where path reaches the file name names, for it to be
// written as files::write_atomically would. When name is not UTF-8 the
// writing happens under a UTF-8 name beside it (a link to what is there
// already, so it is read and replaced as it would be), which then takes
// name's place, or goes when what is there was written in place: nothing is
// left under that name, success or not.
files::WriteOutcome
write_named(const QByteArray &name,
            const std::function<files::WriteOutcome(const QString &path)> &write);

} // namespace app
