#include "app/layouts.h"

#include "app/appearance.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <vector>

namespace app {

namespace {
template <class W> W* place(W* w, const char* name, Twips at) {
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(twipsRect(at.left, at.top, at.width, at.height));
    return w;
}
} // namespace

QFont textFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(9);
    f.setBold(true);
    return f;
}

QFont buttonFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(11.25);
    f.setBold(true);
    return f;
}

QFont windowFont(bool bold) {
    QFont f(QStringLiteral("Arial"));
    f.setPointSizeF(9);
    f.setBold(bold);
    return f;
}

QPushButton* makePushButton(QWidget* parent, const char* name, const QString& caption, Twips at) {
    auto* b = place(new QPushButton(caption, parent), name, at);
    b->setFont(buttonFont());
    setColour(b, QPalette::Button, colourFromValue(kDesignWhite));
    setColour(b, QPalette::ButtonText, colourFromValue(kButtonTextColour));
    // A disabled button keeps the greyed text of the system, so a page shows which buttons it holds back.
    QPalette greyed = b->palette();
    greyed.setColor(QPalette::Disabled, QPalette::ButtonText,
                    QApplication::palette().color(QPalette::Disabled, QPalette::ButtonText));
    b->setPalette(greyed);
    b->setAutoDefault(false);
    return b;
}

QGroupBox* makeFrame(QWidget* parent, const char* name, const QString& caption, Twips at) {
    auto* f = place(new QGroupBox(caption, parent), name, at);
    f->setFont(textFont());
    f->setAutoFillBackground(true);
    setColour(f, QPalette::Window, colourFromValue(kDesignWhite));
    return f;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, Twips at) {
    auto* l = place(new QLabel(caption, parent), name, at);
    l->setFont(textFont());
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setAutoFillBackground(true);
    setColour(l, QPalette::Window, colourFromValue(kDesignWhite));
    return l;
}

QLineEdit* makeTextBox(QWidget* parent, const char* name, Twips at) {
    auto* t = place(new QLineEdit(parent), name, at);
    t->setFont(textFont());
    return t;
}

QListWidget* makeListBox(QWidget* parent, const char* name, Twips at) {
    auto* l = place(new QListWidget(parent), name, at);
    l->setFont(textFont());
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setSortingEnabled(false);
    return l;
}

QTableView* makeDataGrid(QWidget* parent, const char* name, Twips at) {
    auto* g = place(new QTableView(parent), name, at);
    g->setFont(textFont());
    g->horizontalHeader()->setFont(textFont());
    g->verticalHeader()->setFont(textFont());
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setTabKeyNavigation(false); // Tab leaves the grid for the next control, as on the other controls
    // One line of text per row, as a data sheet shows it: a long value is cut, not wrapped into a tall row,
    // so the small preview still shows several rows.
    g->setWordWrap(false);
    g->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    g->verticalHeader()->setDefaultSectionSize(QFontMetrics(textFont()).height() + 6);
    return g;
}

QProgressBar* makeProgressBar(QWidget* parent, const char* name, Twips at) {
    auto* p = place(new QProgressBar(parent), name, at);
    p->setRange(0, 100);
    p->setValue(0);
    p->setTextVisible(false);
    return p;
}

void describe(QWidget* control, const char* whatItDoes) {
    control->setToolTip(QString::fromUtf8(whatItDoes));
    control->setAccessibleName(QString::fromUtf8(whatItDoes));
}

void maskWithAsterisks(QLineEdit* box) {
    box->setEchoMode(QLineEdit::Password);
    // The style's own mask character is a bullet on most platforms; the box shows "*".
    box->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

void setTabOrder(std::initializer_list<QWidget*> order) {
    std::vector<QWidget*> focusable;
    for (QWidget* w : order)
        if (w->focusPolicy() & Qt::TabFocus)
            focusable.push_back(w);
    for (std::size_t i = 1; i < focusable.size(); ++i)
        QWidget::setTabOrder(focusable[i - 1], focusable[i]);
}

} // namespace app
