#pragma once

// SIGINT and SIGTERM as Qt signals. The handler only writes the signal's
// number into a pipe, which is all a handler may safely do; the event loop
// reads it and emits caught().

#include <QObject>

#include <initializer_list>

class QSocketNotifier;

class SignalWatch : public QObject {
    Q_OBJECT

public:
    // One watch per program: the handler writes to a single pipe.
    explicit SignalWatch(std::initializer_list<int> signal_numbers, QObject *parent = nullptr);
    ~SignalWatch() override;

    bool ok() const { return m_notifier != nullptr; }

signals:
    void caught(int signal_number);

private:
    static void handler(int signal_number);
    void on_readable();

    int m_read_end = -1;
    QSocketNotifier *m_notifier = nullptr;
};
