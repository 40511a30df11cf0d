#pragma once
// Building the fixed page layouts: positions and sizes in twips, the designed fonts, and one maker per
// kind of control. Every control gets its designed name as object name.
#include <QFont>
#include <QRect>
#include <initializer_list>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QString;
class QTableView;
class QWidget;

namespace app {

// 15 twips to a pixel (1/1440 inch at 96 dots per inch), rounded to the nearest pixel.
constexpr int twipsToPixels(int twips) {
    return (twips + 7) / 15;
}
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

struct Twips {
    int left, top, width, height;
};

QFont textFont();            // frames, labels, text and list boxes, grids: Arial 9 pt bold
QFont buttonFont();          // push-button captions: Arial 11.25 pt bold
QFont windowFont(bool bold); // a window's own font: Arial 9 pt

QPushButton* makePushButton(QWidget* parent, const char* name, const QString& caption, Twips at);
QGroupBox* makeFrame(QWidget* parent, const char* name, const QString& caption, Twips at);
QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, Twips at);
QLineEdit* makeTextBox(QWidget* parent, const char* name, Twips at);
QListWidget* makeListBox(QWidget* parent, const char* name, Twips at);
QTableView* makeDataGrid(QWidget* parent, const char* name, Twips at);
QProgressBar* makeProgressBar(QWidget* parent, const char* name, Twips at);

// What a control does, for its tool tip and as its name for screen readers (for buttons without words).
void describe(QWidget* control, const char* whatItDoes);

// Shows every character of the box as one "*".
void maskWithAsterisks(QLineEdit* box);

// The keyboard order of the controls that can take the focus, in the order given (others are skipped).
void setTabOrder(std::initializer_list<QWidget*> order);

} // namespace app
