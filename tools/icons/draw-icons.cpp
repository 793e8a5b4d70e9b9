// Draws the program's icons into PNG files: the application icon (a mast
// sending to a receiver, in several sizes) and the element tree's two node
// icons (encoder: arrow leaving the box; decoder and every other element:
// arrow entering it). The PNGs are kept in src/app/icons and compiled in
// through src/app/icons.qrc; run this again only to change how they look:
//
//   cmake --build build --target draw-icons && build/bin/draw-icons src/app/icons

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

QImage canvas(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

// A device box with two level bars (audio side) and an arrow (network side),
// drawn on a 32-unit grid.
QImage deviceIcon(bool encoder, int size)
{
    QImage img = canvas(size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const QColor body = encoder ? QColor(40, 100, 190) : QColor(30, 140, 70);
    p.setPen(QPen(body.darker(140), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(2.5, 7.5, 27, 17), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal barsX = encoder ? 6 : 21;
    p.drawRect(QRectF(barsX, 15, 2, 6));
    p.drawRect(QRectF(barsX + 3, 11, 2, 10));
    QPainterPath arrow;
    if (encoder) {
        arrow.moveTo(14, 13);
        arrow.lineTo(20, 13);
        arrow.lineTo(20, 10);
        arrow.lineTo(27, 16);
        arrow.lineTo(20, 22);
        arrow.lineTo(20, 19);
        arrow.lineTo(14, 19);
    } else {
        arrow.moveTo(18, 13);
        arrow.lineTo(12, 13);
        arrow.lineTo(12, 10);
        arrow.lineTo(5, 16);
        arrow.lineTo(12, 22);
        arrow.lineTo(12, 19);
        arrow.lineTo(18, 19);
    }
    arrow.closeSubpath();
    p.drawPath(arrow);
    return img;
}

// The application: a rounded tile, a lattice mast with waves on both sides
// and a level meter along the bottom, drawn on a 64-unit grid.
QImage appIcon(int size)
{
    QImage img = canvas(size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    QLinearGradient sky(0, 0, 0, 64);
    sky.setColorAt(0, QColor(38, 92, 170));
    sky.setColorAt(1, QColor(18, 44, 96));
    p.setPen(QPen(QColor(12, 30, 70), 1.5));
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // Mast: a tall triangle with cross braces.
    const QColor mast(250, 250, 250);
    p.setPen(QPen(mast, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(32, 14), QPointF(22, 48));
    p.drawLine(QPointF(32, 14), QPointF(42, 48));
    p.setPen(QPen(mast, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(28.5, 26), QPointF(35.5, 26));
    p.drawLine(QPointF(26, 35), QPointF(38, 35));
    p.drawLine(QPointF(28.5, 26), QPointF(38, 35));
    p.drawLine(QPointF(35.5, 26), QPointF(26, 35));
    p.drawLine(QPointF(26, 35), QPointF(42, 48));
    p.drawLine(QPointF(38, 35), QPointF(22, 48));
    // The beacon on top.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 196, 40));
    p.drawEllipse(QPointF(32, 12), 3.2, 3.2);

    // Waves.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 2; ++i) {
        const qreal r = 8 + 6 * i;
        p.setPen(QPen(QColor(255, 196, 40, 230 - 70 * i), 2.2, Qt::SolidLine, Qt::RoundCap));
        const QRectF box(32 - r, 12 - r, 2 * r, 2 * r);
        p.drawArc(box, 150 * 16, 60 * 16);
        p.drawArc(box, -30 * 16, 60 * 16);
    }

    // Level meter: green, green, amber, red.
    const QColor bars[] = {QColor(60, 200, 90), QColor(60, 200, 90), QColor(240, 190, 40),
                           QColor(230, 70, 50)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(bars[i]);
        p.drawRoundedRect(QRectF(14 + i * 9.5, 52, 7.5, 4.5), 1.2, 1.2);
    }
    return img;
}

bool save(const QImage& img, const QString& path)
{
    if (img.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "draw-icons: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    bool ok = true;
    for (int size : {16, 32, 48, 64, 128, 256})
        ok = save(appIcon(size), out.filePath(QStringLiteral("orvalink-nms-%1.png").arg(size))) &&
             ok;
    for (int size : {32, 64}) {
        const QString suffix = size == 32 ? QString() : QStringLiteral("@2x");
        ok = save(deviceIcon(true, size),
                  out.filePath(QStringLiteral("encoder%1.png").arg(suffix))) &&
             ok;
        ok = save(deviceIcon(false, size),
                  out.filePath(QStringLiteral("element%1.png").arg(suffix))) &&
             ok;
    }
    return ok ? 0 : 1;
}
