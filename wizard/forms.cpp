#include "wizard/forms.h"

#include "app/program.h"
#include "db/wait_yield.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"

#include <QCoreApplication>
#include <memory>

namespace wizard {

namespace {
// The pages live from first use until unloadAll (at the latest, the end of the program).
struct Pages {
    std::unique_ptr<Form1> form1;
    std::unique_ptr<Form2> form2;
    std::unique_ptr<Form3> form3;
    std::unique_ptr<Form4> form4;
};

// Never destroyed: ending the program at once must not run the pages' destructors after the toolkit has
// gone.
Pages& pages() {
    static Pages* const held = new Pages;
    return *held;
}

// The page is known before its load runs, so the load may already refer to it.
template <class F> F& loadOnFirstUse(std::unique_ptr<F>& page) {
    if (!page) {
        page = std::make_unique<F>();
        page->Form_Load();
    }
    return *page;
}
} // namespace

Form1& form1() {
    return loadOnFirstUse(pages().form1);
}
Form2& form2() {
    return loadOnFirstUse(pages().form2);
}
Form3& form3() {
    return loadOnFirstUse(pages().form3);
}
Form4& form4() {
    return loadOnFirstUse(pages().form4);
}

bool isLoaded(int page) {
    switch (page) {
    case 1:
        return pages().form1 != nullptr;
    case 2:
        return pages().form2 != nullptr;
    case 3:
        return pages().form3 != nullptr;
    case 4:
        return pages().form4 != nullptr;
    default:
        return false;
    }
}

void startUp() {
    // Waits for a server (connecting, listing, a run) let the windows repaint and take input.
    db::setWaitYield([] { QCoreApplication::processEvents(); });
    Form1& first = form1();
    if (app::programEnding())
        return;
    const Pages& p = pages();
    const bool movedOn = (p.form2 && p.form2->isVisible()) || (p.form3 && p.form3->isVisible()) ||
                         (p.form4 && p.form4->isVisible());
    if (!movedOn)
        first.show();
}

void unloadAll() {
    Pages& p = pages();
    p.form4.reset();
    p.form3.reset();
    p.form2.reset();
    p.form1.reset();
}

} // namespace wizard
