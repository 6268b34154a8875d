#pragma once

// What the window remembers of mount files between runs: the recently used
// files, newest first, and whether the last one opens at start-up (off
// unless the operator turns it on). Kept per user beside the port
// assignments, in rw7300-speedtable/mounts.conf; written at each change,
// under the store's lock and over what is in the file then, so windows
// running at the same time lose none of each other's files.

#include "atomicfile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace app {

struct RecentMount {
    QString path; // absolute
    QString name; // the mount's name when it was last used, for the menu

    bool operator==(const RecentMount &) const = default;
};

class MountHistory {
public:
    static constexpr int kMaxRecent = 8;

    // The user's file unless told otherwise.
    explicit MountHistory(const QString &path = {});

    const QList<RecentMount> &recent() const { return m_recent; }
    bool open_last_at_start() const { return m_open_last; }
    QString last_directory() const { return m_last_directory; }
    const QString &path() const { return m_path; }

    // Each says whether the file was written, and why not; the change holds
    // for the run either way.
    files::WriteOutcome used(const QString &path, const QString &name);
    files::WriteOutcome clear();
    files::WriteOutcome set_open_last_at_start(bool on);

private:
    // Reads the file again, applies change and writes the file.
    files::WriteOutcome update(const std::function<void()> &change);
    void load(const QString &file);
    bool load_bytes(const QByteArray &bytes, files::WriteOutcome *failure);
    QByteArray ini_bytes(files::WriteOutcome *failure) const;

    QString m_path;
    QList<RecentMount> m_recent;
    bool m_open_last = false;
    QString m_last_directory;
};

} // namespace app
