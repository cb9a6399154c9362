#pragma once
// Base of the frameless windows: the left mouse button drags the window when
// pressed inside the drag area.

#include <QWidget>

class QvqMovableWidget : public QWidget
{
    Q_OBJECT
public:
    explicit QvqMovableWidget(QWidget* parent = nullptr);

    QRect vqDragArea() const { return dragArea; }
    bool vqDragging() const { return dragging; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Taken from the geometry at construction (a new top-level widget: 640 x 480
    // at the origin) and never changed.
    QRect dragArea;
    bool dragging = false;
    QPoint pressPoint;
};

// Puts the window's bottom-right pixel on that of the primary screen's available area.
void vqMoveToBottomRight(QWidget* w);
