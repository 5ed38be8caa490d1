#pragma once

// The bridge between the client library's video delivery and the dialog's
// video area: registers the area as a video target, keeps the newest picture
// the library delivered (on its thread) and shows it on the window thread.
// A picture that arrives while the previous one waits replaces it, so a busy
// window drops frames instead of queueing them. The end mark of a stream
// (a frame without pixels) empties the area.

#include <QImage>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "client/kaltro_live.h"

namespace ui {
class ClickableFrame;
}

class LiveVideoBridge : public QObject {
    Q_OBJECT
public:
    explicit LiveVideoBridge(ui::ClickableFrame* area);
    ~LiveVideoBridge() override;

    // The id to pass in LIVE_PARAM; 0 when registering failed.
    std::uint32_t target() const { return m_target; }
    // Pictures shown so far.
    std::uint32_t shown() const { return m_shown.load(); }
    void clear();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void on_frame(std::uint32_t target, const KALTRO_VIDEO_FRAME* frame, void* user);
    void show_latest();
    void report_size();

    ui::ClickableFrame* m_area;
    std::uint32_t m_target = 0;
    std::mutex m_lock;
    QImage m_latest;
    std::atomic<bool> m_pending{false};
    std::atomic<std::uint32_t> m_shown{0};
};
