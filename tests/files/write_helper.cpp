// Writes a file through the atomic writer in a process of its own, so a test
// can give it a file-size limit (a full disk that root cannot bypass).
// usage: write_helper PATH SIZE [FSIZE_LIMIT]
//        write_helper --die-holding-lock STORE (takes the store's lock, then
//        is killed, as a run stopped mid-change would leave it)

#include "atomicfile.h"

#include <QByteArray>
#include <QLockFile>
#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

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
    if (argc > 3) {
        const rlim_t limit = std::strtoull(argv[3], nullptr, 10);
        const rlimit rl{limit, limit};
        std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0)
            return 2;
    }
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
