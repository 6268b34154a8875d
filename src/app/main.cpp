#include "cli.h"
#include "datadir.h"
#include "form1.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

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

    QApplication application(argc, argv); // takes Qt's own options (-platform …)
    name_application();
    const QStringList rest = QCoreApplication::arguments().mid(1);
    if (!rest.isEmpty())
        return app::run_command_line(QCoreApplication::arguments());

    app::Form1 window(app::data_directory(QCoreApplication::applicationDirPath()));
    window.show();
    return QApplication::exec();
}
