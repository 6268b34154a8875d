#include "cli.h"
#include "datadir.h"
#include "form1.h"
#include "translations.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// For make bench: prints the system-wide monotonic time (ns) of the
// window's first paint, then ends the program.
class FirstPaintReporter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("shown %lld\n",
                        static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_reported = false;
};

} // namespace

namespace app {

// Without a display Qt aborts with advice about reinstalling; say what is
// wrong and what works instead. Null when a display (or a platform chosen
// by -platform or QT_QPA_PLATFORM) is there.
const char *missing_display(int argc, char **argv)
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            return nullptr;
    }
    for (const char *variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(variable))
            return nullptr;
    }
    return "rw7300-speedtable: no display (DISPLAY and WAYLAND_DISPLAY are unset), so no window; "
           "the tables are calculated without one by: rw7300-speedtable --calculate (see --help)";
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return nullptr;
#endif
}

} // namespace app

namespace {

void name_application()
{
    QCoreApplication::setApplicationName(QStringLiteral("rw7300-speedtable"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RW7300_VERSION));
}
} // namespace

int main(int argc, char *argv[])
{
    // The command line must work without a display, so it never creates a
    // GUI application.
    if (app::wants_command_line(argc, argv)) {
        QCoreApplication core(argc, argv);
        name_application();
        return app::run_command_line(QCoreApplication::arguments());
    }

    if (const char *missing = app::missing_display(argc, argv)) {
        std::fprintf(stderr, "%s\n", missing);
        return 1;
    }
    QApplication application(argc, argv); // takes Qt's own options (-platform …)
    name_application();
    // One argument that is no option is a mount file to open the window with.
    const QStringList rest = QCoreApplication::arguments().mid(1);
    const bool mount_file = rest.size() == 1 && !rest.first().startsWith(QLatin1Char('-'));
    if (!rest.isEmpty() && !mount_file)
        return app::run_command_line(QCoreApplication::arguments());

    app::install_qt_japanese(application);
    app::Form1 window(app::data_directory(QCoreApplication::applicationDirPath()));
    FirstPaintReporter reporter;
    if (qEnvironmentVariableIsSet("RW7300_BENCH_STARTUP"))
        window.installEventFilter(&reporter);
    window.show();
    window.start_with_mount(mount_file ? rest.first() : QString());
    return QApplication::exec();
}
