#pragma once

// Whether this user belongs to a group, as the group database says and as
// the running login has it. A group added with usermod counts only from the
// next login, so the two can differ, and the advice with them. The
// machine's own answer lives in usergroups_unix.cpp; tests stand in theirs
// through Devices.

#include <QString>

#include <functional>

namespace rwlink {

// The group that may open serial devices on Debian and its kin.
inline const QString kSerialGroup = QStringLiteral("dialout");

enum class GroupMembership {
    Unknown,   // not asked, or the system keeps no such groups
    NotMember, // the group database does not list this user
    NextLogin, // listed in the database, not yet in this login
    InLogin,   // this process has the group
};

using GroupCheck = std::function<GroupMembership(const QString &group)>;

// The machine's own answer for this process's user.
GroupMembership group_membership(const QString &group);

} // namespace rwlink
