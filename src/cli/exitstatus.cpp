#include "exitstatus.h"

#include <QStringList>

namespace app {

// One status a line, its code in a column of its own, so a reader (and the
// manual page made from --help) can find each.
QString exit_status_help()
{
    QStringList lines{QStringLiteral("終了ステータス:")};
    const auto item = [&lines](const QString &codes, const QString &meaning) {
        lines << QStringLiteral("  %1  %2").arg(codes, -8).arg(meaning);
    };
    for (const ExitStatusRow &row : kExitStatuses)
        item(QString::number(row.code), QString::fromUtf8(row.meaning));
    item(QStringLiteral("%1, %2")
             .arg(kSignalStatusBase + kStoppingSignals[0])
             .arg(kSignalStatusBase + kStoppingSignals[1]),
         QStringLiteral("SIGINT か SIGTERM で送信を止めた (書いている途中のフレームの後で。"
                        "送ったコマンドの数を伝えます)"));
    return lines.join(QLatin1Char('\n'));
}

} // namespace app
