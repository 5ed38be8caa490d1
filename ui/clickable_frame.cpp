#include "ui/clickable_frame.h"

#include <QMouseEvent>
#include <QPainter>

namespace ui {

ClickableFrame::ClickableFrame(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
}

void ClickableFrame::set_picture(const QPixmap& picture) {
    m_picture = picture;
    update();
}

void ClickableFrame::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (m_picture.isNull()) return;
    const QRect area = contentsRect();
    const QSize size = m_picture.size().scaled(area.size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), size);
    target.moveCenter(area.center());
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawPixmap(target, m_picture);
}

void ClickableFrame::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QFrame::mouseReleaseEvent(event);
}

}  // namespace ui
