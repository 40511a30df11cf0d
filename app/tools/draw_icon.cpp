// Draws the program icon in its four sizes into a folder: rowsifter-32.png (opaque, 24-bit colour) and
// rowsifter-48/128/256.png (with transparency). Usage: draw_icon FOLDER
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

// A sheet of table rows; two duplicate rows slide out to the right, sifted out of the table.
void draw(QPainter& p, bool opaque) {
    const QColor blue(0x1f, 0x5f, 0xa8), sheet(0xfa, 0xfa, 0xf7), row(0x9d, 0xb4, 0xcc), header(0x2b, 0x3d, 0x52),
        duplicate(0xd9, 0x48, 0x3b);
    p.setRenderHint(QPainter::Antialiasing);
    if (opaque)
        p.fillRect(QRectF(0, 0, 256, 256), blue);
    else {
        QPainterPath back;
        back.addRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
        p.fillPath(back, blue);
    }
    QPainterPath page;
    page.addRoundedRect(QRectF(40, 36, 150, 184), 14, 14);
    p.fillPath(page, sheet);
    p.fillRect(QRectF(54, 52, 122, 26), header);
    const qreal rows[] = {92, 122, 152, 182};
    for (int i = 0; i < 4; ++i) {
        const bool dup = i == 1 || i == 3;
        const qreal shift = dup ? 62 : 0;
        QPainterPath bar;
        bar.addRoundedRect(QRectF(54 + shift, rows[i], 122, 20), 6, 6);
        p.fillPath(bar, dup ? duplicate : row);
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_icon FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int size : {32, 48, 128, 256}) {
        const bool opaque = size == 32;
        QImage image(size, size, opaque ? QImage::Format_RGB888 : QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.scale(size / 256.0, size / 256.0);
        draw(p, opaque);
        p.end();
        const QString path = folder.filePath(QStringLiteral("rowsifter-%1.png").arg(size));
        if (!image.save(path)) {
            std::fprintf(stderr, "draw_icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
