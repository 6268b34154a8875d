#include "cli.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rw7300-speedtable"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RW7300_VERSION));
    return app::run_command_line(QCoreApplication::arguments());
}
