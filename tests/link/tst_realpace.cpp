#include "actions.h"
#include "ptyline.h"
#include "seriallink.h"

#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace rwlink;
using Steady = std::chrono::steady_clock;

namespace {

// Every box holds the same text; only the pacing is under test here.
class SameBoxes : public UploadSource {
public:
    QString combo_text() override { return "Com12"; }
    std::int32_t base_clock() override { return calc::kClock2MHz; }
    QString ra_row(int) override { return "57A7"; }
    QString dec_row(int) override { return "74DE"; }
    QString ra_total() override { return "EA6000"; }
    QString dec_total() override { return "AFC800"; }
    void ra_progress(int) override {}
    void dec_progress(int) override {}
};

double cpu_seconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Stamps each frame as its closing "#" arrives, on a thread of its own so
// that the link's event loop has no say in the timing.
class Receiver {
public:
    Receiver(int fd, std::size_t frames) : m_frames(frames), m_thread([this, fd] { run(fd); }) {}
    ~Receiver() { finish(std::chrono::milliseconds(0)); }

    // Returns once every frame is in, or grace after the call.
    void finish(std::chrono::milliseconds grace)
    {
        m_deadline = (Steady::now() + grace).time_since_epoch().count();
        if (m_thread.joinable())
            m_thread.join();
    }

    std::vector<Steady::time_point> arrivals;

private:
    void run(int fd)
    {
        pollfd wanted{fd, POLLIN, 0};
        while (arrivals.size() < m_frames &&
               Steady::now().time_since_epoch().count() < m_deadline) {
            if (::poll(&wanted, 1, 20) <= 0)
                continue;
            char chunk[256];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            const auto now = Steady::now();
            for (ssize_t i = 0; i < n; ++i) {
                if (chunk[i] != '#')
                    continue;
                if (m_in_frame)
                    arrivals.push_back(now);
                m_in_frame = !m_in_frame;
            }
        }
    }

    const std::size_t m_frames;
    std::atomic<Steady::rep> m_deadline = std::numeric_limits<Steady::rep>::max();
    bool m_in_frame = false;
    std::thread m_thread;
};

} // namespace

class tst_RealPace : public QObject {
    Q_OBJECT

private slots:
    void uploadAtRealPace();
};

void tst_RealPace::uploadAtRealPace()
{
    PtyLine line(12);
    QVERIFY(line.ok());
    SerialLink link; // the system clock
    SameBoxes boxes;
    Receiver receiver(line.master(), 109);

    const double cpu_before = cpu_seconds();
    const auto start = Steady::now();
    const ActionResult result = upload(link, boxes);
    const auto took = Steady::now() - start;
    const double cpu = cpu_seconds() - cpu_before;
    receiver.finish(std::chrono::milliseconds(500));

    QVERIFY2(result.ok(), qPrintable(result.error_text));
    QCOMPARE(int(receiver.arrivals.size()), 109);
    std::vector<double> gaps;
    for (size_t i = 1; i < receiver.arrivals.size(); ++i)
        gaps.push_back(std::chrono::duration<double, std::milli>(receiver.arrivals[i] -
                                                                 receiver.arrivals[i - 1])
                           .count());
    std::sort(gaps.begin(), gaps.end());
    const double seconds = std::chrono::duration<double>(took).count();
    qInfo("upload %.3f s, CPU %.3f s; gaps min %.3f ms, median %.3f ms, max %.3f ms", seconds, cpu,
          gaps.front(), gaps[gaps.size() / 2], gaps.back());
    QVERIFY2(gaps.front() >= 150.0, "two commands less than 150 ms apart");
    QVERIFY2(seconds < 16.6, "the waits overrun");
    // Polling the counter for 16 s would cost about as much CPU time.
    QVERIFY2(cpu < 1.5, "the waits keep the processor busy");
}

QTEST_GUILESS_MAIN(tst_RealPace)
#include "tst_realpace.moc"
