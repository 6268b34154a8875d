#pragma once

// Sets an environment variable for one scope and puts back what was there,
// also when a failed check leaves the test early.

#include <QByteArray>
#include <QtGlobal>

class ScopedEnv {
public:
    // A null value unsets the variable for the scope.
    ScopedEnv(const char *name, const QByteArray &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name.constData(), m_old);
        else
            qunsetenv(m_name.constData());
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    QByteArray m_name;
    bool m_had;
    QByteArray m_old;
};
