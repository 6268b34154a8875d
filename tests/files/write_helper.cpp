// Writes a file through the atomic writer in a process of its own, so a test
// can give it a file-size limit (a full disk that root cannot bypass).
// usage: write_helper PATH SIZE [FSIZE_LIMIT]

#include "atomicfile.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

int main(int argc, char *argv[])
{
    if (argc < 3)
        return 2;
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
