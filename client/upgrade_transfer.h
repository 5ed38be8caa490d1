#pragma once

// One firmware transfer: the device checks the file's header, then a thread
// streams the image from disk in pieces of kUpgradeChunk bytes straight from
// the page cache to the socket, so a transfer holds none of it in memory
// whatever the file size.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "client/session.h"

namespace kaltro {

class UpgradeTransfer {
public:
    // Opens the file and asks the device to accept it. On NETWORK_OK the
    // transfer runs and `out` holds it.
    static std::int32_t start(std::shared_ptr<Session> session, const std::string& path,
                              std::unique_ptr<UpgradeTransfer>& out);
    ~UpgradeTransfer();

    // Progress 0..100 (100 only once the device accepted the whole image).
    std::int32_t status(std::int32_t& progress);
    // Aborts a running transfer (telling the device) and joins the thread.
    void stop();

    UpgradeTransfer(std::shared_ptr<Session> session, FILE* file, std::uint64_t image_size);

private:
    enum State : int { running, done, failed };
    void run();
    bool send_image();

    std::shared_ptr<Session> m_session;
    FILE* m_file;
    std::uint64_t m_image_size;
    std::atomic<std::uint64_t> m_sent{0};
    std::atomic<int> m_state{running};
    std::atomic<std::int32_t> m_result{NETWORK_OK};
    std::atomic<bool> m_abort{false};
    std::atomic<bool> m_end_sent{false};
    std::atomic<bool> m_file_bad{false};
    std::atomic<bool> m_thread_done{false};
    std::thread m_thread;
};

}  // namespace kaltro
