#include "sim/device_session.h"

#include "client/live_protocol.h"

using namespace kaltro;

DeviceSession::DeviceSession(DeviceState& device, Send send)
    : m_device(device), m_send(std::move(send)), m_live(device.camera(), device.live_log()) {}

DeviceSession::~DeviceSession() {
    m_device.upgrade_abort(this);
    if (m_logged_in) m_device.release_session_slot();
}

DeviceSession::Verdict DeviceSession::on_bytes(const std::uint8_t* data, std::size_t length) {
    Verdict verdict = Verdict::keep;
    bool intact = m_reader.consume(data, length, [this, &verdict](const FrameView& frame) {
        verdict = handle(frame);
        return verdict == Verdict::keep;
    });
    return intact ? verdict : Verdict::close;
}

void DeviceSession::answer(const FrameView& request, std::int32_t status, const std::vector<std::uint8_t>& payload) {
    m_send(encode_frame(static_cast<std::uint16_t>(request.header.type | kResponseBit), request.header.request_id,
                        status, payload));
}

DeviceSession::Verdict DeviceSession::handle(const FrameView& frame) {
    std::uint16_t type = frame.header.type;
    if (type & kResponseBit) return Verdict::close;  // clients do not answer
    if (type == MSG_KEEPALIVE) {
        answer(frame, NETWORK_OK);
        return Verdict::keep;
    }
    if (type == MSG_LOGIN_BEGIN || type == MSG_LOGIN_PROOF) return handle_login(frame);
    // Nothing but the login before the login.
    if (!m_logged_in) return Verdict::close;
    if (type == MSG_LOGOUT) return Verdict::close;
    if (type >= MSG_UPGRADE_BEGIN && type <= MSG_UPGRADE_STATUS) return handle_upgrade(frame);
    if (type >= MSG_LIVE_START && type <= MSG_LIVE_CONTROL) return handle_live(frame);
    return handle_request(frame);
}

DeviceSession::Verdict DeviceSession::handle_login(const FrameView& frame) {
    if (m_logged_in) return Verdict::close;
    ByteReader in(frame.payload, frame.header.length);
    if (frame.header.type == MSG_LOGIN_BEGIN) {
        if (!in.text(m_user, kMaxCredential) || in.remaining() != 0) return Verdict::close;
        std::int32_t allowed = m_device.check_login_allowed(m_user);
        if (allowed != NETWORK_OK) {
            answer(frame, allowed);
            return Verdict::keep;
        }
        if (!make_nonce(m_nonce)) return Verdict::close;
        m_challenged = true;
        answer(frame, NETWORK_OK, std::vector<std::uint8_t>(m_nonce.begin(), m_nonce.end()));
        return Verdict::keep;
    }
    const std::uint8_t* client_nonce = nullptr;
    const std::uint8_t* proof = nullptr;
    if (!m_challenged || !in.bytes(kNonceSize, client_nonce) || !in.bytes(kProofSize, proof) || in.remaining() != 0)
        return Verdict::close;
    m_challenged = false;  // one proof per challenge
    std::string password;
    if (!m_device.password_of(m_user, password)) {
        answer(frame, NETWORK_ERR_USER);
        return Verdict::keep;
    }
    Nonce theirs;
    std::copy(client_nonce, client_nonce + kNonceSize, theirs.begin());
    if (!proof_equal(login_proof(password, m_nonce, theirs, m_user), proof)) {
        answer(frame, NETWORK_ERR_PASSWORD);
        return Verdict::keep;
    }
    std::int32_t slot = m_device.take_session_slot();
    m_logged_in = slot == NETWORK_OK;
    if (!m_logged_in) {
        answer(frame, slot);
        return Verdict::keep;
    }
    // The camera proves the password to the client in turn.
    Proof ours = device_proof(password, theirs, m_nonce, m_user);
    answer(frame, NETWORK_OK, std::vector<std::uint8_t>(ours.begin(), ours.end()));
    return Verdict::keep;
}

