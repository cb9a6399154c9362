#include "qvqmovablewidget.h"

#include <QGuiApplication>
#include <QScreen>

#include <QMouseEvent>

QvqMovableWidget::QvqMovableWidget(QWidget* parent) : QWidget(parent), dragArea(geometry()) {}

void QvqMovableWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        pressPoint = event->localPos().toPoint();
        dragging = dragArea.contains(pressPoint);
    }
    QWidget::mousePressEvent(event);
}

void QvqMovableWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging)
        move(pos() + (event->localPos().toPoint() - pressPoint));
    QWidget::mouseMoveEvent(event);
}

void QvqMovableWidget::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void vqMoveToBottomRight(QWidget* w)
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        w->move(area.right() - w->width() + 1, area.bottom() - w->height() + 1);
    }
}
