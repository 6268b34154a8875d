// Windows keeps no dialout group: a COM port opens for any user.

#include "usergroups.h"

namespace rwlink {

GroupMembership group_membership(const QString &)
{
    return GroupMembership::Unknown;
}

} // namespace rwlink
