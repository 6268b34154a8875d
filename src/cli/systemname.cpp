#include "systemname.h"

#include <QFile>

#include <vector>

namespace app {

namespace {

std::vector<QByteArray> g_arguments;

} // namespace

void keep_argument_bytes(int argc, const char *const *argv)
{
    g_arguments.assign(argv, argv + argc);
}

QByteArray option_bytes(const QString &name, const QString &value)
{
    const QByteArray option = "--" + name.toLatin1();
    for (std::size_t i = 1; i < g_arguments.size(); ++i) {
        const QByteArray &argument = g_arguments[i];
        if (argument == "--")
            break;
        QByteArray given;
        if (argument == option && i + 1 < g_arguments.size())
            given = g_arguments[i + 1];
        else if (argument.startsWith(option + '='))
            given = argument.mid(option.size() + 1);
        else
            continue;
        if (QFile::decodeName(given) == value)
            return given;
    }
    return QFile::encodeName(value);
}

} // namespace app
