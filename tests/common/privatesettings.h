#pragma once

// What the person running the tests keeps never reaches a test: a
// configuration folder of the test's own (port assignments, recent mount
// files), a state folder of its own (the send record) and no RW7300_COMn
// override from their shell.

#include "scopedenv.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class PrivateSettings {
public:
    PrivateSettings()
        : m_config_home("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit()),
          m_state_home("XDG_STATE_HOME", (m_dir.path() + QStringLiteral("/state")).toLocal8Bit())
    {
        for (int n = 1; n <= 20; ++n)
            m_no_overrides.push_back(std::make_unique<ScopedEnv>(
                ("RW7300_COM" + QByteArray::number(n)).constData(), QByteArray()));
    }

    bool ok() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString state_path() const { return m_dir.path() + QStringLiteral("/state"); }

private:
    QTemporaryDir m_dir;
    ScopedEnv m_config_home;
    ScopedEnv m_state_home;
    std::vector<std::unique_ptr<ScopedEnv>> m_no_overrides;
};