DeviceSession::Verdict DeviceSession::handle_request(const FrameView& frame) {
    ByteReader in(frame.payload, frame.header.length);
    std::int32_t a = 0, b = 0, c = 0, d = 0;
    switch (frame.header.type) {
        case MSG_GET_CONFIG:
        case MSG_GET_CAPABILITY:
        case MSG_SET_CONFIG:
            if (!in.i32(a) || !in.i32(b) || !in.i32(c)) return Verdict::close;  // command, channel, size
            break;
        case MSG_DEVICE_CONTROL:
        case MSG_PTZ:
            if (!in.i32(a) || !in.i32(b) || !in.i32(c) || !in.i32(d)) return Verdict::close;
            break;
        case MSG_LDR_CONTROL:
            if (!in.i32(a) || !in.i32(b)) return Verdict::close;
            break;
        case MSG_IRCUT:
        case MSG_VOICE_TEST:
            if (!in.i32(a)) return Verdict::close;
            break;
        default:
            answer(frame, NETWORK_ERR_NOT_SUPPORTED);  // a later protocol's request
            return Verdict::keep;
    }
    std::uint16_t type = frame.header.type;
    bool has_command = type == MSG_GET_CONFIG || type == MSG_SET_CONFIG || type == MSG_DEVICE_CONTROL ||
                       type == MSG_LDR_CONTROL;
    if (has_command && m_device.ignores(a)) return Verdict::keep;
    if (has_command && m_device.take_answer17(a)) {
        answer(frame, NETWORK_ERR_NETWORK);
        return Verdict::keep;
    }
    std::vector<std::uint8_t> out;
    std::int32_t status = NETWORK_ERR_INVALID_ARG;
    switch (type) {
        case MSG_GET_CONFIG:
            status = m_device.get_config(a, c, out);
            break;
        case MSG_GET_CAPABILITY: {
            CAMERA_ADVANCE_CONFIG cap = m_device.capability();
            if (c == static_cast<std::int32_t>(sizeof(cap))) {
                const auto* p = reinterpret_cast<const std::uint8_t*>(&cap);
                out.assign(p, p + sizeof(cap));
                status = NETWORK_OK;
            }
            break;
        }
        case MSG_SET_CONFIG: {
            const std::uint8_t* data = nullptr;
            if (c < 0 || !in.bytes(static_cast<std::size_t>(c), data) || in.remaining() != 0) return Verdict::close;
            status = m_device.set_config(a, data, static_cast<std::size_t>(c));
            break;
        }
        case MSG_DEVICE_CONTROL: status = m_device.device_control(a, b, c, d); break;
        case MSG_PTZ:
            status = m_device.ptz(a, static_cast<std::uint32_t>(b), static_cast<std::uint32_t>(c),
                                  static_cast<std::uint32_t>(d));
            break;
        case MSG_LDR_CONTROL: status = m_device.ldr_control(a, b); break;
        case MSG_IRCUT: status = m_device.ircut(a); break;
        case MSG_VOICE_TEST: status = m_device.voice_test(a); break;
    }
    answer(frame, status, out);
    return Verdict::keep;
}

DeviceSession::Verdict DeviceSession::handle_upgrade(const FrameView& frame) {
    ByteReader in(frame.payload, frame.header.length);
    switch (frame.header.type) {
        case MSG_UPGRADE_BEGIN: {
            std::uint64_t total = 0;
            const std::uint8_t* header = nullptr;
            if (!in.u64(total) || !in.bytes(kFirmwareHeaderSize, header) || in.remaining() != 0) return Verdict::close;
            answer(frame, m_device.upgrade_begin(this, total, header));
            return Verdict::keep;
        }
        case MSG_UPGRADE_DATA: {
            std::uint64_t offset = 0;
            if (!in.u64(offset) || !m_device.upgrade_data(this, offset, frame.payload + 8, in.remaining()))
                return Verdict::close;
            return m_device.take_drop_mid_transfer(this) ? Verdict::close : Verdict::keep;
        }
        case MSG_UPGRADE_STATUS: {
            std::int32_t percent = m_device.upgrade_percent(this);
            if (percent < 0 || m_device.take_failed_status_poll()) {
                answer(frame, NETWORK_ERR_FAIL);
                return Verdict::keep;
            }
            answer(frame, NETWORK_OK, ByteWriter().u32(static_cast<std::uint32_t>(percent)).data());
            return Verdict::keep;
        }
        case MSG_UPGRADE_END: {
            std::int32_t result = m_device.upgrade_end(this);
            answer(frame, result);
            return result == NETWORK_OK ? Verdict::reboot : Verdict::keep;
        }
        case MSG_UPGRADE_ABORT:
            m_device.upgrade_abort(this);
            return Verdict::keep;
    }
    return Verdict::close;
}

DeviceSession::Verdict DeviceSession::handle_live(const FrameView& frame) {
    ByteReader in(frame.payload, frame.header.length);
    std::uint32_t a = 0, b = 0;
    if (!in.u32(a) || (frame.header.type != MSG_LIVE_STOP && !in.u32(b)) || in.remaining() != 0) return Verdict::close;
    switch (frame.header.type) {
        case MSG_LIVE_START: {
            std::uint32_t stream_id = 0;
            std::int32_t status = m_live.start(a, stream_id);
            answer(frame, status, status == NETWORK_OK ? ByteWriter().u32(stream_id).data() : std::vector<std::uint8_t>{});
            return Verdict::keep;
        }
        case MSG_LIVE_STOP: answer(frame, m_live.stop(a)); return Verdict::keep;
        default: answer(frame, m_live.control(a, static_cast<std::int32_t>(b))); return Verdict::keep;
    }
}

void DeviceSession::on_tick() {
    std::vector<std::uint8_t> payload;
    if (m_logged_in && m_live.take_due_frame(payload)) m_send(encode_frame(MSG_LIVE_FRAME, 0, NETWORK_OK, payload));
}
