// The setting steps of a device pass: logo, shell command, time, settings
// record, UID, factory reset and password reset, always in this order.
#include <cstring>
#include <memory>
#include <vector>

#include "batch/batch_job.h"
#include "batch/batch_worker.h"
#include "batch/customer_cfg.h"
#include "batch/text_limits.h"
#include "client/device_time.h"
#include "runtime/regular_file.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

// retry_step values: the step that asked for another pass.
enum RetryStep { kRetryLogo = 3, kRetryCommand = 4, kRetryTime = 5, kRetrySettings = 6, kRetryUid = 7,
                 kRetryFactory = 8, kRetryResetPwd = 9 };

constexpr int32_t kAnswerRetry = NETWORK_ERR_NETWORK;  // 17: log in again and repeat

}  // namespace

bool CBatchWorker::asks_retry(int32_t answer, int step) {
    if (answer == kAnswerRetry) {
        m_retry_step = step;
        return true;
    }
    m_retry_step = 0;
    return false;
}

void CBatchWorker::setting_steps() {
    if (!logo_step() || !command_step() || !time_step()) return;
    // The time column says so when the job also asked for an NTP server,
    // which only ONVIF cameras take.
    if (!m_params.ntp_server.empty()) post(kStatusNtpNotOnNative);
    if (!settings_step() || !uid_step()) return;
    if (!control_step(m_steps.restore_factory, kRetryFactory, DEVICE_CTRL_RESTORE_FACTORY)) return;
    control_step(m_steps.reset_pwd, kRetryResetPwd, DEVICE_CTRL_RESET_PWD);
}

