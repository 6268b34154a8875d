#include "cli.h"
#include "console.h"
#include "datadir.h"
#include "form1.h"
#include "options.h"
#include "screenfit.h"
#include "startup.h"
#include "stopsignals.h"
#include "systemname.h"
#include "translations.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

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
            // std::chrono::steady_clock is CLOCK_MONOTONIC, the clock the
            // bench reads when it starts the program.
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::printf("shown %lld\n",
                        static_cast<long long>(std::chrono::nanoseconds(now).count()));
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_reported = false;
};

} // namespace

namespace {

void name_application()
{
    QCoreApplication::setApplicationName(QStringLiteral("rw7300-speedtable"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RW7300_VERSION));
}
} // namespace

int main(int argc, char *argv[])
{
    app::ignore_broken_pipes();
    app::keep_argument_bytes(argc, argv);
    app::drop_relative_base_directories();
    // The command line must work without a display, so it never creates a
    // GUI application.
    if (app::wants_command_line(argc, argv)) {
        QCoreApplication core(argc, argv);
        name_application();
        return app::run_command_line(QCoreApplication::arguments());
    }

    if (app::said_no_display(argc, argv))
        return 1;
    std::optional<app::PlatformStart> platform_start(std::in_place);
    QApplication application(argc, argv); // takes Qt's own options (-platform …)
    platform_start.reset();
    name_application();
    // One argument that is no option is a mount file to open the window with.
    QStringList rest = QCoreApplication::arguments().mid(1);
    const bool night = rest.removeAll(QLatin1String(app::kNightOption)) > 0;
    const bool mount_file = rest.size() == 1 && !rest.first().startsWith(QLatin1Char('-'));
    if (!rest.isEmpty() && !mount_file)
        return app::run_command_line(QCoreApplication::arguments());

    app::install_qt_japanese(application);
    app::Form1 window(app::data_directory(QCoreApplication::applicationDirPath()));
    if (night)
        window.set_night(true);
    FirstPaintReporter reporter;
    if (qEnvironmentVariableIsSet("RW7300_BENCH_STARTUP"))
        window.installEventFilter(&reporter);
    // On a screen smaller than the window, it scrolls inside one that fits.
    const std::unique_ptr<app::ScrollingWindow> fitted =
        app::fit_to_screen(window, app::available_geometry(&window));
    if (fitted)
        fitted->show();
    else
        window.show();
    window.start_with_mount(mount_file ? rest.first() : QString());
    const rwlink::StopSignals stop_signals([&window](int signal_number) {
        window.stop_for_signal(signal_number,
                               [signal_number] { QCoreApplication::exit(128 + signal_number); });
    });
    return QApplication::exec();
}
