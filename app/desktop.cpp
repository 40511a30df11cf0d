#include "app/desktop.h"

#include "app/qt_desktop.h"

namespace app {

namespace {
Desktop*& installed() {
    static Desktop* d = nullptr;
    return d;
}
} // namespace

Desktop& desktop() {
    if (installed())
        return *installed();
    static QtDesktop qtDesktop;
    return qtDesktop;
}

void setDesktop(Desktop* d) {
    installed() = d;
}

} // namespace app
