#pragma once

// For tests of code that must never wait on a FIFO: after a few seconds the
// watchdog opens the FIFO for reading and drains it, so a writer stuck there
// goes on and the test fails instead of hanging.

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class FifoWatchdog {
public:
    explicit FifoWatchdog(const QString &path)
        : m_thread([this, native = QFile::encodeName(path)] {
              std::unique_lock lock(m_mutex);
              if (m_done.wait_for(lock, std::chrono::seconds(5), [this] { return m_over; }))
                  return;
              const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK);
              while (!m_done.wait_for(lock, std::chrono::milliseconds(10),
                                      [this] { return m_over; })) {
                  char sink[4096];
                  while (fd >= 0 && ::read(fd, sink, sizeof sink) > 0) {
                  }
              }
              ::close(fd);
          })
    {
    }
    ~FifoWatchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_over = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_over = false;
    std::thread m_thread;
};
