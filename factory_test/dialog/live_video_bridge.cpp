#include "factory_test/dialog/live_video_bridge.h"

#include <QEvent>
#include <QPixmap>

#include "ui/clickable_frame.h"

LiveVideoBridge::LiveVideoBridge(ui::ClickableFrame* area) : QObject(area), m_area(area) {
    if (Network_ClientRegisterVideoTarget(&m_target, &LiveVideoBridge::on_frame, this) != NETWORK_OK) m_target = 0;
    m_area->installEventFilter(this);
    report_size();
}

LiveVideoBridge::~LiveVideoBridge() {
    // Waits for a delivery in progress; none starts afterwards.
    if (m_target != 0) Network_ClientUnregisterVideoTarget(m_target);
}

void LiveVideoBridge::on_frame(std::uint32_t, const KALTRO_VIDEO_FRAME* frame, void* user) {
    auto* self = static_cast<LiveVideoBridge*>(user);
    // No pixels: the stream ended, and a null picture clears the area.
    QImage shown;
    if (frame->pixels) {
        const QImage whole(frame->pixels, frame->width, frame->height, frame->stride, QImage::Format_RGB32);
        shown = whole.copy(frame->crop_x, frame->crop_y, frame->crop_width, frame->crop_height);
    }
    {
        std::lock_guard<std::mutex> guard(self->m_lock);
        self->m_latest = std::move(shown);
    }
    if (!self->m_pending.exchange(true))
        QMetaObject::invokeMethod(self, &LiveVideoBridge::show_latest, Qt::QueuedConnection);
}

void LiveVideoBridge::show_latest() {
    QImage image;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        image.swap(m_latest);
    }
    m_pending.store(false);
    if (image.isNull()) {
        m_area->set_picture(QPixmap());
        return;
    }
    m_area->set_picture(QPixmap::fromImage(image));
    m_shown++;
}

void LiveVideoBridge::clear() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_latest = QImage();
    }
    m_area->set_picture(QPixmap());
}

void LiveVideoBridge::report_size() {
    if (m_target != 0) Network_ClientSetVideoTargetSize(m_target, m_area->width(), m_area->height());
}

bool LiveVideoBridge::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_area && event->type() == QEvent::Resize) report_size();
    return QObject::eventFilter(watched, event);
}
