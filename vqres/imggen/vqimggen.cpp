// Draws the monitor's images (icons, logo, background) into vqres/img.
// Our own artwork: shapes only, no fonts, so the output is the same everywhere.
// Usage: vqimggen <output directory>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>

namespace {

QImage canvas(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void begin(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// A printer seen from the front: body, paper in, paper out, status light.
void drawPrinter(QPainter& p, const QRectF& r, const QColor& body, const QColor& light)
{
    const qreal w = r.width(), h = r.height();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 245, 245));
    p.drawRect(QRectF(r.left() + w * 0.28, r.top() + h * 0.08, w * 0.44, h * 0.3));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(r.left() + w * 0.1, r.top() + h * 0.32, w * 0.8, h * 0.42), w * 0.08, w * 0.08);
    p.setBrush(QColor(245, 245, 245));
    p.drawRect(QRectF(r.left() + w * 0.26, r.top() + h * 0.62, w * 0.48, h * 0.3));
    p.setBrush(QColor(180, 180, 180));
    p.drawRect(QRectF(r.left() + w * 0.32, r.top() + h * 0.7, w * 0.36, h * 0.03));
    p.drawRect(QRectF(r.left() + w * 0.32, r.top() + h * 0.78, w * 0.28, h * 0.03));
    p.setBrush(light);
    p.drawEllipse(QPointF(r.left() + w * 0.76, r.top() + h * 0.45), w * 0.05, w * 0.05);
}

// Drawn on a 64-pixel grid, scaled to size: the program's icon wants 256 pixels too.
QImage appIcon(int size = 64)
{
    QImage img = canvas(size, size);
    QPainter p(&img);
    begin(p);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient g(0, 0, 0, 64);
    g.setColorAt(0, QColor(70, 70, 72));
    g.setColorAt(1, QColor(30, 30, 32));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    drawPrinter(p, QRectF(8, 8, 48, 48), QColor(38, 179, 244), QColor(85, 170, 127));
    return img;
}

// The mark: a ring with a tail, then three bars standing in for the name.
QImage logo()
{
    QImage img = canvas(220, 60);
    QPainter p(&img);
    begin(p);
    QPen ring(QColor(38, 179, 244), 7, Qt::SolidLine, Qt::RoundCap);
    p.setPen(ring);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(8, 8, 44, 44), 0, 360 * 16);
    QPen tail(QColor(230, 153, 11), 7, Qt::SolidLine, Qt::RoundCap);
    p.setPen(tail);
    p.drawLine(QPointF(40, 40), QPointF(54, 54));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 240, 240));
    p.drawRoundedRect(QRectF(66, 12, 140, 10), 5, 5);
    p.setBrush(QColor(200, 200, 200));
    p.drawRoundedRect(QRectF(66, 27, 110, 8), 4, 4);
    p.setBrush(QColor(150, 150, 150));
    p.drawRoundedRect(QRectF(66, 40, 80, 6), 3, 3);
    return img;
}

QImage background()
{
    QImage img(793, 340, QImage::Format_RGB32);
    QPainter p(&img);
    begin(p);
    QLinearGradient g(0, 0, 0, img.height());
    g.setColorAt(0, QColor(64, 64, 66));
    g.setColorAt(1, QColor(24, 24, 26));
    p.fillRect(img.rect(), g);
    // Soft light from the upper middle.
    QRadialGradient glow(QPointF(396, 40), 420);
    glow.setColorAt(0, QColor(255, 255, 255, 40));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(img.rect(), glow);
    // Sweeping arcs along the bottom.
    for (int i = 0; i < 6; ++i) {
        QPainterPath path;
        const qreal y = 250 + i * 14;
        path.moveTo(-20, y + 40);
        path.cubicTo(200, y - 60 + i * 6, 560, y + 50 - i * 4, 820, y - 30);
        p.setPen(QPen(QColor(38, 179, 244, 22 + i * 6), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    return img;
}

QImage comboArrow()
{
    QImage img = canvas(12, 8);
    QPainter p(&img);
    begin(p);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 70, 70));
    p.drawPolygon(QPolygonF({QPointF(1, 1), QPointF(11, 1), QPointF(6, 7)}));
    return img;
}

QImage iconCanvas(QPainter& p, QImage& img)
{
    img = canvas(96, 96);
    p.begin(&img);
    begin(p);
    return img;
}

QImage gear()
{
    QImage img;
    QPainter p;
    iconCanvas(p, img);
    const QPointF c(48, 48);
    QPainterPath teeth;
    for (int i = 0; i < 8; ++i) {
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(i * 45);
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-7, -40, 14, 18), 3, 3);
        teeth |= t.map(tooth);
    }
    QPainterPath body;
    body.addEllipse(c, 30, 30);
    QPainterPath hole;
    hole.addEllipse(c, 12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 235, 235));
    p.drawPath((teeth | body) - hole);
    return img;
}

QImage power()
{
    QImage img;
    QPainter p;
    iconCanvas(p, img);
    QPen pen(QColor(235, 90, 80), 9, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.drawArc(QRectF(14, 16, 68, 68), 120 * 16, 300 * 16);
    p.drawLine(QPointF(48, 10), QPointF(48, 46));
    return img;
}

QImage minimise()
{
    QImage img;
    QPainter p;
    iconCanvas(p, img);
    p.setPen(QPen(QColor(235, 235, 235), 5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(10, 14, 76, 60), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(38, 179, 244));
    p.drawRoundedRect(QRectF(26, 62, 44, 10), 4, 4);
    p.drawPolygon(QPolygonF({QPointF(34, 30), QPointF(62, 30), QPointF(48, 52)}));
    return img;
}

QImage shield()
{
    QImage img;
    QPainter p;
    iconCanvas(p, img);
    QPainterPath s;
    s.moveTo(48, 8);
    s.lineTo(82, 20);
    s.cubicTo(82, 56, 68, 76, 48, 88);
    s.cubicTo(28, 76, 14, 56, 14, 20);
    s.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(85, 170, 127));
    p.drawPath(s);
    p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(32, 48), QPointF(44, 60), QPointF(66, 36)}));
    return img;
}

QImage showIcon()
{
    QImage img;
    QPainter p;
    iconCanvas(p, img);
    drawPrinter(p, QRectF(8, 8, 80, 80), QColor(38, 179, 244), QColor(85, 170, 127));
    return img;
}

bool save(const QImage& img, const QDir& dir, const char* name)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vqimggen <output directory>\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral(".")))
        return 1;
    bool ok = true;
    ok &= save(appIcon(), dir, "vqapp.png");
    ok &= save(appIcon(256), dir, "vqapp256.png");
    ok &= save(logo(), dir, "vqlogobig.png");
    ok &= save(background(), dir, "vqbk.png");
    ok &= save(comboArrow(), dir, "vqcbbarrow.png");
    ok &= save(gear(), dir, "vqset.png");
    ok &= save(power(), dir, "vqexit.png");
    ok &= save(minimise(), dir, "vqmin.png");
    ok &= save(shield(), dir, "vqsafe.png");
    ok &= save(showIcon(), dir, "vqshow.png");
    return ok ? 0 : 1;
}
