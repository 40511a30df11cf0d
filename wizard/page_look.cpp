#include "wizard/page_look.h"

#include "app/appearance.h"
#include "app/pointer.h"
#include "app/program.h"
#include "core/trap.h"

#include <QWidget>

namespace wizard {

void loadPageLook(QWidget& page, core::Trap& trap) {
    trap.run(100, [&] { app::ApplyFormColours(page); });
    trap.run(102, [&] { page.setWindowIcon(app::mainIcon()); });
    if (trap.test(106, [&] { return app::FileExists(app::handCursorPath()); }))
        trap.run(108, [&] { app::setCustomPointerImage(&page, app::loadPointerImage(app::handCursorPath())); });
    trap.run(110, [&] { page.setWindowTitle(QString::fromUtf8(core::kProductName)); });
}

} // namespace wizard
