#include "batch/job_report.h"

namespace {

constexpr StatusEffect kNone{-1, nullptr, nullptr};

constexpr StatusEffect kEffects[kStatusCount] = {
    {-1, nullptr, "IDS_USER_NAME_NOT_EXIST"},                     // 0
    {-1, nullptr, "IDS_LOGIN_FAIL"},                              // 1
    {COL_UPGRADE, kMarkFailed, "IDS_DISMATCH_UPGRADE_VERSION"},   // 2
    {COL_UPGRADE, kMarkFailed, "IDS_INVALID_UPGRADE_FILE"},       // 3
    {COL_UPGRADE, kMarkFailed, "IDS_DISMATCH_UPGRADE_BOARD_TYPE"},// 4
    {COL_UPGRADE, kMarkFailed, "IDS_START_UPGRADE_FAIL"},         // 5
    {-1, nullptr, "IDS_IS_UPGRADE"},                              // 6
    {-1, nullptr, "IDS_UPGRADE_FAIL_RETRY_LATER"},                // 7
    {COL_UPGRADE, kMarkDone, "IDS_UPGRADE_OK"},                   // 8
    {COL_UPGRADE, kMarkFailed, "IDS_UPGRADE_FAILED"},             // 9
    {-1, nullptr, "IDS_IS_LOGINING"},                             // 10
    {-1, nullptr, "IDS_WAIT_REBOOT"},                             // 11
    {COL_UPGRADE, kMarkSkipped, nullptr},                         // 12
    {COL_NETWORK, kMarkFailed, "IDS_CHANGE_IP_FAIL"},             // 13
    {COL_NETWORK, kMarkDone, "IDS_SETTING_SUCCESS"},              // 14
    {COL_NETWORK, kMarkSkipped, nullptr},                         // 15
    {COL_TIME, kMarkFailed, "IDS_TIME_SYNC_FAILED"},              // 16
    {COL_TIME, kMarkDone, "IDS_TIME_SYNC_SUCCESS"},               // 17
    {COL_TIME, kMarkSkipped, nullptr},                            // 18
    {COL_LOGO, kMarkFailed, "IDS_UPDATE_LOGO_FAILED"},            // 19
    {COL_LOGO, kMarkDone, "IDS_UPDATE_LOGO_SUCCESS"},             // 20
    {COL_LOGO, kMarkSkipped, nullptr},                            // 21
    {COL_COMMAND, kMarkFailed, "IDS_SEND_COMMAND_FAILED"},        // 22
    {COL_COMMAND, kMarkDone, "IDS_SEND_COMMAND_SUCCESS"},         // 23
    {COL_COMMAND, kMarkSkipped, nullptr},                         // 24
    {COL_SETTINGS, kMarkFailed, "IDS_SETTING_FAILED"},            // 25
    {COL_SETTINGS, kMarkDone, "IDS_SETTING_SUCCESS"},             // 26
    {COL_SETTINGS, kMarkSkipped, nullptr},                        // 27
    {-1, nullptr, nullptr},                                       // 28: handled by the row itself
    {-1, nullptr, "IDS_LOGIN_MAX_USER"},                          // 29
    {-1, nullptr, "IDS_JOB_STOPPED"},                             // 30
    {-1, nullptr, "IDS_STOPPED_AFTER_FLASH"},                     // 31
    {COL_UPGRADE, kMarkDone, "IDS_ALREADY_CURRENT_VERSION"},      // 32
    {COL_LOGO, kMarkNotAvailable, "IDS_NOT_ON_ONVIF"},            // 33
    {COL_COMMAND, kMarkNotAvailable, "IDS_NOT_ON_ONVIF"},         // 34
    {COL_SETTINGS, kMarkNotAvailable, "IDS_NOT_ON_ONVIF"},        // 35
    {COL_TIME, kMarkNotAvailable, "IDS_NTP_NOT_ON_NATIVE"},       // 36
};

}  // namespace

bool status_not_available(int code) {
    return code == kStatusLogoNotOnOnvif || code == kStatusCommandNotOnOnvif || code == kStatusSettingsNotOnOnvif ||
           code == kStatusNtpNotOnNative;
}

StatusEffect status_effect(int code) {
    if (code < 0 || code >= kStatusCount) return kNone;
    return kEffects[code];
}
