// Writes a file through the atomic writer in a process of its own, so a test
// can give it a file-size limit (a full disk that root cannot bypass).
// usage: write_helper PATH SIZE [FSIZE_LIMIT]
//        write_helper --die-holding-lock STORE (takes the store's lock, then
//        is killed, as a run stopped mid-change would leave it)
//        write_helper --append-records RECORDS COUNT TAG (appends COUNT send
//        records, port TAG, planned 1 … COUNT, as fast as it can)
//        [FSIZE_LIMIT] (exit 1 at the first append that fails, saying
//        "failed: FAULT PID HELD_MS TURNS", the lock's holder when it is Locked)

#include "atomicfile.h"
#include "sendrecord.h"

#include <QByteArray>
#include <QLockFile>
#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {

bool limit_file_size(rlim_t limit)
{
    const rlimit rl{limit, limit};
    std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
    return setrlimit(RLIMIT_FSIZE, &rl) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3)
        return 2;
    if (std::strcmp(argv[1], "--die-holding-lock") == 0) {
        QLockFile lock(QString::fromLocal8Bit(argv[2]) + QStringLiteral(".lock"));
        if (!lock.tryLock(0))
            return 2;
        std::raise(SIGKILL);
    }
    if (std::strcmp(argv[1], "--append-records") == 0 && argc >= 5) {
        if (argc > 5 && !limit_file_size(std::strtoull(argv[5], nullptr, 10)))
            return 2;
        files::SendRecord record;
        record.started = record.ended = QDateTime::currentDateTime();
        record.port = QString::fromLocal8Bit(argv[4]);
        record.result = files::SendRecord::Result::Cancelled; // nothing of planned sent
        for (int n = 1; n <= std::atoi(argv[3]); ++n) {
            record.planned = n;
            const files::WriteOutcome outcome =
                files::append_record(QString::fromLocal8Bit(argv[2]), record);
            if (!outcome.ok) {
                const files::LockHolder &h = outcome.holder;
                std::printf("failed: %d %lld %lld %d %s\n", int(outcome.fault), h.pid,
                            static_cast<long long>(h.held.count()), h.turns,
                            qPrintable(outcome.error));
                return 1;
            }
        }
        return 0;
    }
    if (argc > 3 && !limit_file_size(std::strtoull(argv[3], nullptr, 10)))
        return 2;
    const QByteArray bytes(std::atoi(argv[2]), 'n');
    const files::WriteOutcome outcome =
        files::write_atomically(QString::fromLocal8Bit(argv[1]), bytes);
    if (outcome.ok) {
        std::puts("ok");
        return 0;
    }
    std::printf("failed: %s\n", qPrintable(outcome.error));
    return 1;
}
