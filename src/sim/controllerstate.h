#pragma once

// What the controller would hold after the frames seen so far: the base
// clock, both speed tables, both totals and the tracking rate in RA entry
// 05, as the texts that were sent, flaws and all. Also the tally of
// commands and of everything that was wrong on the line.

#include "commands.h"
#include "protocol.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <array>
#include <optional>

class ControllerState {
public:
    static constexpr int kRows = calc::kTableRows;

    struct Anomaly {
        QString kind; // a fixed key such as "stray_bytes", for scripts
        QString detail;
    };

    void apply(const rwlink::Command &command);
    // Every anomaly and gap is counted, but only so many are kept, so that
    // a flood of junk cannot eat the memory: the first anomaly lines, and
    // the gap samples the median is taken from.
    static constexpr qsizetype kKeptAnomalies = 1000;
    static constexpr qsizetype kKeptGaps = 100000;

    void note_anomaly(const QString &kind, const QString &detail);
    // The time between the ends of two consecutive frames, as received.
    void note_gap(double milliseconds);

    int commands() const { return m_commands; }
    qint64 anomalies() const { return m_anomaly_count; }
    qsizetype kept_anomalies() const { return m_anomalies.size(); }
    qsizetype kept_gaps() const { return m_gaps.size(); }

    // The summary for people: settings, counts and both tables in
    // hexadecimal and decimal, ten rows by five columns like the window.
    QString summary() const;

    // The same for scripts; every key is always present, unset values null.
    QJsonObject to_json() const;

private:
    using Entry = std::optional<QByteArray>;
    using Table = std::array<Entry, kRows>;

    static QString table_text(const QString &title, const Table &table, int marked_row);
    struct GapStats {
        double min = 0;
        double median = 0; // of the kept samples
        double max = 0;
    };
    std::optional<GapStats> gap_stats() const;

    std::optional<rwlink::CommandKind> m_clock;
    Table m_ra;
    Table m_dec;
    Entry m_ra_total;
    Entry m_dec_total;
    Entry m_rate05;
    // A rate replaces RA entry 05 in the controller until a row 05 follows.
    bool m_ra05_holds_rate = false;
    QMap<rwlink::CommandKind, int> m_counts;
    int m_commands = 0;
    QList<Anomaly> m_anomalies;
    QMap<QString, qint64> m_anomaly_kinds;
    qint64 m_anomaly_count = 0;
    QList<double> m_gaps;
    qint64 m_gap_count = 0;
    double m_gap_min = 0;
    double m_gap_max = 0;
};
