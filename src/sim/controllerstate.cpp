#include "controllerstate.h"

#include <algorithm>

#include "wiretext.h"

#include <QJsonArray>
#include <QStringList>

using rwlink::CommandKind;

namespace {

constexpr int kRowsPerColumn = 10;
constexpr int kColumns = ControllerState::kRows / kRowsPerColumn;
constexpr int kRateRow = calc::kRateRow;

constexpr CommandKind kAllKinds[] = {
    CommandKind::Clock2MHz, CommandKind::Clock250kHz, CommandKind::StoreData, CommandKind::NewTable,
    CommandKind::NewTotals, CommandKind::RaRow,       CommandKind::DecRow,    CommandKind::RaTotal,
    CommandKind::DecTotal,  CommandKind::Rate05,      CommandKind::Unknown,
};

QJsonValue json_text(const std::optional<QByteArray> &entry)
{
    // Latin-1 keeps every byte as one character, whatever was sent.
    return entry ? QJsonValue(QString::fromLatin1(*entry)) : QJsonValue(QJsonValue::Null);
}

QString entry_text(const std::optional<QByteArray> &entry)
{
    return entry ? value_text(*entry) : QStringLiteral("未設定");
}

// The label padded to columns as a terminal shows it: a Japanese
// character takes two.
QString padded(const QString &label, int columns)
{
    int width = 0;
    for (const QChar c : label)
        width += c.unicode() >= 0x1100 ? 2 : 1;
    return label + QString(std::max(columns - width, 1), QLatin1Char(' '));
}

QString clock_name(std::optional<CommandKind> clock)
{
    if (!clock)
        return {};
    return *clock == CommandKind::Clock2MHz ? QStringLiteral("2MHz") : QStringLiteral("250kHz");
}

} // namespace

void ControllerState::apply(const rwlink::Command &command)
{
    ++m_commands;
    ++m_counts[command.kind];
    switch (command.kind) {
    case CommandKind::Clock2MHz:
    case CommandKind::Clock250kHz:
        m_clock = command.kind;
        break;
    case CommandKind::RaRow:
        if (command.row > 0) {
            m_ra[command.row - 1] = command.value;
            if (command.row == kRateRow)
                m_ra05_holds_rate = false;
        }
        break;
    case CommandKind::DecRow:
        if (command.row > 0)
            m_dec[command.row - 1] = command.value;
        break;
    case CommandKind::RaTotal:
        m_ra_total = command.value;
        break;
    case CommandKind::DecTotal:
        m_dec_total = command.value;
        break;
    case CommandKind::Rate05:
        m_rate05 = command.value;
        m_ra05_holds_rate = true;
        break;
    default:
        break;
    }
}

void ControllerState::note_anomaly(const QString &kind, const QString &detail)
{
    ++m_anomaly_count;
    ++m_anomaly_kinds[kind];
    if (m_anomalies.size() < kKeptAnomalies)
        m_anomalies << Anomaly{kind, detail};
}

void ControllerState::note_gap(double milliseconds)
{
    m_gap_min = m_gap_count == 0 ? milliseconds : std::min(m_gap_min, milliseconds);
    m_gap_max = m_gap_count == 0 ? milliseconds : std::max(m_gap_max, milliseconds);
    ++m_gap_count;
    if (m_gaps.size() < kKeptGaps)
        m_gaps.append(milliseconds);
}

