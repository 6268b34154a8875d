#pragma once

// Starts a program of this build from a test. A cross build's tests run
// under an emulator, and without binfmt_misc the kernel cannot start the
// build's own programs either, so the emulator goes in front of them too.
// CTest hands it over in RW7300_EMULATOR (words split at blanks); a native
// build leaves it unset and the program starts as it is.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

inline QStringList emulator_words()
{
    return qEnvironmentVariable("RW7300_EMULATOR")
        .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

inline void start_program(QProcess &process, const QString &program,
                          const QStringList &arguments = {})
{
    QStringList words = emulator_words();
    if (words.isEmpty()) {
        process.start(program, arguments);
        return;
    }
    const QString emulator = words.takeFirst();
    process.start(emulator, words + QStringList{program} + arguments);
}

// The program as the first words of a sh command line, each word quoted.
inline QString shell_command(const QString &program)
{
    QString line;
    for (QString word : emulator_words() + QStringList{program})
        line += QLatin1Char('\'') + word.replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                QStringLiteral("' ");
    line.chop(1);
    return line;
}
