#include "exitstatus.h"

#include "columns.h"

#include <QStringList>

namespace app {

// One status a line, its code in a column of its own, so a reader (and the
// manual page made from --help) can find each; a long meaning goes on in
// that column.
QString exit_status_help()
{
    QStringList lines{QStringLiteral("終了ステータス:")};
    const auto item = [&lines](const QString &codes, const QString &meaning) {
        const QString head = QStringLiteral("  %1  ").arg(codes, -8);
        lines << wrapped(meaning, kTerminalColumns, head, QString(head.size(), QLatin1Char(' ')));
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
