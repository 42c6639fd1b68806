// Draws the splash window's picture and writes it as a 16-colour (4 bits a pixel) Windows bitmap.
// The program ships the bitmap it wrote (splash.bmp); run this again only to change the picture:
//   cmake --build <build> --target vantero_draw_splash && <build>/ui/resources/vantero_draw_splash
//   ui/resources/splash.bmp

#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygon>

#include <cstdio>

namespace {

// The sixteen colours of the classic Windows palette, so the picture looks as it would have.
const QRgb kPalette[16] = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};

QColor C(int index) {
    return QColor(kPalette[index]);
}

QImage draw() {
    QImage picture(146, 173, QImage::Format_RGB32);
    picture.fill(C(4));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);

    // A sheet of map: parcels on teal ground, a road across, a river, a pin.
    const QRect sheet(13, 12, 120, 96);
    p.fillRect(sheet.translated(3, 3), C(0));
    p.fillRect(sheet, C(6));
    p.setPen(C(2));
    p.setBrush(C(2));
    p.drawRect(20, 18, 28, 22);
    p.drawRect(54, 18, 22, 30);
    p.drawRect(20, 70, 40, 30);
    p.setBrush(C(3));
    p.drawRect(84, 60, 40, 40);
    p.setPen(QPen(C(14), 3));
    p.drawPolyline(QPolygon(
        {QPoint(13, 58), QPoint(40, 54), QPoint(70, 62), QPoint(100, 50), QPoint(132, 44)}));
    p.setPen(QPen(C(11), 4));
    p.drawLine(80, 12, 76, 107);
    p.setPen(QPen(C(0), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(sheet);
    // The pin.
    p.setPen(C(0));
    p.setBrush(C(9));
    p.drawEllipse(QPoint(104, 32), 6, 6);
    p.drawPolygon(QPolygon({QPoint(99, 35), QPoint(109, 35), QPoint(104, 46)}));
    p.setBrush(C(15));
    p.drawEllipse(QPoint(104, 32), 2, 2);

    // Two arrows pressing the sheet together: what the program does to tables.
    p.setPen(C(15));
    p.setBrush(C(15));
    p.drawPolygon(QPolygon({QPoint(2, 52), QPoint(10, 60), QPoint(2, 68)}));
    p.drawPolygon(QPolygon({QPoint(143, 52), QPoint(135, 60), QPoint(143, 68)}));

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(22);
    title.setBold(true);
    p.setFont(title);
    p.setPen(C(0));
    p.drawText(QRect(1, 116, 146, 28), Qt::AlignCenter, QStringLiteral("Vantero"));
    p.setPen(C(15));
    p.drawText(QRect(0, 115, 146, 28), Qt::AlignCenter, QStringLiteral("Vantero"));
    QFont line(QStringLiteral("DejaVu Sans"));
    line.setPixelSize(10);
    p.setFont(line);
    p.setPen(C(7));
    p.drawText(QRect(0, 143, 146, 14), Qt::AlignCenter, QStringLiteral("packs MapInfo tables"));
    p.setPen(C(14));
    p.drawText(QRect(0, 156, 146, 14), Qt::AlignCenter, QStringLiteral("connecting..."));
    return picture;
}

int nearest(QRgb colour) {
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < 16; ++i) {
        const int dr = qRed(colour) - qRed(kPalette[i]), dg = qGreen(colour) - qGreen(kPalette[i]),
                  db = qBlue(colour) - qBlue(kPalette[i]);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void put16(QByteArray& out, quint16 v) {
    out.append(char(v & 0xff)).append(char(v >> 8));
}
void put32(QByteArray& out, quint32 v) {
    put16(out, quint16(v & 0xffff));
    put16(out, quint16(v >> 16));
}

// BITMAPFILEHEADER + BITMAPINFOHEADER, 16 palette entries, rows bottom-up padded to 4 bytes.
QByteArray bitmap4(const QImage& picture) {
    const int w = picture.width(), h = picture.height();
    const int stride = ((w + 1) / 2 + 3) / 4 * 4;
    const quint32 offset = 14 + 40 + 16 * 4;
    QByteArray out;
    out.append("BM");
    put32(out, offset + quint32(stride * h));
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, quint32(w));
    put32(out, quint32(h));
    put16(out, 1);
    put16(out, 4);
    put32(out, 0); // no compression
    put32(out, quint32(stride * h));
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 16);
    put32(out, 0);
    for (QRgb c : kPalette) {
        out.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            const int index = nearest(picture.pixel(x, y));
            row[x / 2] = char(row[x / 2] | (x % 2 == 0 ? index << 4 : index));
        }
        out.append(row);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", argv[0]);
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(bitmap4(draw())) < 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
