#include "batch/dialog/batch_dlg_controls.h"

namespace batch_dlg {

using ui::ControlKind;
using ui::ControlSpec;
using ui::kCheckBoxes;
using ui::kDisabled;
using ui::kHidden;
using ui::kPassword;
using ui::kShown;

namespace {

constexpr ui::DialogSpec kDialog{"IDS_TERVANE", 825, 452, 9};

// Rectangles in dialog units. The list fills the top; below it the upgrade
// group (left) and the settings group (right) share one band. Controls that
// the dialog never shows are parked inside their group, out of the way.
constexpr ControlSpec kControls[] = {
    // Top bar
    {IDC_LABEL_DEVICE_TYPE, ControlKind::Label, "device type", "IDS_DEVICE_TYPE", {7, 9, 50, 9}},
    {IDC_COMBO_DEVICE_TYPE, ControlKind::Combo, "", nullptr, {60, 7, 80, 80}},
    {IDC_EDIT_ADD_ADDRESS, ControlKind::Edit, "", nullptr, {150, 7, 150, 13}},
    {IDC_BTN_ADD_ADDRESS, ControlKind::Button, "add by address", "IDS_ADD_BY_ADDRESS", {304, 6, 80, 15}},
    {IDC_LABEL_USER, ControlKind::Label, "username", "IDS_USER_NAME", {150, 9, 44, 9}, kHidden},
    {IDC_EDIT_USER, ControlKind::Edit, "", nullptr, {196, 7, 70, 13}, kHidden},
    {IDC_LABEL_PASSWORD, ControlKind::Label, "password", "IDS_PASSWORD", {274, 9, 44, 9}, kHidden},
    {IDC_EDIT_PASSWORD, ControlKind::Edit, "", nullptr, {320, 7, 70, 13}, kHidden | kPassword},
    {IDC_LABEL_NETWORK_CARD, ControlKind::Label, "network card", "IDS_NETWORK_CARD", {398, 9, 56, 9}},
    {IDC_COMBO_NETWORK_CARD, ControlKind::Combo, "", nullptr, {456, 7, 90, 80}},
    {IDC_BTN_LOAD_PLAN, ControlKind::Button, "load plan...", "IDS_LOAD_PLAN", {452, 6, 70, 15}},
    {IDC_BTN_EXPORT_LIST, ControlKind::Button, "export list...", "IDS_EXPORT_LIST", {526, 6, 70, 15}},
    {IDC_BTN_REFRESH, ControlKind::Button, "refresh", "IDS_REFRESH", {600, 6, 66, 15}},
    {IDC_BTN_SELECT_ALL, ControlKind::Button, "select all", "IDS_SELECT_ALL", {670, 6, 66, 15}},
    {IDC_BTN_SELECT_INVERT, ControlKind::Button, "invert", "IDS_SELECT_INVERT", {740, 6, 78, 15}},
    {IDC_LIST_DEVICES, ControlKind::ReportList, "", nullptr, {7, 26, 811, 284}, kCheckBoxes},

    // Upgrade group
    {IDC_GROUP_UPGRADE, ControlKind::GroupBox, "upgrade", "IDS_UPGRADE_FUNC", {7, 316, 405, 129}},
    {IDC_CHECK_UPGRADE, ControlKind::CheckBox, "upgrade firmware", "IDS_UPGRADE_VERSON", {17, 332, 84, 10}},
    {IDC_STATIC_STEP1, ControlKind::Label, "1", nullptr, {103, 333, 8, 9}},
    {IDC_EDIT_FW_PATH, ControlKind::Edit, "", nullptr, {17, 348, 318, 14}},
    {IDC_BTN_BROWSE_FW, ControlKind::Button, "browse", "IDS_BROWSE", {340, 347, 62, 16}},
    {IDC_BTN_UPGRADE, ControlKind::Button, "upgrade", "IDS_START_UPGRADE", {17, 370, 70, 16}},
    {IDC_BTN_STOP, ControlKind::Button, "stop", "IDS_STOP", {92, 370, 70, 16}, kDisabled},
    {IDC_LABEL_PROGRESS, ControlKind::Label, "progress", "IDS_PROGRESS", {17, 410, 50, 9}},
    {IDC_PROGRESS, ControlKind::ProgressBar, "", nullptr, {17, 396, 385, 10}},
    {IDC_LABEL_COUNT, ControlKind::Label, "1/35", nullptr, {340, 410, 62, 9}},
    {IDC_CHECK_AUTO_IP, ControlKind::CheckBox, "auto ip address", "IDS_IP_ADDR_RANGE", {17, 412, 130, 10}},
    {IDC_IP_RANGE_START, ControlKind::IpAddress, "", nullptr, {150, 410, 90, 13}},
    {IDC_STATIC_TILDE, ControlKind::Label, "~", nullptr, {243, 412, 8, 9}},
    {IDC_IP_RANGE_END, ControlKind::IpAddress, "", nullptr, {254, 410, 90, 13}},
    {IDC_BTN_SET_RANGE, ControlKind::Button, "set", "IDS_SET", {350, 409, 52, 15}},
    {IDC_CHECK_LOGO, ControlKind::CheckBox, "update logo", "IDS_UPDATE_LOGO", {17, 426, 80, 10}},
    {IDC_EDIT_LOGO_PATH, ControlKind::Edit, "", nullptr, {100, 424, 180, 14}},
    {IDC_BTN_BROWSE_LOGO, ControlKind::Button, "browse", "IDS_BROWSE", {285, 423, 55, 15}},
    {IDC_BTN_UPGRADE_LOGO, ControlKind::Button, "upgrade", "IDS_START_UPGRADE", {345, 423, 57, 15}},
    {IDC_CHECK_TIME_SYNC, ControlKind::CheckBox, "time sync", "IDS_TIME_SYNC", {17, 430, 80, 10}},
    {IDC_BTN_SYNC_TIME, ControlKind::Button, "sync", "IDS_SYNC", {100, 428, 55, 15}},
    {IDC_CHECK_COMMAND, ControlKind::CheckBox, "send command", "IDS_SEND_COMMAND", {160, 430, 70, 10}},
    {IDC_EDIT_COMMAND, ControlKind::Edit, "", nullptr, {232, 428, 110, 14}},
    {IDC_BTN_SEND_COMMAND, ControlKind::Button, "send", "IDS_SEND", {345, 428, 57, 15}},
    {IDC_BTN_START, ControlKind::Button, "start ", "IDS_START", {167, 370, 70, 16}},

    // Settings group
    {IDC_GROUP_SETTINGS, ControlKind::GroupBox, "setting", "IDS_IP_CONFIG", {418, 316, 400, 129}},
    {IDC_CHECK_SET_NETWORK, ControlKind::CheckBox, "set network", "IDS_SET_DEFAULT_IPC", {428, 332, 90, 10}},
    {IDC_CHECK_DHCP, ControlKind::CheckBox, "DHCP", "IDS_DHCP", {525, 332, 60, 10}},
    {IDC_LABEL_IP_ADDR, ControlKind::Label, "IP addr", "IDS_IP_ADDR", {428, 350, 62, 9}},
    {IDC_IP_NEW_ADDRESS, ControlKind::IpAddress, "", nullptr, {494, 348, 100, 13}, kDisabled},
    {IDC_LABEL_SUBMASK, ControlKind::Label, "submask", "IDS_IP_SUBMASK", {428, 368, 62, 9}},
    {IDC_IP_SUBMASK, ControlKind::IpAddress, "", nullptr, {494, 366, 100, 13}, kDisabled},
    {IDC_LABEL_GATEWAY, ControlKind::Label, "gateway", "IDS_IP_GATEWAY", {428, 386, 62, 9}},
    {IDC_IP_GATEWAY, ControlKind::IpAddress, "", nullptr, {494, 384, 100, 13}, kDisabled},
    {IDC_LABEL_DNS1, ControlKind::Label, "DNS1", "IDS_IP_DNS1", {606, 350, 40, 9}, kHidden},
    {IDC_IP_DNS1, ControlKind::IpAddress, "", nullptr, {650, 348, 100, 13}, kHidden | kDisabled},
    {IDC_LABEL_DNS2, ControlKind::Label, "DNS2", "IDS_IP_DNS2", {606, 368, 40, 9}, kHidden},
    {IDC_IP_DNS2, ControlKind::IpAddress, "", nullptr, {650, 366, 100, 13}, kHidden | kDisabled},
    {IDC_BTN_SET_NETWORK, ControlKind::Button, "set", "IDS_SET", {494, 404, 60, 16}, kDisabled},
    {IDC_BTN_RESET, ControlKind::Button, "reset", "IDS_RESTORE_FACTORY_SETTINGS", {428, 424, 90, 16}},
    {IDC_BTN_RESET_PWD, ControlKind::Button, "reset pwd", "IDS_RESET_PWD", {524, 424, 90, 16}},
    {IDC_CHECK_TIME_ZONE, ControlKind::CheckBox, "time zone", "IDS_TIME_ZONE", {620, 332, 70, 10}},
    {IDC_COMBO_TIME_ZONE, ControlKind::Combo, "", nullptr, {692, 330, 70, 100}},
    {IDC_BTN_SET_TIME_ZONE, ControlKind::Button, "set", "IDS_SET", {766, 329, 44, 15}},
    {IDC_CHECK_NTP, ControlKind::CheckBox, "NTP server", "IDS_NTP_SERVER", {620, 350, 70, 10}},
    {IDC_EDIT_NTP, ControlKind::Edit, "", nullptr, {692, 348, 70, 13}},
    {IDC_BTN_SET_NTP, ControlKind::Button, "set", "IDS_SET", {766, 347, 44, 15}},
    {IDC_CHECK_TIME_FORMAT, ControlKind::CheckBox, "time format", "IDS_TIME_FMT", {620, 346, 70, 10}},
    {IDC_COMBO_TIME_FORMAT, ControlKind::Combo, "", nullptr, {692, 344, 70, 100}},
    {IDC_BTN_SET_TIME_FORMAT, ControlKind::Button, "set", "IDS_SET", {766, 343, 44, 15}},
    {IDC_CHECK_VIDEO_STD, ControlKind::CheckBox, "video standard", "IDS_VIDEO_STANDARD", {620, 360, 70, 10}},
    {IDC_COMBO_VIDEO_STD, ControlKind::Combo, "", nullptr, {692, 358, 70, 100}},
    {IDC_BTN_SET_VIDEO_STD, ControlKind::Button, "set", "IDS_SET", {766, 357, 44, 15}},
    {IDC_CHECK_LANGUAGE, ControlKind::CheckBox, "language", "IDS_LANGUAGE", {620, 374, 70, 10}},
    {IDC_COMBO_LANGUAGE, ControlKind::Combo, "", nullptr, {692, 372, 70, 100}},
    {IDC_BTN_SET_LANGUAGE, ControlKind::Button, "set", "IDS_SET", {766, 371, 44, 15}},
    {IDC_CHECK_PASSWORD, ControlKind::CheckBox, "default password", "IDS_DEFAULT_PWD", {620, 388, 70, 10}},
    {IDC_EDIT_DEFAULT_PWD, ControlKind::Edit, "", nullptr, {692, 386, 70, 13}},
    {IDC_BTN_SET_PASSWORD, ControlKind::Button, "set", "IDS_SET", {766, 385, 44, 15}},
    {IDC_CHECK_MAX_CH, ControlKind::CheckBox, "max channel", "IDS_MAX_CHANNEL_NUM", {620, 402, 70, 10}},
    {IDC_COMBO_MAX_CH, ControlKind::Combo, "", nullptr, {692, 400, 70, 100}},
    {IDC_BTN_SET_MAX_CH, ControlKind::Button, "set", "IDS_SET", {766, 399, 44, 15}},
    {IDC_CHECK_DEFAULT_CH, ControlKind::CheckBox, "default channel", "IDS_DEFAULT_CHANNEL", {620, 416, 70, 10}},
    {IDC_COMBO_DEFAULT_CH, ControlKind::Combo, "", nullptr, {692, 414, 70, 100}},
    {IDC_BTN_SET_DEFAULT_CH, ControlKind::Button, "set", "IDS_SET", {766, 413, 44, 15}},
    {IDC_CHECK_UID, ControlKind::CheckBox, "UID(tuya)", nullptr, {620, 430, 70, 10}},
    {IDC_EDIT_UID, ControlKind::Edit, "", nullptr, {692, 428, 70, 13}},
    {IDC_BTN_SET_UID, ControlKind::Button, "set", "IDS_SET", {766, 427, 44, 15}},
    {IDC_BTN_HIDDEN_REFRESH, ControlKind::Button, "refresh", nullptr, {620, 424, 50, 15}, kHidden},
    {IDC_LABEL_FRAME, ControlKind::Label, "", nullptr, {620, 316, 10, 10}, kHidden},
};

// Fields, combos and lists are named after the caption beside them.
constexpr ui::NameSpec kNames[] = {
    {IDC_COMBO_DEVICE_TYPE, IDC_LABEL_DEVICE_TYPE, nullptr},
    {IDC_EDIT_USER, IDC_LABEL_USER, nullptr},
    {IDC_EDIT_PASSWORD, IDC_LABEL_PASSWORD, nullptr},
    {IDC_COMBO_NETWORK_CARD, IDC_LABEL_NETWORK_CARD, nullptr},
    {IDC_LIST_DEVICES, 0, "IDS_DEVICE_LIST"},
    {IDC_EDIT_FW_PATH, IDC_CHECK_UPGRADE, nullptr},
    {IDC_PROGRESS, IDC_LABEL_PROGRESS, nullptr},
    {IDC_IP_RANGE_START, IDC_CHECK_AUTO_IP, nullptr},
    {IDC_IP_RANGE_END, IDC_CHECK_AUTO_IP, nullptr},
    {IDC_EDIT_LOGO_PATH, IDC_CHECK_LOGO, nullptr},
    {IDC_EDIT_COMMAND, IDC_CHECK_COMMAND, nullptr},
    {IDC_IP_NEW_ADDRESS, IDC_LABEL_IP_ADDR, nullptr},
    {IDC_IP_SUBMASK, IDC_LABEL_SUBMASK, nullptr},
    {IDC_IP_GATEWAY, IDC_LABEL_GATEWAY, nullptr},
    {IDC_IP_DNS1, IDC_LABEL_DNS1, nullptr},
    {IDC_IP_DNS2, IDC_LABEL_DNS2, nullptr},
    {IDC_COMBO_TIME_ZONE, IDC_CHECK_TIME_ZONE, nullptr},
    {IDC_COMBO_TIME_FORMAT, IDC_CHECK_TIME_FORMAT, nullptr},
    {IDC_COMBO_VIDEO_STD, IDC_CHECK_VIDEO_STD, nullptr},
    {IDC_COMBO_LANGUAGE, IDC_CHECK_LANGUAGE, nullptr},
    {IDC_EDIT_DEFAULT_PWD, IDC_CHECK_PASSWORD, nullptr},
    {IDC_COMBO_MAX_CH, IDC_CHECK_MAX_CH, nullptr},
    {IDC_COMBO_DEFAULT_CH, IDC_CHECK_DEFAULT_CH, nullptr},
    {IDC_EDIT_UID, IDC_CHECK_UID, nullptr},
    {IDC_EDIT_ADD_ADDRESS, IDC_BTN_ADD_ADDRESS, nullptr},
    {IDC_EDIT_NTP, IDC_CHECK_NTP, nullptr},
};

constexpr int kHiddenAtStart[] = {
    IDC_LABEL_NETWORK_CARD, IDC_COMBO_NETWORK_CARD, IDC_CHECK_AUTO_IP, IDC_IP_RANGE_START, IDC_STATIC_TILDE,
    IDC_IP_RANGE_END, IDC_BTN_SET_RANGE, IDC_LABEL_PROGRESS, IDC_LABEL_COUNT, IDC_CHECK_LOGO, IDC_EDIT_LOGO_PATH,
    IDC_BTN_BROWSE_LOGO, IDC_BTN_UPGRADE_LOGO, IDC_CHECK_TIME_SYNC, IDC_BTN_SYNC_TIME, IDC_CHECK_COMMAND,
    IDC_EDIT_COMMAND, IDC_BTN_SEND_COMMAND, IDC_CHECK_TIME_FORMAT, IDC_COMBO_TIME_FORMAT, IDC_BTN_SET_TIME_FORMAT, IDC_CHECK_VIDEO_STD, IDC_COMBO_VIDEO_STD,
    IDC_BTN_SET_VIDEO_STD, IDC_CHECK_LANGUAGE, IDC_COMBO_LANGUAGE, IDC_BTN_SET_LANGUAGE, IDC_CHECK_PASSWORD,
    IDC_EDIT_DEFAULT_PWD, IDC_BTN_SET_PASSWORD, IDC_CHECK_MAX_CH, IDC_COMBO_MAX_CH, IDC_BTN_SET_MAX_CH,
    IDC_CHECK_DEFAULT_CH, IDC_COMBO_DEFAULT_CH, IDC_BTN_SET_DEFAULT_CH, IDC_CHECK_UID, IDC_EDIT_UID, IDC_BTN_SET_UID,
};

constexpr int kLockedWhileRunning[] = {
    IDC_EDIT_USER, IDC_EDIT_PASSWORD, IDC_BTN_REFRESH, IDC_BTN_LOAD_PLAN, IDC_BTN_UPGRADE, IDC_LIST_DEVICES, IDC_BTN_SELECT_ALL,
    IDC_BTN_SELECT_INVERT, IDC_BTN_BROWSE_FW, IDC_COMBO_DEVICE_TYPE, IDC_COMBO_NETWORK_CARD, IDC_CHECK_UPGRADE,
    IDC_CHECK_AUTO_IP, IDC_CHECK_VIDEO_STD, IDC_CHECK_TIME_ZONE, IDC_CHECK_TIME_FORMAT, IDC_CHECK_TIME_SYNC,
    IDC_CHECK_DHCP, IDC_CHECK_LOGO, IDC_CHECK_LANGUAGE, IDC_CHECK_PASSWORD, IDC_CHECK_MAX_CH, IDC_CHECK_DEFAULT_CH,
    IDC_CHECK_SET_NETWORK, IDC_CHECK_COMMAND, IDC_CHECK_UID, IDC_IP_RANGE_START, IDC_IP_RANGE_END,
    IDC_COMBO_VIDEO_STD, IDC_COMBO_TIME_ZONE, IDC_COMBO_TIME_FORMAT, IDC_BTN_BROWSE_LOGO, IDC_COMBO_LANGUAGE,
    IDC_EDIT_DEFAULT_PWD, IDC_EDIT_UID, IDC_COMBO_MAX_CH, IDC_COMBO_DEFAULT_CH, IDC_EDIT_COMMAND, IDC_BTN_START,
    IDC_LABEL_IP_ADDR, IDC_LABEL_SUBMASK, IDC_LABEL_GATEWAY, IDC_LABEL_DNS1, IDC_LABEL_DNS2, IDC_IP_SUBMASK,
    IDC_IP_GATEWAY, IDC_IP_DNS1, IDC_IP_DNS2, IDC_IP_NEW_ADDRESS, IDC_BTN_SET_RANGE, IDC_BTN_SET_TIME_ZONE,
    IDC_BTN_SET_TIME_FORMAT, IDC_BTN_SYNC_TIME, IDC_BTN_UPGRADE_LOGO, IDC_BTN_SET_LANGUAGE, IDC_BTN_SET_PASSWORD,
    IDC_BTN_SET_MAX_CH, IDC_BTN_SET_DEFAULT_CH, IDC_BTN_SET_NETWORK, IDC_BTN_SET_VIDEO_STD, IDC_BTN_SET_UID,
    IDC_BTN_SEND_COMMAND, IDC_BTN_RESET, IDC_BTN_RESET_PWD, IDC_EDIT_ADD_ADDRESS, IDC_BTN_ADD_ADDRESS, IDC_CHECK_NTP,
    IDC_EDIT_NTP, IDC_BTN_SET_NTP,
};

constexpr int kEnabledWhenIdle[] = {
    IDC_EDIT_USER, IDC_EDIT_PASSWORD, IDC_EDIT_UID, IDC_BTN_REFRESH, IDC_BTN_LOAD_PLAN, IDC_BTN_UPGRADE, IDC_LIST_DEVICES,
    IDC_BTN_SELECT_ALL, IDC_BTN_SELECT_INVERT, IDC_BTN_BROWSE_FW, IDC_COMBO_DEVICE_TYPE, IDC_COMBO_NETWORK_CARD,
    IDC_CHECK_UPGRADE, IDC_CHECK_AUTO_IP, IDC_CHECK_VIDEO_STD, IDC_CHECK_TIME_ZONE, IDC_CHECK_TIME_FORMAT,
    IDC_CHECK_TIME_SYNC, IDC_CHECK_DHCP, IDC_CHECK_LOGO, IDC_BTN_BROWSE_LOGO, IDC_BTN_UPGRADE_LOGO,
    IDC_CHECK_LANGUAGE, IDC_CHECK_PASSWORD, IDC_CHECK_UID, IDC_CHECK_MAX_CH, IDC_CHECK_DEFAULT_CH,
    IDC_CHECK_SET_NETWORK, IDC_CHECK_COMMAND, IDC_IP_RANGE_START, IDC_IP_RANGE_END, IDC_COMBO_VIDEO_STD,
    IDC_COMBO_TIME_ZONE, IDC_COMBO_TIME_FORMAT, IDC_COMBO_LANGUAGE, IDC_EDIT_DEFAULT_PWD, IDC_COMBO_MAX_CH,
    IDC_COMBO_DEFAULT_CH, IDC_EDIT_COMMAND, IDC_LABEL_IP_ADDR, IDC_LABEL_SUBMASK, IDC_LABEL_GATEWAY, IDC_LABEL_DNS1,
    IDC_LABEL_DNS2, IDC_EDIT_ADD_ADDRESS, IDC_BTN_ADD_ADDRESS, IDC_CHECK_NTP, IDC_EDIT_NTP,
};

constexpr int kJobButtonsWhenIdle[] = {
    IDC_BTN_START, IDC_BTN_SET_RANGE, IDC_BTN_SET_TIME_ZONE, IDC_BTN_SET_TIME_FORMAT, IDC_BTN_SYNC_TIME,
    IDC_BTN_SET_LANGUAGE, IDC_BTN_SET_PASSWORD, IDC_BTN_SET_MAX_CH, IDC_BTN_SET_DEFAULT_CH, IDC_BTN_SET_VIDEO_STD,
    IDC_BTN_SET_UID, IDC_BTN_SEND_COMMAND, IDC_BTN_RESET, IDC_BTN_RESET_PWD, IDC_BTN_SET_NTP,
};

constexpr int kNetworkAddressFields[] = {IDC_IP_NEW_ADDRESS, IDC_IP_SUBMASK, IDC_IP_GATEWAY, IDC_IP_DNS1,
                                         IDC_IP_DNS2};

}  // namespace

const ui::DialogSpec& dialog_spec() { return kDialog; }

std::span<const ui::NameSpec> control_names() { return kNames; }
std::span<const ControlSpec> control_table() { return kControls; }
std::span<const int> hidden_at_start() { return kHiddenAtStart; }
std::span<const int> locked_while_running() { return kLockedWhileRunning; }
std::span<const int> enabled_when_idle() { return kEnabledWhenIdle; }
std::span<const int> job_buttons_when_idle() { return kJobButtonsWhenIdle; }
std::span<const int> network_address_fields() { return kNetworkAddressFields; }

}  // namespace batch_dlg
