#include "wizard/wizard_selections.h"

namespace wizard {

WizardSelections& selections() {
    static WizardSelections s;
    return s;
}

} // namespace wizard
