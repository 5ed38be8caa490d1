#include "factory_test/qr_symbol.h"

#include <qrencode.h>

#include <algorithm>
#include <memory>

bool encode_qr(const std::string& text, QrSymbol& symbol) {
    if (text.empty()) return false;
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(QRcode_encodeString(text.c_str(), 1, QR_ECLEVEL_H, QR_MODE_8, 1),
                                                     QRcode_free);
    if (!code || code->width <= 0) return false;
    symbol.width = code->width;
    const std::size_t modules = static_cast<std::size_t>(code->width) * code->width;
    symbol.dark.resize(modules);
    for (std::size_t i = 0; i < modules; ++i) symbol.dark[i] = code->data[i] & 1;
    return true;
}

int qr_module_px(int width, int side) {
    const int modules = width + 2 * kQrQuietModules;
    return modules <= 0 ? kQrModulePx : std::clamp(side / modules, 1, kQrModulePx);
}
