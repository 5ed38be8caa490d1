// The exported C functions: argument checks, the handle tables and the
// library's init count. Protocol work is in Session and UpgradeTransfer.

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/call_abort.h"
#include "client/kaltro_abort.h"
#include "client/kaltro_client.h"
#include "client/kaltro_live.h"
#include "client/live_stream.h"
#include "client/live_video_targets.h"
#include "client/login_auth.h"
#include "client/session.h"
#include "client/upgrade_transfer.h"

namespace kaltro {
namespace {

// Longest IP text accepted ("255.255.255.255").
constexpr std::size_t kMaxIpText = 15;

class Library {
public:
    // A program that ends without its last UnInit still gets its logins
    // closed and the library's threads joined.
    ~Library() {
        while (initialised()) uninit();
    }
    std::int32_t init();
    std::int32_t uninit();
    bool initialised() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_init_count > 0;
    }

    std::int32_t add_session(std::shared_ptr<Session> session);
    std::shared_ptr<Session> session(std::int32_t handle);
    std::shared_ptr<Session> take_session(std::int32_t handle);
    std::int32_t add_transfer(std::shared_ptr<UpgradeTransfer> transfer);
    std::shared_ptr<UpgradeTransfer> transfer(std::int32_t handle);
    std::shared_ptr<UpgradeTransfer> take_transfer(std::int32_t handle);
    std::int32_t add_live(std::shared_ptr<LiveStream> live) { return add(m_lives, std::move(live)); }
    std::shared_ptr<LiveStream> live(std::int32_t handle) { return find(m_lives, handle); }
    std::shared_ptr<LiveStream> take_live(std::int32_t handle) { return take(m_lives, handle); }

    EventDispatcher& dispatcher() { return m_dispatcher; }
    SessionTiming timing() { return SessionTiming{}; }

private:
    // Handles are never reused within a process run, so a stale handle can
    // never reach somebody else's login.
    std::int32_t next_handle() {
        std::int32_t handle = m_next_handle;
        m_next_handle = m_next_handle == INT32_MAX ? 1 : m_next_handle + 1;
        return handle;
    }

    template <class T>
    std::int32_t add(std::map<std::int32_t, std::shared_ptr<T>>& table, std::shared_ptr<T> item) {
        std::lock_guard<std::mutex> guard(m_lock);
        std::int32_t handle = next_handle();
        table[handle] = std::move(item);
        return handle;
    }
    template <class T>
    std::shared_ptr<T> find(std::map<std::int32_t, std::shared_ptr<T>>& table, std::int32_t handle) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = table.find(handle);
        return it == table.end() ? nullptr : it->second;
    }
    template <class T>
    std::shared_ptr<T> take(std::map<std::int32_t, std::shared_ptr<T>>& table, std::int32_t handle) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = table.find(handle);
        if (it == table.end()) return nullptr;
        auto item = std::move(it->second);
        table.erase(it);
        return item;
    }

    std::mutex m_lock;
    int m_init_count = 0;
    std::int32_t m_next_handle = 1;
    std::map<std::int32_t, std::shared_ptr<Session>> m_sessions;
    std::map<std::int32_t, std::shared_ptr<UpgradeTransfer>> m_transfers;
    std::map<std::int32_t, std::shared_ptr<LiveStream>> m_lives;
    EventDispatcher m_dispatcher;
};

Library& library() {
    static Library instance;
    return instance;
}

std::int32_t Library::init() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_init_count++ == 0) m_dispatcher.start();
    return NETWORK_OK;
}

std::int32_t Library::uninit() {
    std::map<std::int32_t, std::shared_ptr<Session>> sessions;
    std::map<std::int32_t, std::shared_ptr<UpgradeTransfer>> transfers;
    std::map<std::int32_t, std::shared_ptr<LiveStream>> lives;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_init_count == 0) return NETWORK_ERR_NOT_INITIALIZED;
        if (--m_init_count > 0) return NETWORK_OK;
        sessions.swap(m_sessions);
        transfers.swap(m_transfers);
        lives.swap(m_lives);
    }
    // Outside the lock: a callback still running may call into the library.
    for (auto& [handle, live] : lives) live->stop();
    for (auto& [handle, transfer] : transfers) transfer->stop();
    for (auto& [handle, session] : sessions) session->close();
    m_dispatcher.stop();
    return NETWORK_OK;
}

