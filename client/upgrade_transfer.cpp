#include "client/upgrade_transfer.h"

#include <sys/stat.h>

#include <vector>

#include "client/call_abort.h"
#include "client/firmware_format.h"
#include "runtime/regular_file.h"
#include "runtime/trace.h"

namespace kaltro {

std::int32_t UpgradeTransfer::start(std::shared_ptr<Session> session, const std::string& path,
                                    std::unique_ptr<UpgradeTransfer>& out) {
    FILE* file = open_regular_file(path);
    if (file == nullptr) {
        TRACE_MSG("kaltro::UpgradeTransfer::start", "cannot open %s (or not a regular file)\n", path.c_str());
        return NETWORK_ERR_UPGRADE_INVALID_FILE;
    }
    struct stat info {};
    std::uint8_t header[kFirmwareHeaderSize];
    if (fstat(fileno(file), &info) != 0 || static_cast<std::uint64_t>(info.st_size) < kFirmwareHeaderSize ||
        std::fread(header, 1, sizeof(header), file) != sizeof(header)) {
        std::fclose(file);
        return NETWORK_ERR_UPGRADE_INVALID_FILE;
    }
    // The device judges the header (version, board, integrity); the file
    // size tells it how much image to expect.
    ByteWriter begin;
    begin.u64(static_cast<std::uint64_t>(info.st_size)).bytes(header, sizeof(header));
    Response answer;
    std::int32_t result = session->request(MSG_UPGRADE_BEGIN, begin.data(), answer);
    if (result != NETWORK_OK) {
        std::fclose(file);
        return result;
    }
    std::uint64_t image_size = static_cast<std::uint64_t>(info.st_size) - kFirmwareHeaderSize;
    out = std::make_unique<UpgradeTransfer>(std::move(session), file, image_size);
    return NETWORK_OK;
}

UpgradeTransfer::UpgradeTransfer(std::shared_ptr<Session> session, FILE* file, std::uint64_t image_size)
    : m_session(std::move(session)), m_file(file), m_image_size(image_size) {
    m_thread = std::thread(&UpgradeTransfer::run, this);
}

UpgradeTransfer::~UpgradeTransfer() {
    stop();
    std::fclose(m_file);
}

void UpgradeTransfer::run() {
    std::int32_t result = NETWORK_ERR_NETWORK;
    if (send_image()) {
        m_end_sent.store(true);
        Response answer;
        result = m_session->request(MSG_UPGRADE_END, {}, answer);
    } else if (m_abort.load()) {
        result = NETWORK_ERR_FAIL;
    } else if (m_file_bad.load()) {
        result = NETWORK_ERR_UPGRADE_INVALID_FILE;  // it shrank under the transfer, or could not be read
    }
    m_result.store(result);
    m_state.store(result == NETWORK_OK ? done : failed);
    m_thread_done.store(true);
    m_thread_done.notify_all();
    if (result != NETWORK_OK)
        TRACE_MSG("kaltro::UpgradeTransfer::run", "transfer ended with %d after %llu of %llu bytes\n", result,
                  static_cast<unsigned long long>(m_sent.load()), static_cast<unsigned long long>(m_image_size));
}

// The image goes from the page cache to the socket in frames of at most
// kUpgradeChunk bytes, never through this process' memory: of all the
// client's work the copies are what a hundred parallel transfers pay most.
bool UpgradeTransfer::send_image() {
    const int file = fileno(m_file);
    std::uint8_t prefix[8];
    std::uint64_t offset = 0;
    while (offset < m_image_size) {
        if (m_abort.load()) return false;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kUpgradeChunk, m_image_size - offset));
        store_u32(prefix, static_cast<std::uint32_t>(offset));
        store_u32(prefix + 4, static_cast<std::uint32_t>(offset >> 32));
        FileSend sent = m_session->send_unanswered_from_file(MSG_UPGRADE_DATA, prefix, sizeof prefix, file,
                                                             kFirmwareHeaderSize + offset, n);
        if (sent == FileSend::file_bad) m_file_bad.store(true);
        if (sent != FileSend::sent) return false;
        offset += n;
        m_sent.store(offset);
    }
    return true;
}

std::int32_t UpgradeTransfer::status(std::int32_t& progress) {
    int state = m_state.load();
    if (state == done) {
        progress = 100;
        return NETWORK_OK;
    }
    if (state == failed) return m_result.load();
    // The device tells how much it holds; 100 is kept for the verified image.
    Response answer;
    std::int32_t result = m_session->request(MSG_UPGRADE_STATUS, {}, answer);
    if (result != NETWORK_OK && m_end_sent.load() && !call_aborted()) {
        // The device answers the image's end before this poll (and reboots
        // after a good image): the transfer's own verdict is the one to give.
        m_thread_done.wait(false);
        return status(progress);
    }
    if (result != NETWORK_OK) return result;
    ByteReader in(answer.payload);
    std::uint32_t percent = 0;
    if (!in.u32(percent)) return NETWORK_ERR_PROTOCOL;
    progress = static_cast<std::int32_t>(std::min<std::uint32_t>(percent, 99));
    return NETWORK_OK;
}

void UpgradeTransfer::stop() {
    if (!m_thread.joinable()) return;
    m_abort.store(true);
    // The transfer thread may be stuck in a write the device does not take,
    // or waiting for the device's verdict: a caller that is stopping cuts
    // the line rather than wait for either.
    if (call_aborted()) m_session->drop("transfer given up: the caller is stopping");
    m_thread.join();
    if (m_state.load() != done) {
        m_session->send_unanswered(MSG_UPGRADE_ABORT, nullptr, 0);
    }
}

}  // namespace kaltro
