#pragma once

#include <span>

#include "ui/control_spec.h"

// Control ids of the test dialog.
enum IpcTestControl : int {
    IDC_BTN_IRCUT_OPEN = 1009,
    IDC_BTN_SPEAKER = 1010,
    IDC_BTN_WHITE_LIGHT = 1011,
    IDC_BTN_IRCUT_CLOSE = 1012,
    IDC_BTN_MIC = 1013,
    IDC_BTN_INFRARED_LAMP = 1014,
    IDC_BTN_SEARCH = 1015,
    IDC_BTN_START = 1016,
    IDC_BTN_ZOOM_1X = 1017,
    IDC_BTN_ZOOM_5X = 1018,
    IDC_BTN_ZOOM_RESET = 1019,
    IDC_BTN_PTZ_UP = 1020,
    IDC_BTN_PTZ_LEFT = 1021,
    IDC_BTN_PTZ_DOWN = 1022,
    IDC_BTN_PTZ_RIGHT = 1023,
    IDC_BTN_PASS = 1024,
    IDC_BTN_NG = 1025,
    IDC_BTN_CONFIG = 1033,
    IDC_COMBO_NIC = 1035,
    IDC_LIST_DEVICE = 1094,
    IDC_VIDEO = 1096,
    IDC_GROUP_TEST_ITEM = 1103,
    IDC_GROUP_AUTO_TEST = 1104,
    IDC_GROUP_RESULTS = 1105,
    IDC_GROUP_CONFIG = 1106,
    IDC_CHECK_AUTO_SHOW = 1107,
    IDC_CHECK_VERSION = 1108,
    IDC_LIST_RESULT = 1109,
    IDC_EDIT_VERSION = 1115,
    IDC_STATIC_FORMAT_HINT = 1117,
    IDC_STATIC_NIC = 1118,
    IDC_COMBO_LIGHT_MODE = 1119,
    IDC_COMBO_LIGHT_TYPE = 1120,
    IDC_COMBO_DIRECTION = 1121,
    IDC_STATIC_TF_LABEL = 1122,
    IDC_STATIC_TF = 1123,
    IDC_CHECK_MIC_CFG = 1124,
    IDC_CHECK_SPEAKER_CFG = 1125,
    IDC_CHECK_AUTO_CONFIG = 1126,
    IDC_STATIC_UID_LABEL = 1127,
    IDC_STATIC_UID = 1128,
    IDC_STATIC_PID_LABEL = 1129,
    IDC_STATIC_PID = 1130,
    IDC_STATIC_QR_LABEL = 1131,
    IDC_QR_AREA = 1132,
};

// The dialog: its title key, size in dialog units and font.
const ui::DialogSpec& ipc_test_dialog_spec();
// Its control table, in the order of the dialog's children.
std::span<const ui::ControlSpec> ipc_test_controls();
// Where the controls without a caption take their accessible names from.
std::span<const ui::NameSpec> ipc_test_control_names();

// The buttons a connection enables, in the order the dialog disables them.
constexpr int kTestButtons[] = {IDC_BTN_IRCUT_OPEN, IDC_BTN_IRCUT_CLOSE, IDC_BTN_SPEAKER, IDC_BTN_MIC,
                                IDC_BTN_WHITE_LIGHT, IDC_BTN_INFRARED_LAMP, IDC_BTN_ZOOM_1X, IDC_BTN_ZOOM_5X,
                                IDC_BTN_ZOOM_RESET, IDC_BTN_PTZ_UP, IDC_BTN_PTZ_LEFT, IDC_BTN_PTZ_RIGHT,
                                IDC_BTN_PTZ_DOWN};
constexpr int kPtzButtons[] = {IDC_BTN_PTZ_UP, IDC_BTN_PTZ_LEFT, IDC_BTN_PTZ_RIGHT, IDC_BTN_PTZ_DOWN};
