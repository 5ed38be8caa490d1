#pragma once

// The QR symbol of a camera's app UID.

#include <cstdint>
#include <string>
#include <vector>

struct QrSymbol {
    int width = 0;                    // modules per side
    std::vector<std::uint8_t> dark;   // width * width, rows from the top; 1 = dark module
    bool is_dark(int x, int y) const { return dark[static_cast<std::size_t>(y) * width + x] != 0; }
};

// Smallest version from 1 that holds `text`, level H, 8-bit mode hint,
// case-sensitive. False for an empty text or when the encoder fails.
bool encode_qr(const std::string& text, QrSymbol& symbol);

// The largest module drawn, in pixels, and the quiet zone a scanner needs
// around the symbol, in modules.
constexpr int kQrModulePx = 8;
constexpr int kQrQuietModules = 4;

// The module size that fits a symbol of `width` modules and its quiet zone
// into a square of `side` pixels: kQrModulePx at most, 1 at least.
int qr_module_px(int width, int side);
