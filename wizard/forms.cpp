#include "wizard/forms.h"

#include "app/program.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"

namespace wizard {

namespace {
Form1* g_form1 = nullptr;
Form2* g_form2 = nullptr;
Form3* g_form3 = nullptr;
Form4* g_form4 = nullptr;

// The page is known before its load runs, so the load may already refer to it.
template <class F> F& loadOnFirstUse(F*& page) {
    if (!page) {
        page = new F;
        page->Form_Load();
    }
    return *page;
}

template <class F> void unload(F*& page) {
    delete page;
    page = nullptr;
}
} // namespace

Form1& form1() {
    return loadOnFirstUse(g_form1);
}
Form2& form2() {
    return loadOnFirstUse(g_form2);
}
Form3& form3() {
    return loadOnFirstUse(g_form3);
}
Form4& form4() {
    return loadOnFirstUse(g_form4);
}

bool isLoaded(int page) {
    switch (page) {
    case 1:
        return g_form1 != nullptr;
    case 2:
        return g_form2 != nullptr;
    case 3:
        return g_form3 != nullptr;
    case 4:
        return g_form4 != nullptr;
    default:
        return false;
    }
}

void startUp() {
    Form1& first = form1();
    if (app::programEnding())
        return;
    const bool movedOn =
        (g_form2 && g_form2->isVisible()) || (g_form3 && g_form3->isVisible()) || (g_form4 && g_form4->isVisible());
    if (!movedOn)
        first.show();
}

void unloadAll() {
    unload(g_form4);
    unload(g_form3);
    unload(g_form2);
    unload(g_form1);
}

} // namespace wizard
