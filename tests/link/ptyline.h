#pragma once

// A pseudo-terminal standing in for the controller. The link opens the slave
// side as Com<n> through RW7300_COM<n> (a symlink in a private directory, so
// QSerialPort's lock file is private too); the test reads the master side.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>

class PtyLine {
public:
    explicit PtyLine(int port_number);
    ~PtyLine();
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    bool ok() const { return m_master >= 0; }
    int master() const { return m_master; }
    QString path() const { return m_path; }

    // Everything that arrives until the line has been quiet for a while.
    QByteArray read_all(std::chrono::milliseconds quiet = std::chrono::milliseconds(60));

    // Closes the master side: to the link, the controller has vanished.
    void hang_up();

    // The bodies of a run of "#:" … "#" frames; anything else becomes a
    // "<junk …>" entry so that it shows in a comparison.
    static QStringList bodies(const QByteArray &bytes);

private:
    QTemporaryDir m_dir;
    QByteArray m_variable;
    QString m_path;
    int m_master = -1;
    int m_slave = -1;
};
