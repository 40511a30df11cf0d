#include "db/wait_yield.h"

namespace db {

namespace {
WaitYield g_yield = nullptr;
int g_heldBack = 0;
bool g_inside = false;
} // namespace

void setWaitYield(WaitYield yield) {
    g_yield = yield;
}

bool waitYieldActive() {
    return g_yield && g_heldBack == 0 && !g_inside;
}

void yieldWhileWaiting() {
    if (!waitYieldActive())
        return;
    // A wait that starts inside the function (an event handler reaching the server) does not call it again.
    g_inside = true;
    try {
        g_yield();
    } catch (...) {
        g_inside = false;
        throw;
    }
    g_inside = false;
}

NoWaitYield::NoWaitYield() {
    ++g_heldBack;
}

NoWaitYield::~NoWaitYield() {
    --g_heldBack;
}

} // namespace db
