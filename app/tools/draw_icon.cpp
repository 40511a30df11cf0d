// Draws the program icon into a folder: rowsifter-16 ... rowsifter-256.png and rowsifter.svg, all from one
// list of shapes. rowsifter-32.png is opaque (24-bit colour), the others have transparency.
// Usage: draw_icon FOLDER
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <vector>

namespace {

struct Shape {
    QRectF rect; // on a 256-pixel square
    qreal radius;
    QColor colour;
};

// A sheet of table rows; two duplicate rows slide out to the right, sifted out of the table.
std::vector<Shape> shapes(bool opaque) {
    const QColor blue(0x1f, 0x5f, 0xa8), sheet(0xfa, 0xfa, 0xf7), row(0x9d, 0xb4, 0xcc), header(0x2b, 0x3d, 0x52),
        duplicate(0xd9, 0x48, 0x3b);
    std::vector<Shape> all;
    all.push_back(opaque ? Shape{{0, 0, 256, 256}, 0, blue} : Shape{{8, 8, 240, 240}, 44, blue});
    all.push_back({{40, 36, 150, 184}, 14, sheet});
    all.push_back({{54, 52, 122, 26}, 0, header});
    const qreal rows[] = {92, 122, 152, 182};
    for (int i = 0; i < 4; ++i) {
        const bool dup = i == 1 || i == 3;
        all.push_back({{54 + (dup ? 62.0 : 0.0), rows[i], 122, 20}, 6, dup ? duplicate : row});
    }
    return all;
}

QImage png(int size) {
    const bool opaque = size == 32;
    QImage image(size, size, opaque ? QImage::Format_RGB888 : QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    for (const Shape& s : shapes(opaque)) {
        QPainterPath path;
        path.addRoundedRect(s.rect, s.radius, s.radius);
        p.fillPath(path, s.colour);
    }
    return image;
}

QByteArray svg() {
    QByteArray text =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n";
    for (const Shape& s : shapes(false))
        text += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" fill=\"%6\"/>\n")
                    .arg(s.rect.x())
                    .arg(s.rect.y())
                    .arg(s.rect.width())
                    .arg(s.rect.height())
                    .arg(s.radius)
                    .arg(s.colour.name())
                    .toUtf8();
    return text + "</svg>\n";
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
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString path = folder.filePath(QStringLiteral("rowsifter-%1.png").arg(size));
        if (!png(size).save(path)) {
            std::fprintf(stderr, "draw_icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    QFile file(folder.filePath(QStringLiteral("rowsifter.svg")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(svg()) < 0) {
        std::fprintf(stderr, "draw_icon: cannot write %s\n", qPrintable(file.fileName()));
        return 1;
    }
    return 0;
}
