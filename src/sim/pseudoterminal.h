#pragma once

// The simulator's own end of a new pseudo-terminal: the tool opens the
// slave device as if it were the controller's serial port, and whatever it
// writes arrives here on the master.

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

class PseudoTerminal : public QObject {
    Q_OBJECT

public:
    explicit PseudoTerminal(QObject *parent = nullptr);
    ~PseudoTerminal() override;

    // Creates the pair, sets the line raw and starts listening. False, with
    // error_text(), when the system has no pseudo-terminal to give.
    bool open();

    // Makes path a symbolic link to the slave device, replacing an old link
    // (but nothing else) that is there; removed again on destruction if it
    // still points here. Call once listening, as scripts wait for the link
    // to appear before they write.
    bool publish(const QString &path);

    QString device() const { return m_device; }
    QString error_text() const { return m_error_text; }

signals:
    void received(const QByteArray &bytes);
    void lost(const QString &reason);

private:
    void on_readable();

    int m_master = -1;
    // Held open for as long as we listen: with no slave open the master
    // reads as hung up, and the tool opens and closes the port per action.
    int m_slave = -1;
    QString m_device;
    QString m_link;
    QString m_error_text;
    QSocketNotifier *m_notifier = nullptr;
};
