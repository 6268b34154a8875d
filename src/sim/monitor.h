#pragma once

// The simulator's core: takes the bytes as they arrive, prints one line per
// frame with its timing and meaning, flags whatever is wrong on a line of
// its own, keeps the controller's state and prints the summary at the end.

#include "controllerstate.h"
#include "pacing.h"
#include "protocol.h"

#include <QObject>
#include <QTextStream>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <optional>

class Monitor : public QObject {
    Q_OBJECT

public:
    struct Settings {
        // Quiet time after the last byte that ends the run; none: run until
        // a signal. Counted only once something has arrived, so a simulator
        // started before the tool waits for it however long it takes.
        std::optional<std::chrono::milliseconds> idle_exit;
        // Frames ending closer together than this, less the tolerance, are
        // flagged; zero: never. The tolerance is for the scheduling of this
        // reader, which sees a byte a little after it arrives: a gap paced
        // right at the writer can look a few milliseconds short here.
        std::chrono::microseconds min_gap = rwlink::kCommandGap;
        std::chrono::microseconds gap_tolerance = std::chrono::milliseconds(5);
        // Frame lines to stderr, and the summary as one JSON object on stdout.
        bool json = false;
    };

    explicit Monitor(const Settings &settings, QObject *parent = nullptr);

    void take(const QByteArray &bytes);

    // Reports what is left of the stream and prints the summary; only the
    // first call does anything.
    void finish();

signals:
    void idle();

private:
    void show(const rwlink::LineEvent &event);
    void show_frame(const rwlink::LineEvent &event);
    void flag(rwlink::Timestamp at, const QString &kind, const QString &detail);
    QString time_column(rwlink::Timestamp at);
    rwlink::Timestamp now() const;

    Settings m_settings;
    std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
    rwlink::FrameDecoder m_decoder;
    ControllerState m_state;
    QTimer m_idle_timer;
    std::optional<rwlink::Timestamp> m_origin;
    std::optional<rwlink::Timestamp> m_last_frame_end;
    QTextStream m_lines;
    QTextStream m_stdout;
    bool m_colour = false;
    bool m_finished = false;
};
