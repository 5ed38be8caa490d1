#pragma once

#include <QFrame>
#include <QMouseEvent>

namespace ui {

// A black-framed area that reports a left click (the live-video and QR areas).
class ClickableFrame : public QFrame {
    Q_OBJECT
public:
    explicit ClickableFrame(QWidget* parent = nullptr) : QFrame(parent) {
        setFrameShape(QFrame::Box);
        setFrameShadow(QFrame::Plain);
        setLineWidth(1);
    }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
        QFrame::mouseReleaseEvent(event);
    }
};

}  // namespace ui
