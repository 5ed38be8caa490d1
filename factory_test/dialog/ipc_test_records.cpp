// PASS / NG records and the UID's QR symbol.

#include "factory_test/dialog/ipc_test.h"
#include "factory_test/dialog/ipc_test_controls.h"
#include "factory_test/dialog/ipc_test_trace.h"
#include "factory_test/qr_symbol.h"
#include "factory_test/dialog/qr_view.h"
#include "factory_test/onvif_bench.h"
#include "factory_test/test_record.h"

void CIpcTest::OnBnClickedButtonWriteTestRecord() { write_record("PASS", "CIpcTest::OnBnClickedButtonWriteTestRecord"); }

void CIpcTest::OnBnClickedButtonWriteTestNg() { write_record("NG", "CIpcTest::OnBnClickedButtonWriteTestNg"); }

void CIpcTest::write_record(const char* result, const char* function) {
    if (std::shared_ptr<OnvifBenchCamera> onvif = onvif_camera()) {
        if (!write_onvif_record(*onvif, result)) TRACE_POS(function);
        return;
    }
    IPC_DEVICE_INFO info{};
    if (Network_ClientGetDeviceConfig(m_login_handle.load(), NETWORK_CMD_GET_DEVICE_INFO, 0, &info, sizeof(info)) !=
        NETWORK_OK) {
        message_box("IDS_MODULE_GET_PARAM_FAILED", "IDS_WARNING");
        TRACE_POS(function);
        return;
    }
    if (write_test_record(info, result) != RecordWrite::Ok) {
        message_box("IDS_MODULE_CREATE_FILE_FAILED", "IDS_WARNING");
        TRACE_POS(function);
    }
}

void CIpcTest::draw_qrcode(const std::string& text) {
    QrSymbol symbol;
    // An empty text, or an encoder out of memory: the area keeps what it showed.
    if (!encode_qr(text, symbol)) return;
    m_qr->show_symbol(symbol, control_rect(IDC_QR_AREA));
}
