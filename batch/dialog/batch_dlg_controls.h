#pragma once

#include <span>

#include "ui/control_spec.h"

// The batch dialog's controls by id, and its control table.
namespace batch_dlg {

enum ControlId : int {
    IDC_LIST_DEVICES = 1000,
    IDC_BTN_REFRESH = 1001,
    IDC_IP_RANGE_START = 1003,
    IDC_EDIT_PASSWORD = 1004,
    IDC_LABEL_USER = 1005,
    IDC_LABEL_NETWORK_CARD = 1006,
    IDC_LABEL_PASSWORD = 1007,
    IDC_BTN_UPGRADE = 1009,
    IDC_EDIT_FW_PATH = 1011,
    IDC_EDIT_LOGO_PATH = 1013,
    IDC_LABEL_PROGRESS = 1016,
    IDC_GROUP_UPGRADE = 1020,
    IDC_EDIT_DEFAULT_PWD = 1021,
    IDC_COMBO_DEVICE_TYPE = 1022,
    IDC_EDIT_UID = 1023,
    IDC_EDIT_USER = 1024,
    IDC_PROGRESS = 1025,
    IDC_BTN_BROWSE_FW = 1026,
    IDC_BTN_STOP = 1027,
    IDC_LABEL_DEVICE_TYPE = 1028,
    IDC_LABEL_COUNT = 1029,
    IDC_IP_RANGE_END = 1030,
    IDC_BTN_SELECT_ALL = 1031,
    IDC_BTN_SELECT_INVERT = 1032,
    IDC_BTN_BROWSE_LOGO = 1034,
    IDC_COMBO_TIME_ZONE = 1035,
    IDC_COMBO_TIME_FORMAT = 1036,
    IDC_COMBO_LANGUAGE = 1037,
    IDC_BTN_SET_RANGE = 1039,
    IDC_COMBO_VIDEO_STD = 1040,
    IDC_BTN_SET_TIME_ZONE = 1041,
    IDC_BTN_SET_TIME_FORMAT = 1042,
    IDC_BTN_SYNC_TIME = 1043,
    IDC_BTN_UPGRADE_LOGO = 1045,
    IDC_BTN_SET_LANGUAGE = 1046,
    IDC_BTN_SET_PASSWORD = 1047,
    IDC_BTN_SET_VIDEO_STD = 1048,
    IDC_BTN_SET_UID = 1049,
    IDC_CHECK_TIME_ZONE = 1050,
    IDC_CHECK_VIDEO_STD = 1051,
    IDC_BTN_SET_MAX_CH = 1052,
    IDC_IP_NEW_ADDRESS = 1053,
    IDC_BTN_START = 1054,
    IDC_BTN_SET_DEFAULT_CH = 1055,
    IDC_COMBO_MAX_CH = 1056,
    IDC_COMBO_DEFAULT_CH = 1060,
    IDC_BTN_SET_NETWORK = 1061,
    IDC_CHECK_AUTO_IP = 1062,
    IDC_CHECK_TIME_FORMAT = 1063,
    IDC_CHECK_TIME_SYNC = 1064,
    IDC_CHECK_LOGO = 1065,
    IDC_CHECK_LANGUAGE = 1066,
    IDC_CHECK_PASSWORD = 1067,
    IDC_CHECK_DHCP = 1068,
    IDC_COMBO_NETWORK_CARD = 1069,
    IDC_CHECK_MAX_CH = 1070,
    IDC_CHECK_DEFAULT_CH = 1071,
    IDC_CHECK_SET_NETWORK = 1072,
    IDC_CHECK_COMMAND = 1073,
    IDC_EDIT_COMMAND = 1074,
    IDC_BTN_SEND_COMMAND = 1075,
    IDC_CHECK_UID = 1076,
    IDC_LABEL_IP_ADDR = 1082,
    IDC_CHECK_UPGRADE = 1083,
    IDC_LABEL_SUBMASK = 1084,
    IDC_LABEL_GATEWAY = 1085,
    IDC_LABEL_DNS1 = 1086,
    IDC_LABEL_DNS2 = 1087,
    IDC_IP_SUBMASK = 1088,
    IDC_IP_GATEWAY = 1089,
    IDC_IP_DNS1 = 1090,
    IDC_IP_DNS2 = 1091,
    IDC_GROUP_SETTINGS = 1092,
    IDC_BTN_RESET = 1134,
    IDC_BTN_HIDDEN_REFRESH = 1135,
    IDC_LABEL_FRAME = 1136,
    IDC_BTN_RESET_PWD = 1137,
    IDC_BTN_LOAD_PLAN = 1140,
    IDC_BTN_EXPORT_LIST = 1141,
    // Cameras the broadcast does not reach, asked at their addresses.
    IDC_EDIT_ADD_ADDRESS = 1142,
    IDC_BTN_ADD_ADDRESS = 1143,
    // The ONVIF cameras' time server.
    IDC_CHECK_NTP = 1144,
    IDC_EDIT_NTP = 1145,
    IDC_BTN_SET_NTP = 1146,
    // Static texts without a role of their own.
    IDC_STATIC_STEP1 = 1900,  // "1" beside the upgrade box, echoing list column "2"'s step
    IDC_STATIC_TILDE = 1901,  // "~" between the range fields
};

// The dialog: 825 x 452 dialog units, 9 pt.
const ui::DialogSpec& dialog_spec();

// Every control with its id, kind, caption key, rectangle and resource state.
std::span<const ui::ControlSpec> control_table();

// Where the controls without a caption take their accessible names from.
std::span<const ui::NameSpec> control_names();

// Controls that the dialog's start hides (on top of those the table hides).
std::span<const int> hidden_at_start();

// Controls that a running job disables; the stop button is enabled instead.
std::span<const int> locked_while_running();
// Controls enabled when no job runs, before the network boxes are looked at.
std::span<const int> enabled_when_idle();
// Job buttons enabled last when no job runs.
std::span<const int> job_buttons_when_idle();
// The address fields that the set-network box unlocks.
std::span<const int> network_address_fields();

}  // namespace batch_dlg
