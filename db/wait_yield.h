#pragma once
// While the layer waits for a server (connecting, a statement, rows), a front end with a window lets that
// window repaint and take input: it installs a function here, which the layer calls every few dozen
// milliseconds of waiting. The layer knows nothing of windows; without a function nothing is called.
#include <chrono>

namespace db {

using WaitYield = void (*)();

// Installs `yield` (nullptr: none). The layer calls it from the thread that waits.
void setWaitYield(WaitYield yield);

// How long a wait runs before the installed function is called again.
constexpr std::chrono::milliseconds kWaitYieldInterval{30};

// Whether a function is installed and not held back by a NoWaitYield.
bool waitYieldActive();
// Calls the installed function, unless none is installed or a NoWaitYield holds it back.
void yieldWhileWaiting();

// Holds the function back while it lives: for waits inside work the window itself does (a grid fetching
// rows while it paints), where letting events through would run that work again from within.
class NoWaitYield {
public:
    NoWaitYield();
    ~NoWaitYield();
    NoWaitYield(const NoWaitYield&) = delete;
    NoWaitYield& operator=(const NoWaitYield&) = delete;
};

} // namespace db