std::int32_t Library::add_session(std::shared_ptr<Session> session) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::int32_t handle = next_handle();
    session->bind(handle);
    m_sessions[handle] = std::move(session);
    return handle;
}

std::shared_ptr<Session> Library::session(std::int32_t handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_sessions.find(handle);
    return it == m_sessions.end() ? nullptr : it->second;
}

std::shared_ptr<Session> Library::take_session(std::int32_t handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_sessions.find(handle);
    if (it == m_sessions.end()) return nullptr;
    auto session = std::move(it->second);
    m_sessions.erase(it);
    return session;
}

std::int32_t Library::add_transfer(std::shared_ptr<UpgradeTransfer> transfer) {
    return add(m_transfers, std::move(transfer));
}

std::shared_ptr<UpgradeTransfer> Library::transfer(std::int32_t handle) { return find(m_transfers, handle); }

std::shared_ptr<UpgradeTransfer> Library::take_transfer(std::int32_t handle) { return take(m_transfers, handle); }

bool valid_text(const char* text, std::size_t max_length) {
    return text != nullptr && strnlen(text, max_length + 1) <= max_length;
}

// Sends a request on a login and copies nothing back.
std::int32_t simple_request(std::int32_t handle, std::uint16_t type, const std::vector<std::uint8_t>& payload) {
    auto session = library().session(handle);
    if (!session) return NETWORK_ERR_INVALID_HANDLE;
    Response answer;
    return session->request(type, payload, answer);
}

// The records whose texts the library terminates before handing them back.
void terminate_texts(std::int32_t command, void* data, std::int32_t size) {
    auto cut = [](char* field, std::size_t n) { field[n - 1] = '\0'; };
    if (command == NETWORK_CMD_GET_DEVICE_INFO && size == sizeof(IPC_DEVICE_INFO)) {
        auto* info = static_cast<IPC_DEVICE_INFO*>(data);
        cut(info->board_name, sizeof(info->board_name));
        cut(info->mac, sizeof(info->mac));
        cut(info->software_version, sizeof(info->software_version));
        cut(info->pid, sizeof(info->pid));
        cut(info->uid, sizeof(info->uid));
        cut(info->qrcode, sizeof(info->qrcode));
    } else if (command == NETWORK_CMD_GET_USB_INFO && size == sizeof(USB_INFO)) {
        auto* usb = static_cast<USB_INFO*>(data);
        cut(usb->disk_text, sizeof(usb->disk_text));
    }
}

// Reads a record of exactly `size` bytes: a device answering with another
// length is broken, and nothing of its answer is copied.
std::int32_t read_record(std::int32_t handle, std::uint16_t type, std::int32_t command, std::int32_t channel,
                         void* data, std::int32_t size) {
    if (data == nullptr || size <= 0 || static_cast<std::uint32_t>(size) > kMaxPayload - 16)
        return NETWORK_ERR_INVALID_ARG;
    auto session = library().session(handle);
    if (!session) return NETWORK_ERR_INVALID_HANDLE;
    Response answer;
    std::int32_t result =
        session->request(type, ByteWriter().i32(command).i32(channel).i32(size).data(), answer);
    if (result != NETWORK_OK) return result;
    if (answer.payload.size() != static_cast<std::size_t>(size)) return NETWORK_ERR_PROTOCOL;
    std::memcpy(data, answer.payload.data(), answer.payload.size());
    terminate_texts(command, data, size);
    return NETWORK_OK;
}

}  // namespace
}  // namespace kaltro

using namespace kaltro;

