#include "app/appearance.h"

#include "app/program_folder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>
#include <stdexcept>

// The icon images live in this static library; the linker keeps them only when asked for by name.
static void initIconResources() {
    Q_INIT_RESOURCE(rowsifter);
}

namespace app {

namespace {
QPalette::ColorRole systemRole(unsigned index) {
    switch (index) {
    case 5: // window background
        return QPalette::Base;
    case 8: // window text
        return QPalette::Text;
    case 13: // selected item
        return QPalette::Highlight;
    case 14: // selected item text
        return QPalette::HighlightedText;
    case 16: // button shadow
        return QPalette::Dark;
    case 18: // button text
        return QPalette::ButtonText;
    case 20: // button highlight
        return QPalette::Light;
    case 23: // tool tip text
        return QPalette::ToolTipText;
    case 24: // tool tip background
        return QPalette::ToolTipBase;
    case 15: // button face
    default:
        return QPalette::Button;
    }
}

void recolourToFace(QWidget& window) {
    const QColor face = colourFromValue(kButtonFace);
    window.setAutoFillBackground(true);
    setColour(&window, QPalette::Window, face);
    for (QWidget* control : window.findChildren<QWidget*>())
        if (takesBackgroundColour(control))
            setColour(control, QPalette::Window, face);
}
} // namespace

QColor colourFromValue(std::uint32_t value) {
    if (value & 0x80000000u)
        return QApplication::palette().color(QPalette::Active, systemRole(value & 0xFFu));
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

bool takesBackgroundColour(const QWidget* control) {
    return qobject_cast<const QGroupBox*>(control) || qobject_cast<const QLabel*>(control) ||
           qobject_cast<const QCheckBox*>(control) || qobject_cast<const QRadioButton*>(control);
}

void ApplyFormColours(QWidget& window) {
    recolourToFace(window);
}

std::string skinPath() {
    return skinFile();
}

void ApplySkin(QWidget& databasePage) {
    const std::string path = skinPath();
    if (!QFileInfo(QString::fromStdString(path)).isFile())
        return;
    recolourToFace(databasePage);
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw std::runtime_error("The skin file " + path + " cannot be read: " + file.errorString().toStdString());
    databasePage.setStyleSheet(QString::fromUtf8(file.readAll()));
}

QIcon mainIcon() {
    static const bool loaded = (initIconResources(), true);
    (void)loaded;
    QIcon icon;
    for (int size : {32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/rowsifter-%1.png").arg(size), QSize(size, size));
    return icon;
}

std::string handCursorPath() {
    return programFile("HAND-M.CUR");
}

QCursor loadPointerImage(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("The pointer file " + path + " cannot be read: " + file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    QImage image;
    if (!image.loadFromData(bytes, "CUR") && !image.loadFromData(bytes))
        throw std::runtime_error("The pointer file " + path + " is not a picture that can be used as a pointer");
    // Directory entry of a cursor file: the hotspot follows the 6-byte header and 4 bytes of size data.
    int hotX = 0;
    int hotY = 0;
    if (bytes.size() >= 14 && bytes[2] == 2 && bytes[3] == 0) {
        auto word = [&](int at) {
            return static_cast<int>(static_cast<unsigned char>(bytes[at])) |
                   (static_cast<int>(static_cast<unsigned char>(bytes[at + 1])) << 8);
        };
        hotX = std::min(word(10), image.width() - 1);
        hotY = std::min(word(12), image.height() - 1);
    }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

} // namespace app
