// The group database (through NSS, so LDAP and the like count too) and the
// groups of this process, which were fixed at login.

#include "usergroups.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace rwlink {

namespace {

// The buffers of the reentrant look-ups grow until the entry fits.
constexpr std::size_t kFirstBuffer = 1024;
constexpr std::size_t kLargestBuffer = std::size_t{1} << 20;

bool group_id(const QByteArray &name, gid_t &id)
{
    std::vector<char> buffer(kFirstBuffer);
    group entry{};
    group *found = nullptr;
    int error = 0;
    while ((error = ::getgrnam_r(name.constData(), &entry, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < kLargestBuffer)
        buffer.resize(buffer.size() * 2);
    if (error != 0 || !found)
        return false;
    id = found->gr_gid;
    return true;
}

bool in_this_login(gid_t id)
{
    if (::getegid() == id)
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    groups.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return std::find(groups.begin(), groups.end(), id) != groups.end();
}

// Whether the database lists the real user in the group; false when the
// user is not in the password database at all.
bool in_database(gid_t id, bool &user_known)
{
    std::vector<char> buffer(kFirstBuffer);
    passwd entry{};
    passwd *found = nullptr;
    int error = 0;
    while ((error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < kLargestBuffer)
        buffer.resize(buffer.size() * 2);
    user_known = error == 0 && found;
    if (!user_known)
        return false;
    if (found->pw_gid == id)
        return true;
    int count = 32;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count)); // count now says how many there are
        if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), id) != groups.end();
}

} // namespace

GroupMembership group_membership(const QString &group)
{
    gid_t id = 0;
    if (!group_id(QFile::encodeName(group), id))
        return GroupMembership::NotMember; // no such group: nobody is in it
    if (in_this_login(id))
        return GroupMembership::InLogin;
    bool user_known = false;
    const bool listed = in_database(id, user_known);
    if (!user_known)
        return GroupMembership::Unknown;
    return listed ? GroupMembership::NextLogin : GroupMembership::NotMember;
}

} // namespace rwlink
