#include "factory_test/dialog/ipc_test_controls.h"

using ui::ControlKind;
using ui::ControlSpec;

namespace {

constexpr ui::DialogSpec kDialog{"IDS_IPC_TEST", 765, 411, 8};

constexpr ControlSpec kControls[] = {
    {IDC_STATIC_NIC, ControlKind::Label, "Network Card", "IDS_NETWORK_CARD", {7, 9, 46, 8}},
    {IDC_COMBO_NIC, ControlKind::Combo, "", nullptr, {75, 7, 146, 30}},
    {IDC_GROUP_AUTO_TEST, ControlKind::GroupBox, "Auto Test", "IDS_CONFIGURATION_ITEM", {7, 41, 244, 57}},
    {IDC_CHECK_AUTO_SHOW, ControlKind::CheckBox, "auto show", "IDS_AUTO_SHOW", {15, 57, 49, 10}},
    {IDC_CHECK_VERSION, ControlKind::CheckBox, "version check", "IDS_VERSION_CHECK", {15, 70, 55, 10}},
    {IDC_EDIT_VERSION, ControlKind::Edit, "", nullptr, {75, 68, 96, 12}},
    {IDC_STATIC_FORMAT_HINT, ControlKind::Label, "format hint", "IDS_FORMAT_HINT", {75, 84, 147, 8}},
    {IDC_BTN_START, ControlKind::Button, "start", "IDS_START_EXECUTION", {181, 59, 66, 24}},
    {IDC_BTN_SEARCH, ControlKind::Button, "search_device", "IDS_REFRESH", {7, 102, 86, 24}},
    {IDC_LIST_DEVICE, ControlKind::ReportList, "", nullptr, {7, 127, 245, 119}},
    {IDC_STATIC_TF_LABEL, ControlKind::Label, "TF card:", nullptr, {7, 257, 46, 8}},
    {IDC_STATIC_TF, ControlKind::Label, "NONE", nullptr, {48, 257, 120, 8}},
    {IDC_STATIC_PID_LABEL, ControlKind::Label, "APP PID:", nullptr, {7, 273, 46, 8}},
    {IDC_STATIC_PID, ControlKind::Label, "NONE", nullptr, {48, 273, 120, 8}},
    {IDC_STATIC_UID_LABEL, ControlKind::Label, "APP UID:", nullptr, {7, 280, 46, 8}},
    {IDC_STATIC_UID, ControlKind::Label, "NONE", nullptr, {48, 280, 120, 8}},
    {IDC_STATIC_QR_LABEL, ControlKind::Label, "APP QRCode:", nullptr, {7, 288, 46, 8}},
    {IDC_QR_AREA, ControlKind::Frame, "", nullptr, {7, 299, 88, 79}},
    {IDC_VIDEO, ControlKind::Frame, "", nullptr, {264, 7, 494, 240}},
    {IDC_BTN_ZOOM_1X, ControlKind::Button, "1X_magnify", "IDS_1X_MAGNIFY", {389, 249, 70, 17}},
    {IDC_BTN_ZOOM_5X, ControlKind::Button, "5X_magnify", "IDS_5X_MAGNIFY", {462, 249, 70, 17}},
    {IDC_BTN_ZOOM_RESET, ControlKind::Button, "reset", "IDS_RESET", {535, 249, 70, 17}},
    {IDC_GROUP_RESULTS, ControlKind::GroupBox, "auto_test_item", "IDS_AUTO_TEST_ITEM", {263, 262, 120, 142}},
    {IDC_LIST_RESULT, ControlKind::ListBox, "", nullptr, {267, 272, 113, 132}, ui::kSorted},
    {IDC_GROUP_TEST_ITEM, ControlKind::GroupBox, "test_item", "IDS_TEST_ITEM", {388, 268, 157, 136}},
    {IDC_BTN_IRCUT_OPEN, ControlKind::Button, "open ircut", "IDS_IRCUT_OPEN", {393, 281, 47, 23}},
    {IDC_BTN_SPEAKER, ControlKind::Button, "speaker", "IDS_SPEAKER", {443, 281, 47, 23}},
    {IDC_BTN_WHITE_LIGHT, ControlKind::Button, "white_light", "IDS_WHITE_LIGHT", {493, 281, 47, 23}},
    {IDC_BTN_IRCUT_CLOSE, ControlKind::Button, "close ircut", "IDS_IRCUT_CLOSE", {393, 306, 47, 23}},
    {IDC_BTN_MIC, ControlKind::Button, "mic", "IDS_MIC", {443, 306, 47, 23}},
    {IDC_BTN_INFRARED_LAMP, ControlKind::Button, "infrared_lamp", "IDS_INFRARED_LAMP", {493, 306, 47, 23}},
    {IDC_BTN_PTZ_UP, ControlKind::Button, "UP", nullptr, {444, 342, 47, 23}},
    {IDC_BTN_PTZ_LEFT, ControlKind::Button, "LEFT", nullptr, {394, 367, 47, 23}},
    {IDC_BTN_PTZ_DOWN, ControlKind::Button, "DOWN", nullptr, {444, 367, 47, 23}},
    {IDC_BTN_PTZ_RIGHT, ControlKind::Button, "RIGHT", nullptr, {494, 367, 47, 23}},
    {IDC_GROUP_CONFIG, ControlKind::GroupBox, "configurate_item", "IDS_CONFIGURATION_ITEM", {547, 268, 204, 96}},
    {IDC_COMBO_LIGHT_MODE, ControlKind::Combo, "", nullptr, {554, 282, 77, 30}},
    {IDC_COMBO_LIGHT_TYPE, ControlKind::Combo, "", nullptr, {554, 297, 77, 30}},
    {IDC_COMBO_DIRECTION, ControlKind::Combo, "", nullptr, {554, 312, 77, 30}},
    {IDC_CHECK_MIC_CFG, ControlKind::CheckBox, "mic_config", "IDS_MIC", {639, 284, 55, 10}},
    {IDC_CHECK_SPEAKER_CFG, ControlKind::CheckBox, "speaker_config", "IDS_SPEAKER", {639, 296, 67, 10}},
    {IDC_CHECK_AUTO_CONFIG, ControlKind::CheckBox, "auto_config", "IDS_AUTO_CONFIG", {699, 314, 48, 10}},
    {IDC_BTN_CONFIG, ControlKind::Button, "config", "IDS_SET", {699, 329, 50, 30}},
    {IDC_BTN_PASS, ControlKind::Button, "PASS", nullptr, {554, 368, 96, 23}},
    {IDC_BTN_NG, ControlKind::Button, "NG", nullptr, {654, 368, 96, 23}},
};

// Fields, combos, lists and pictures are named after the caption beside or
// around them; those with none by a text of their own.
constexpr ui::NameSpec kNames[] = {
    {IDC_COMBO_NIC, IDC_STATIC_NIC, nullptr},
    {IDC_EDIT_VERSION, IDC_CHECK_VERSION, nullptr},
    {IDC_LIST_DEVICE, 0, "IDS_DEVICE_LIST"},
    {IDC_QR_AREA, IDC_STATIC_QR_LABEL, nullptr},
    {IDC_VIDEO, 0, "IDS_LIVE_VIDEO"},
    {IDC_LIST_RESULT, IDC_GROUP_RESULTS, nullptr},
    {IDC_COMBO_LIGHT_MODE, 0, "IDS_LIGHT_MODE"},
    {IDC_COMBO_LIGHT_TYPE, 0, "IDS_LIGHT_TYPE"},
    {IDC_COMBO_DIRECTION, 0, "IDS_MODULE_DIRECTION"},
};

}  // namespace

const ui::DialogSpec& ipc_test_dialog_spec() { return kDialog; }

std::span<const ControlSpec> ipc_test_controls() { return kControls; }

std::span<const ui::NameSpec> ipc_test_control_names() { return kNames; }
