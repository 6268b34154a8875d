#include "exitstatus.h"

#include <QStringList>

namespace app {

// One status a line, its code in a column of its own, so a reader (and the
// manual page made from --help) can find each.
QString exit_status_help()
{
    QStringList lines{QStringLiteral("Exit status:")};
    const auto item = [&lines](const QString &codes, const QString &meaning) {
        lines << QStringLiteral("  %1  %2").arg(codes, -8).arg(meaning);
    };
    for (const ExitStatusRow &row : kExitStatuses)
        item(QString::number(row.code), QLatin1String(row.meaning));
    item(QStringLiteral("%1, %2")
             .arg(kSignalStatusBase + kStoppingSignals[0])
             .arg(kSignalStatusBase + kStoppingSignals[1]),
         QStringLiteral("upload stopped by SIGINT or SIGTERM (after the frame being written; "
                        "how many commands went out is said)"));
    return lines.join(QLatin1Char('\n'));
}

} // namespace app
