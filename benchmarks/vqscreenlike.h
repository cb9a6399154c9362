#pragma once
// A desktop of windows with text: the picture the page benchmarks encode.

#include <QColor>
#include <QImage>
#include <QPainter>

inline QImage vqScreenLike()
{
    QImage img(1920, 1080, QImage::Format_RGB32);
    img.fill(QColor(32, 64, 112));
    QPainter p(&img);
    for (int i = 0; i < 5; ++i) {
        const QRect r(80 + 260 * i, 60 + 120 * i, 900, 600);
        p.fillRect(r, Qt::white);
        p.fillRect(r.x(), r.y(), r.width(), 30, QColor(60, 60, 60 + 30 * i));
        p.setPen(Qt::black);
        for (int line = 0; line < 30; ++line)
            p.drawText(r.x() + 12, r.y() + 50 + 18 * line,
                       QStringLiteral("Line %1: status report, toner %2 %").arg(line).arg(line * 3));
    }
    p.fillRect(0, 1040, 1920, 40, QColor(200, 200, 200));
    return img;
}