QString ControllerState::summary() const
{
    const auto line = [](const QString &label, const QString &text) {
        return QStringLiteral("  %1%2\n").arg(padded(label, 12), text);
    };
    QString text = QStringLiteral("まとめ\n");
    QString clock = QStringLiteral("未設定");
    if (m_clock) {
        clock = QStringLiteral("%1 (%2)").arg(*m_clock == CommandKind::Clock2MHz
                                                  ? QStringLiteral("2 MHz")
                                                  : QStringLiteral("250 kHz"),
                                              rwlink::command_key(*m_clock));
    }
    text += line(QStringLiteral("クロック"), clock);
    text += line(QStringLiteral("RA 合計"), entry_text(m_ra_total));
    text += line(QStringLiteral("DEC 合計"), entry_text(m_dec_total));
    QString rate = entry_text(m_rate05);
    if (m_rate05) {
        rate += m_ra05_holds_rate ? QStringLiteral("、RA 05 番を置き換え (* 印)")
                                  : QStringLiteral("、その後 RA 05 行目で上書き");
    }
    text += line(QStringLiteral("レート 05"), rate);

    QStringList counts;
    for (const CommandKind kind : kAllKinds) {
        if (const int n = m_counts.value(kind))
            counts << QStringLiteral("%1 %2").arg(rwlink::command_key(kind)).arg(n);
    }
    text +=
        line(QStringLiteral("コマンド"),
             counts.isEmpty() ? QString::number(m_commands)
                              : QStringLiteral("%1 (%2)").arg(m_commands).arg(counts.join(", ")));

    if (const auto gaps = gap_stats()) {
        QString text_gaps = QStringLiteral("最小 %1 ms, 中央値 %2 ms, 最大 %3 ms")
                                .arg(gaps->min, 0, 'f', 1)
                                .arg(gaps->median, 0, 'f', 1)
                                .arg(gaps->max, 0, 'f', 1);
        if (m_gap_count > m_gaps.size())
            text_gaps += QStringLiteral(" (中央値は %2 件のうち最初の %1 件から)")
                             .arg(m_gaps.size())
                             .arg(m_gap_count);
        text += line(QStringLiteral("間隔"), text_gaps);
    }

    QStringList kind_counts;
    for (auto it = m_anomaly_kinds.cbegin(); it != m_anomaly_kinds.cend(); ++it)
        kind_counts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    QString anomaly_text =
        kind_counts.isEmpty()
            ? QStringLiteral("0")
            : QStringLiteral("%1 (%2)").arg(anomalies()).arg(kind_counts.join(", "));
    if (anomalies() > m_anomalies.size())
        anomaly_text += QStringLiteral("。一覧には最初の %1 件だけ").arg(m_anomalies.size());
    text += line(QStringLiteral("異常"), anomaly_text);

    text += QLatin1Char('\n') +
            table_text(QStringLiteral("RA の表"), m_ra, m_ra05_holds_rate ? kRateRow : 0);
    text += QLatin1Char('\n') + table_text(QStringLiteral("DEC の表"), m_dec, 0);
    return text;
}

QString ControllerState::table_text(const QString &title, const Table &table, int marked_row)
{
    QString text = title + QStringLiteral(" (行, 16 進, 10 進)\n");
    for (int line = 0; line < kRowsPerColumn; ++line) {
        QStringList cells;
        for (int column = 0; column < kColumns; ++column) {
            const int row = column * kRowsPerColumn + line + 1;
            const Entry &entry = table[row - 1];
            QString hex = QStringLiteral("----");
            QString decimal;
            if (entry) {
                hex = escaped(*entry);
                const auto number = rwlink::hex_value(*entry);
                decimal = number ? QString::number(*number) : QStringLiteral("?");
            }
            cells << QStringLiteral("%1 %2 %3%4")
                         .arg(row, 2, 10, QLatin1Char('0'))
                         .arg(hex.leftJustified(4), decimal.rightJustified(5),
                              row == marked_row ? QStringLiteral("*") : QStringLiteral(" "));
        }
        text += QLatin1Char(' ') + cells.join(QStringLiteral("  ")).trimmed() + QLatin1Char('\n');
    }
    return text;
}

std::optional<ControllerState::GapStats> ControllerState::gap_stats() const
{
    if (m_gaps.isEmpty())
        return std::nullopt;
    QList<double> sorted = m_gaps;
    std::sort(sorted.begin(), sorted.end());
    return GapStats{m_gap_min, sorted[sorted.size() / 2], m_gap_max};
}

QJsonObject ControllerState::to_json() const
{
    const auto table = [](const Table &entries) {
        QJsonArray array;
        for (const Entry &entry : entries)
            array << json_text(entry);
        return array;
    };
    QJsonObject counts;
    for (const CommandKind kind : kAllKinds)
        counts[rwlink::command_key(kind)] = m_counts.value(kind);
    QJsonArray anomaly_list;
    for (const Anomaly &anomaly : m_anomalies)
        anomaly_list << QJsonObject{{"kind", anomaly.kind}, {"detail", anomaly.detail}};

    const QString clock = clock_name(m_clock);
    return QJsonObject{
        {"clock", clock.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(clock)},
        {"clock_command",
         m_clock ? QJsonValue(rwlink::command_key(*m_clock)) : QJsonValue(QJsonValue::Null)},
        {"ra", table(m_ra)},
        {"dec", table(m_dec)},
        {"ra_total", json_text(m_ra_total)},
        {"dec_total", json_text(m_dec_total)},
        {"rate05", json_text(m_rate05)},
        {"ra05_holds_rate", m_ra05_holds_rate},
        {"commands", m_commands},
        {"command_counts", counts},
        {"anomalies", anomalies()},
        {"anomaly_list", anomaly_list},
        {"anomalies_dropped", anomalies() - m_anomalies.size()},
        {"gaps_ms",
         [this]() -> QJsonValue {
             const auto gaps = gap_stats();
             if (!gaps)
                 return QJsonValue::Null;
             return QJsonObject{{"min", gaps->min},
                                {"median", gaps->median},
                                {"max", gaps->max},
                                {"count", m_gap_count},
                                {"median_of", int(m_gaps.size())}};
         }()},
    };
}
