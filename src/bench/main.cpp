// Timing samples for `make bench`: the Calculate action in the real window
// (click to the last box written, listing included) and the calculation
// core alone. Prints one sample in milliseconds per line; scripts/bench
// takes the median, minimum and maximum.
// usage: rw7300-bench window-calculate|core-calculate|core-advise RUNS

#include "advisor.h"
#include "calculate.h"
#include "form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void print_sample(qint64 nanoseconds)
{
    std::printf("%.4f\n", nanoseconds / 1e6);
}

int window_calculate(int runs)
{
    QTemporaryDir dir; // the listing is written here on every click
    app::Form1 window(dir.path());
    window.show();
    auto *calculate = window.findChild<QPushButton *>(QStringLiteral("Command1"));
    for (int i = 0; i < runs; ++i) {
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        calculate->click();
        print_sample(timer.nsecsElapsed());
    }
    return 0;
}

int core_calculate(int runs)
{
    const calc::CalcInput input;
    std::size_t sink = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const calc::CalcResult result = calc::calculate(input);
        sink += std::get<calc::CalcOutput>(result).ra.hex_rows[0].size();
        print_sample(timer.nsecsElapsed());
    }
    return sink == 0 ? 1 : 0;
}

// Every clock and factor of both axes, as the 精度 dialog asks for them.
int core_advise(int runs)
{
    const calc::CalcInput input;
    int sink = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const calc::Advice advice = calc::advise(input.ra, input.dec, input.base_clock);
        sink += advice.ra_microstep;
        print_sample(timer.nsecsElapsed());
    }
    return sink == 0 ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int runs = args.size() > 2 ? args[2].toInt() : 0;
    if (runs <= 0 || args.size() != 3) {
        std::fprintf(stderr,
                     "usage: rw7300-bench window-calculate|core-calculate|core-advise RUNS\n");
        return 2;
    }
    if (args[1] == QLatin1String("window-calculate"))
        return window_calculate(runs);
    if (args[1] == QLatin1String("core-calculate"))
        return core_calculate(runs);
    if (args[1] == QLatin1String("core-advise"))
        return core_advise(runs);
    std::fprintf(stderr, "rw7300-bench: unknown measurement %s\n", qPrintable(args[1]));
    return 2;
}
