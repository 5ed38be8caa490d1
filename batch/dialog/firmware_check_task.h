#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "batch/firmware_preflight.h"

class QueuedWakeup;

// Checks a firmware file on a thread of its own, so hashing a large file
// never freezes the dialog, and hands the result to the GUI thread. Every
// member is called on the GUI thread.
class FirmwareCheckTask : public QObject {
public:
    using Done = std::function<void(const FirmwarePreflight& result)>;
    explicit FirmwareCheckTask(Done done, QObject* parent = nullptr);
    ~FirmwareCheckTask() override;

    // Starts checking `path`; a check still running is cancelled first.
    void start(const std::string& path);
    // Ends a running check; its result is never delivered.
    void cancel();
    bool busy() const { return m_busy; }

private:
    void deliver();

    Done m_done;
    QueuedWakeup* m_wakeup;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_finished{false};  // set by the thread once m_result is written
    FirmwarePreflight m_result;
    bool m_busy = false;
};
