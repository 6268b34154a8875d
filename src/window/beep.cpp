#include "beep.h"

#include <QApplication>

namespace app {

namespace {
int g_beeps = 0;
}

void system_beep()
{
    ++g_beeps;
    QApplication::beep();
}

int beep_count()
{
    return g_beeps;
}

} // namespace app
