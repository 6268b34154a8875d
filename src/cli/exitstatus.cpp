#include "exitstatus.h"

#include <QStringList>

namespace app {

namespace {

// The help's own width: Qt does not wrap the description.
constexpr qsizetype kHelpWidth = 79;

QString wrapped(const QString &text)
{
    QString out;
    qsizetype line = 0;
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (line > 0 && line + 1 + word.size() > kHelpWidth) {
            out += QLatin1Char('\n');
            line = 0;
        } else if (line > 0) {
            out += QLatin1Char(' ');
            ++line;
        }
        out += word;
        line += word.size();
    }
    return out;
}

} // namespace

QString exit_status_help()
{
    QStringList items;
    for (const ExitStatusRow &row : kExitStatuses)
        items << QStringLiteral("%1 %2").arg(row.code).arg(QLatin1String(row.meaning));
    items << QStringLiteral("%1 or %2 upload stopped by SIGINT or SIGTERM (after the frame being "
                            "written; how many commands went out is said).")
                 .arg(kSignalStatusBase + kStoppingSignals[0])
                 .arg(kSignalStatusBase + kStoppingSignals[1]);
    return wrapped(QStringLiteral("Exit status: ") + items.join(QStringLiteral(", ")));
}

} // namespace app