extern "C" {

KALTRO_API int32_t Network_ClientInit(void) { return library().init(); }

KALTRO_API int32_t Network_ClientUnInit(void) { return library().uninit(); }

KALTRO_API int32_t Network_ClientLogin(int32_t* handle, const char* ip, int32_t port, const char* user,
                                       const char* password) {
    if (handle == nullptr) return NETWORK_ERR_INVALID_ARG;
    *handle = -1;
    if (!library().initialised()) return NETWORK_ERR_NOT_INITIALIZED;
    if (!valid_text(ip, kMaxIpText) || port <= 0 || port > 65535 || !valid_text(user, kMaxCredential) ||
        !valid_text(password, kMaxCredential))
        return NETWORK_ERR_INVALID_ARG;
    std::unique_ptr<Session> session;
    std::int32_t result = Session::open(ip, static_cast<std::uint16_t>(port), user, password,
                                        library().timing(), library().dispatcher(), session);
    if (result != NETWORK_OK) return result;
    *handle = library().add_session(std::move(session));
    return NETWORK_OK;
}

KALTRO_API int32_t Network_ClientLogout(int32_t handle) {
    auto session = library().take_session(handle);
    if (!session) return NETWORK_ERR_INVALID_HANDLE;
    session->close();
    return NETWORK_OK;
}

KALTRO_API int32_t Network_ClientSetEventCB(int32_t handle, NETWORK_EVENT_CB callback, void* user) {
    auto session = library().session(handle);
    if (!session) return NETWORK_ERR_INVALID_HANDLE;
    session->set_event_callback(callback, user);
    return NETWORK_OK;
}

KALTRO_API int32_t Network_ClientStartUpgrade(int32_t* upgrade_handle, int32_t handle, const char* path) {
    if (upgrade_handle == nullptr) return NETWORK_ERR_INVALID_ARG;
    *upgrade_handle = -1;
    if (path == nullptr || path[0] == '\0') return NETWORK_ERR_INVALID_ARG;
    auto session = library().session(handle);
    if (!session) return NETWORK_ERR_INVALID_HANDLE;
    std::unique_ptr<UpgradeTransfer> transfer;
    std::int32_t result = UpgradeTransfer::start(std::move(session), path, transfer);
    if (result != NETWORK_OK) return result;
    *upgrade_handle = library().add_transfer(std::move(transfer));
    return NETWORK_OK;
}

KALTRO_API int32_t Network_ClientGetUpgradeStatus(int32_t upgrade_handle, int32_t* progress) {
    if (progress == nullptr) return NETWORK_ERR_INVALID_ARG;
    auto transfer = library().transfer(upgrade_handle);
    if (!transfer) return NETWORK_ERR_INVALID_HANDLE;
    return transfer->status(*progress);
}

KALTRO_API int32_t Network_ClientStopUpgrade(int32_t upgrade_handle) {
    auto transfer = library().take_transfer(upgrade_handle);
    if (!transfer) return NETWORK_ERR_INVALID_HANDLE;
    transfer->stop();
    return NETWORK_OK;
}

KALTRO_API int32_t Network_ClientGetDeviceConfig(int32_t handle, int32_t command, int32_t channel, void* data,
                                                 int32_t size) {
    return read_record(handle, MSG_GET_CONFIG, command, channel, data, size);
}

KALTRO_API int32_t Network_ClientSetDeviceConfig(int32_t handle, int32_t command, int32_t channel,
                                                 const void* data, int32_t size) {
    // Some commands carry no data (null, 0); anything else needs both.
    if (size < 0 || (size > 0 && data == nullptr) || static_cast<std::uint32_t>(size) > kMaxPayload - 16)
        return NETWORK_ERR_INVALID_ARG;
    ByteWriter body;
    body.i32(command).i32(channel).i32(size).bytes(data, static_cast<std::size_t>(size));
    return simple_request(handle, MSG_SET_CONFIG, body.data());
}

KALTRO_API int32_t Network_ClientDeviceControl(int32_t handle, int32_t code, int32_t arg1, int32_t arg2,
                                               int32_t arg3) {
    return simple_request(handle, MSG_DEVICE_CONTROL, ByteWriter().i32(code).i32(arg1).i32(arg2).i32(arg3).data());
}

KALTRO_API int32_t Network_ClientLDRControl(int32_t handle, int32_t command, int32_t value) {
    return simple_request(handle, MSG_LDR_CONTROL, ByteWriter().i32(command).i32(value).data());
}

KALTRO_API int32_t Network_ClientIrcutControl(int32_t handle, int32_t open) {
    return simple_request(handle, MSG_IRCUT, ByteWriter().i32(open).data());
}

KALTRO_API int32_t Network_ClientPlayVoiceData_test(int32_t handle, int32_t enable) {
    return simple_request(handle, MSG_VOICE_TEST, ByteWriter().i32(enable).data());
}

KALTRO_API int32_t Network_ClientPTZControl(int32_t handle, int32_t channel, const PTZ_PARAM* param) {
    if (param == nullptr) return NETWORK_ERR_INVALID_ARG;
    ByteWriter body;
    body.i32(channel).u32(param->cmd).u32(param->move).u32(param->speed);
    return simple_request(handle, MSG_PTZ, body.data());
}

KALTRO_API int32_t Network_ClientStartLive(int32_t* live_handle, int32_t handle, const LIVE_PARAM* param,
                                           void* /*reserved1*/, void* /*reserved2*/) {
    if (live_handle == nullptr) return NETWORK_ERR_INVALID_ARG;
    *live_handle = -1;
    if (param == nullptr) return NETWORK_ERR_INVALID_ARG;
    auto session = library().session(handle);
    if (!session) return NETWORK_ERR_INVALID_HANDLE;
    std::shared_ptr<LiveStream> live;
    std::int32_t result = LiveStream::start(std::move(session), *param, live);
    if (result != NETWORK_OK) return result;
    *live_handle = library().add_live(std::move(live));
    return NETWORK_OK;
}

KALTRO_API int32_t Network_ClientStopLive(int32_t live_handle) {
    auto live = library().take_live(live_handle);
    if (!live) return NETWORK_ERR_INVALID_HANDLE;
    live->stop();
    return NETWORK_OK;
}

KALTRO_API int32_t Network_ClientLiveControl(int32_t live_handle, int32_t command, void* argument) {
    auto live = library().live(live_handle);
    if (!live) return NETWORK_ERR_INVALID_HANDLE;
    return live->control(command, argument);
}

KALTRO_API int32_t Network_ClientRegisterVideoTarget(uint32_t* target, KALTRO_VIDEO_CB callback, void* user) {
    if (target == nullptr || callback == nullptr) return NETWORK_ERR_INVALID_ARG;
    *target = video_targets().add(callback, user);
    return NETWORK_OK;
}

KALTRO_API int32_t Network_ClientSetVideoTargetSize(uint32_t target, int32_t width, int32_t height) {
    if (width < 0 || height < 0) return NETWORK_ERR_INVALID_ARG;
    return video_targets().set_size(target, {width, height}) ? NETWORK_OK : NETWORK_ERR_INVALID_HANDLE;
}

KALTRO_API int32_t Network_ClientUnregisterVideoTarget(uint32_t target) {
    return video_targets().remove(target) ? NETWORK_OK : NETWORK_ERR_INVALID_HANDLE;
}

KALTRO_API int32_t Network_ClientDeliverVideoFrame(uint32_t target, const KALTRO_VIDEO_FRAME* frame) {
    if (frame == nullptr || (frame->pixels == nullptr) != (frame->width == 0 && frame->height == 0))
        return NETWORK_ERR_INVALID_ARG;
    return video_targets().deliver(target, *frame) ? NETWORK_OK : NETWORK_ERR_INVALID_HANDLE;
}

KALTRO_API int32_t Network_ClientSetThreadAbortCB(NETWORK_ABORT_CB check, void* user) {
    set_thread_abort_check(check, user);
    return NETWORK_OK;
}

KALTRO_API int32_t Network_ClientGetCameraAdvanceConfig(int32_t handle, int32_t channel, void* config,
                                                        int32_t size) {
    if (size != static_cast<int32_t>(sizeof(CAMERA_ADVANCE_CONFIG))) return NETWORK_ERR_INVALID_ARG;
    return read_record(handle, MSG_GET_CAPABILITY, 0, channel, config, size);
}

}  // extern "C"
