#include "app/pointer.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWidget>

namespace app {

namespace {
const char* const kStyleProperty = "rowsifterPointerStyle";
const char* const kImageProperty = "rowsifterPointerImage";
const char* const kSavedProperty = "rowsifterOwnPointer"; // the control's own cursor while the window's applies
const char* const kRuleProperty = "rowsifterPointerRule";

enum Rule { NoRule = 0, HandRule = 1, DefaultRule = 2 };

QList<QWidget*> windowTree(QWidget* window) {
    QList<QWidget*> all{window};
    all += window->findChildren<QWidget*>();
    return all;
}

// The window's pointer over every control, remembering the controls' own pointers.
// A greyed push button cannot be clicked, so it never shows the hand.
bool handWithheld(const QWidget* w) {
    return w->property(kRuleProperty).toInt() == HandRule && !w->isEnabled();
}

void applyToTree(QWidget* window, const QCursor& cursor, bool hand) {
    for (QWidget* w : windowTree(window)) {
        if (!w->property(kSavedProperty).isValid()) {
            const bool own = w->testAttribute(Qt::WA_SetCursor);
            w->setProperty(kSavedProperty, own ? QVariant::fromValue(w->cursor()) : QVariant(false));
        }
        w->setCursor(hand && handWithheld(w) ? QCursor(Qt::ArrowCursor) : cursor);
    }
}

void restoreTree(QWidget* window) {
    for (QWidget* w : windowTree(window)) {
        const QVariant saved = w->property(kSavedProperty);
        if (!saved.isValid())
            continue;
        if (saved.typeId() == QMetaType::QCursor)
            w->setCursor(saved.value<QCursor>());
        else
            w->unsetCursor();
        w->setProperty(kSavedProperty, QVariant());
    }
}

class HoverRules : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* w = static_cast<QWidget*>(watched);
        QWidget* window = w->window();
        if (event->type() == QEvent::EnabledChange && w->property(kRuleProperty).toInt() == HandRule &&
            pointerStyle(window) == PointerCustom && hasCustomPointerImage(window)) {
            w->setCursor(w->isEnabled() ? window->property(kImageProperty).value<QCursor>() : QCursor(Qt::ArrowCursor));
        } else if (event->type() == QEvent::MouseMove) {
            const int rule = w->property(kRuleProperty).toInt();
            if (rule != NoRule && pointerStyle(window) != PointerBusy) {
                const int wanted = rule == HandRule && w->isEnabled() ? PointerCustom : PointerDefault;
                if (pointerStyle(window) != wanted)
                    setPointer(window, wanted);
            }
        }
        return false;
    }
};

HoverRules& hoverRules() {
    static HoverRules rules;
    return rules;
}

void addRule(QWidget* control, Rule rule);

void watch(QWidget* w, Rule rule) {
    w->setProperty(kRuleProperty, rule);
    w->setMouseTracking(true);
    w->installEventFilter(&hoverRules());
}

void addRule(QWidget* control, Rule rule) {
    watch(control, rule);
    // List boxes and grids receive the mouse in their inner parts; a grid's header row and row numbers
    // are scroll areas of their own, with inner parts again.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control)) {
        watch(area->viewport(), rule);
        watch(area->horizontalScrollBar(), rule);
        watch(area->verticalScrollBar(), rule);
        for (QWidget* part : area->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (part->property(kRuleProperty).toInt() == NoRule)
                addRule(part, rule);
    }
}
} // namespace

void setPointer(QWidget* window, int style) {
    window->setProperty(kStyleProperty, style);
    if (style == PointerBusy)
        applyToTree(window, QCursor(Qt::WaitCursor), false);
    else if (style == PointerCustom && hasCustomPointerImage(window))
        applyToTree(window, window->property(kImageProperty).value<QCursor>(), true);
    else
        restoreTree(window);
}

int pointerStyle(const QWidget* window) {
    return window->property(kStyleProperty).toInt();
}

void setCustomPointerImage(QWidget* window, const QCursor& image) {
    window->setProperty(kImageProperty, QVariant::fromValue(image));
}

bool hasCustomPointerImage(const QWidget* window) {
    return window->property(kImageProperty).isValid();
}

void addHandRule(QWidget* control) {
    addRule(control, HandRule);
}
void addDefaultRule(QWidget* control) {
    addRule(control, DefaultRule);
}

Qt::CursorShape shownPointerShape(const QWidget* control) {
    for (const QWidget* w = control; w; w = w->isWindow() ? nullptr : w->parentWidget())
        if (w->testAttribute(Qt::WA_SetCursor))
            return w->cursor().shape();
    return Qt::ArrowCursor;
}

} // namespace app
