#include "startup.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace app {

namespace {

QtMessageHandler g_previous_handler = nullptr;
QByteArrayList g_held_messages;

// Where the window would have gone, as the environment names it.
QString display_names()
{
    QStringList names;
    for (const char *variable : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(variable))
            names << QStringLiteral("%1=%2").arg(QLatin1String(variable),
                                                 qEnvironmentVariable(variable));
    }
    return names.join(QStringLiteral(", "));
}

void say_no_window(const QString &reason)
{
    const QByteArray line =
        QStringLiteral("rw7300-speedtable: %1ため、ウィンドウを開けません。ウィンドウなしでは "
                       "rw7300-speedtable --calculate などのオプションで使えます "
                       "(rw7300-speedtable --help)。\n")
            .arg(reason)
            .toUtf8();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    std::fflush(stderr);
}

void hold_message(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        // Only the platform's start can fail this way here; Qt's own
        // account (plugins, reinstalling) would bury the cause.
        say_no_window(QStringLiteral("ディスプレイ (%1) を使えない").arg(display_names()));
        std::_Exit(1);
    }
    g_held_messages << qFormatLogMessage(type, context, message).toLocal8Bit();
}

} // namespace

void drop_relative_base_directories()
{
    for (const char *variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME",
                                 "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QByteArray value = qgetenv(variable);
        if (!value.isEmpty() && !value.startsWith('/'))
            qunsetenv(variable);
    }
    for (const char *variable : {"XDG_CONFIG_DIRS", "XDG_DATA_DIRS"}) {
        if (!qEnvironmentVariableIsSet(variable))
            continue;
        QByteArrayList kept;
        for (const QByteArray &entry : qgetenv(variable).split(':')) {
            if (entry.startsWith('/'))
                kept << entry;
        }
        // None left is the same as unset: the rules' defaults apply.
        if (kept.isEmpty())
            qunsetenv(variable);
        else
            qputenv(variable, kept.join(':'));
    }
}

bool said_no_display(int argc, char **argv)
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            return false;
    }
    for (const char *variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(variable))
            return false;
    }
    say_no_window(
        QStringLiteral("ディスプレイがない (DISPLAY も WAYLAND_DISPLAY も設定されていない)"));
    return true;
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return false;
#endif
}

PlatformStart::PlatformStart()
{
    g_previous_handler = qInstallMessageHandler(&hold_message);
}

PlatformStart::~PlatformStart()
{
    qInstallMessageHandler(g_previous_handler);
    for (const QByteArray &message : std::as_const(g_held_messages)) {
        std::fwrite(message.constData(), 1, static_cast<std::size_t>(message.size()), stderr);
        std::fputc('\n', stderr);
    }
    std::fflush(stderr);
    g_held_messages.clear();
}

} // namespace app