bool CBatchWorker::logo_step() {
    if (!(m_steps.change_logo || m_retry_step == kRetryLogo) || group1() || !running()) {
        post(21);
        return true;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(open_regular_file(m_params.logo_path), &std::fclose);
    if (!file) {
        TRACE_MSG("CBatchWorker::logo_step", "logo file \"%s\" cannot be opened (or is not a regular file)\n",
                  m_params.logo_path.c_str());
        m_retry_step = 0;
        post(19);
        return true;
    }
    return send_logo(file.get());
}

bool CBatchWorker::send_logo(std::FILE* file) {
    IDeviceClient& client = m_job.client();
    int ret = std::fseek(file, 0, SEEK_END);
    if (ret != 0) TRACE_MSG("CBatchWorker::send_logo", "fseek  SEEK_END  error !!!! ret=%d", ret);
    long position = std::ftell(file);
    int32_t total_length = position > 0 ? static_cast<int32_t>(position) : 0;
    ret = std::fseek(file, 0, SEEK_SET);
    if (ret != 0) TRACE_MSG("CBatchWorker::send_logo", "fseek  SEEK_SET  error !!!! ret=%d", ret);
    TRACE_MSG("CBatchWorker::send_logo", "current offset = %d total_length = %d, file = %p\n", 0,
              total_length, static_cast<void*>(file));

    int32_t answer = client.SetDeviceConfig(m_device_handle, NETWORK_CMD_LOGO_START, 0, &total_length,
                                            sizeof total_length);
    TRACE_MSG("CBatchWorker::send_logo",
              "-------------Network_ClientSetDeviceConfig  ----------NETWORK_CMD_LOGO_START------ nRet=%d "
              "total_length=%d  device_handle=%d\n",
              answer, total_length, m_device_handle);
    if (answer != 0) {
        if (asks_retry(answer, kRetryLogo)) return false;
        post(19);
        return true;
    }
    std::vector<char> piece(LOGO_PIECE_MAX);
    int32_t remaining = total_length;
    while (remaining > 0) {
        std::size_t wanted = static_cast<std::size_t>(std::min<int32_t>(remaining, LOGO_PIECE_MAX));
        std::size_t got = std::fread(piece.data(), 1, wanted, file);
        if (got == 0) {
            TRACE_MSG("CBatchWorker::send_logo", "\n----fread-FAILED!!!----  readsize=%d \n",
                      static_cast<int>(got));
            break;
        }
        // Only the bytes actually read go out: a file that shrank under us
        // must not be padded with stale buffer contents.
        answer = client.SetDeviceConfig(m_device_handle, NETWORK_CMD_LOGO_DATA, 0, piece.data(),
                                        static_cast<int32_t>(got));
        if (answer != 0) {
            TRACE_MSG("CBatchWorker::send_logo", "-----FAILED!!!-----NETWORK_CMD_LOGO_DATA---- nRet=%d \n",
                      answer);
            break;
        }
        remaining -= static_cast<int32_t>(got);
        rt_sleep_ms(1);
    }
    // The device's answer to the finish decides the step.
    answer = client.SetDeviceConfig(m_device_handle, NETWORK_CMD_LOGO_FINISH, 0, nullptr, 0);
    if (answer != 0)
        TRACE_MSG("CBatchWorker::send_logo", "-----FAILED!!!-----NETWORK_CMD_LOGO_FINISH---- nRet=%d \n",
                  answer);
    if (asks_retry(answer, kRetryLogo)) return false;
    post(answer == 0 ? 20 : 19);
    return true;
}

bool CBatchWorker::send_shell_line(const std::string& line, int step, int32_t* answer_out) {
    char buffer[NETWORK_SHELL_LINE_SIZE] = {};
    std::string cut = cut_utf8(line, NETWORK_SHELL_LINE_SIZE - 1);
    std::memcpy(buffer, cut.data(), cut.size());
    int32_t answer = m_job.client().SetDeviceConfig(m_device_handle, NETWORK_CMD_SHELL, 0, buffer, sizeof buffer);
    if (answer_out != nullptr) *answer_out = answer;
    if (asks_retry(answer, step)) return false;
    post(answer == 0 ? 23 : 22);
    return true;
}

bool CBatchWorker::command_step() {
    if (!(m_steps.send_command || m_retry_step == kRetryCommand) || !running()) {
        // UID and resets report into the same column.
        if (!(m_steps.change_UID || m_steps.restore_factory || m_steps.reset_pwd)) post(24);
        return true;
    }
    return send_shell_line(m_params.command, kRetryCommand);
}

bool CBatchWorker::time_step() {
    if (!(m_steps.change_time_sync || m_retry_step == kRetryTime) || !running()) {
        post(18);
        return true;
    }
    IDeviceClient& client = m_job.client();
    DEVICE_TIME record{};
    int32_t answer = client.GetDeviceConfig(m_device_handle, NETWORK_CMD_GET_TIME, 0, &record, sizeof record);
    TRACE_MSG("CBatchWorker::time_step", "### upgrade proc tag 333: index = %d, ret = %d \n", m_ch, answer);
    if (answer != 0) {
        if (asks_retry(answer, kRetryTime)) return false;
        post(16);
        return true;
    }
    if (group1()) record.mode = 5;
    device_time_set_now(record);
    answer = client.SetDeviceConfig(m_device_handle, NETWORK_CMD_SET_TIME, 0, &record, sizeof record);
    if (asks_retry(answer, kRetryTime)) return false;
    post(answer == 0 ? 17 : 16);
    rt_sleep_ms(100);
    return true;
}

bool CBatchWorker::settings_step() {
    // A retried pass sends the record of the earlier pass as it was.
    if (m_retry_step == 0 && running() &&
        fill_customer_cfg(m_customer_cfg, m_steps, m_params, group1()))
        m_need_set_customer_cfg = true;
    TRACE_MSG("CBatchWorker::settings_step",
              "CtervaneDlg::  ThreadFunc  ---------------- need_set_customer_cfg=%d device_handle=%d\n",
              m_need_set_customer_cfg ? 1 : 0, m_device_handle);
    if (!(m_need_set_customer_cfg || m_retry_step == kRetrySettings) || !running()) {
        post(27);
        return true;
    }
    int32_t answer = m_job.client().SetDeviceConfig(m_device_handle, NETWORK_CMD_CUSTOMER_CFG, 0,
                                                    &m_customer_cfg, sizeof m_customer_cfg);
    TRACE_MSG("CBatchWorker::settings_step",
              "-------------Network_ClientSetDeviceConfig  ---------------- nRet=%d \n", answer);
    if (asks_retry(answer, kRetrySettings)) return false;
    post(answer == 0 ? 26 : 25);
    return true;
}

bool CBatchWorker::uid_step() {
    if (!(m_steps.change_UID || m_retry_step == kRetryUid) || !running()) {
        if (!(m_steps.send_command || m_steps.restore_factory || m_steps.reset_pwd)) post(24);
        return true;
    }
    // start_upgrade has checked that the UID is plain text for the shell.
    int32_t answer = 0;
    if (!send_shell_line("echo " + m_params.uid + " >/config/tuya.cfg", kRetryUid, &answer)) return false;
    m_job.note_uid_written(m_slot, answer == 0);
    return true;
}

bool CBatchWorker::control_step(bool flagged, int step, int32_t code) {
    if (!(flagged || m_retry_step == step) || !running()) return true;
    int32_t answer = m_job.client().DeviceControl(m_device_handle, code, 0, 0, 0);
    TRACE_MSG("CBatchWorker::control_step",
              "-------------Network_ClientSetDeviceConfig  ---------------- nRet=%d \n", answer);
    if (asks_retry(answer, step)) return false;
    post(answer == 0 ? 23 : 22);
    return true;
}
