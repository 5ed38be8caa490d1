#include "batch/dialog/firmware_check_task.h"

#include "batch/dialog/batch_dlg_bridge.h"

FirmwareCheckTask::FirmwareCheckTask(Done done, QObject* parent)
    : QObject(parent), m_done(std::move(done)), m_wakeup(new QueuedWakeup([this] { deliver(); }, this)) {}

FirmwareCheckTask::~FirmwareCheckTask() { cancel(); }

void FirmwareCheckTask::start(const std::string& path) {
    cancel();
    m_cancel.store(false);
    m_finished.store(false);
    m_busy = true;
    m_thread = std::thread([this, path] {
        m_result = preflight_firmware_file(path, &m_cancel);
        m_finished.store(true);
        m_wakeup->post();
    });
}

void FirmwareCheckTask::cancel() {
    m_cancel.store(true);
    if (m_thread.joinable()) m_thread.join();
    m_busy = false;
}

// A wake-up of a check that was cancelled since (or of one still running,
// folded into an earlier wake-up) finds nothing finished and does nothing.
void FirmwareCheckTask::deliver() {
    if (!m_busy || !m_finished.load()) return;
    m_thread.join();
    m_busy = false;
    m_done(m_result);
}
