#pragma once

// The system beep is the window's only feedback for several actions, so
// every beep goes through here, where tests can count them.

namespace app {

void system_beep();
int beep_count();

} // namespace app
