#include "sim/live_time_code.h"

#include <cstring>

namespace {

constexpr int kValueBits = 48;

int cell_size(int width, int height) {
    const int cell = width / kLiveTimeCodeCells;
    return cell >= 2 && cell <= height ? cell : 0;
}

// Changes with every bit of the value, so a cell read wrong fails the check.
std::uint64_t check_word(std::uint64_t value) {
    return ((value ^ (value >> 16) ^ (value >> 32)) & 0xFFFF) ^ 0x5A5A;
}

std::uint64_t code_word(std::int64_t epoch_ms) {
    const std::uint64_t value = static_cast<std::uint64_t>(epoch_ms) & ((std::uint64_t{1} << kValueBits) - 1);
    return value | check_word(value) << kValueBits;
}

// Mean of the cell's inner half, so the edges the encoder blurs do not count.
int cell_brightness(const std::uint8_t* pixels, int stride, int x0, int y0, int cell) {
    int sum = 0, count = 0;
    for (int y = y0 + cell / 4; y < y0 + cell - cell / 4; ++y)
        for (int x = x0 + cell / 4; x < x0 + cell - cell / 4; ++x) {
            std::uint32_t word;
            std::memcpy(&word, pixels + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4, 4);
            sum += static_cast<int>(((word >> 16) & 0xFF) + ((word >> 8) & 0xFF) * 2 + (word & 0xFF));
            count += 4;
        }
    return count ? sum / count : 0;
}

}  // namespace

void draw_live_time_code(std::uint8_t* rgb, int width, int height, std::int64_t epoch_ms) {
    const int cell = cell_size(width, height);
    if (cell == 0) return;
    const std::uint64_t word = code_word(epoch_ms);
    for (int bit = 0; bit < kLiveTimeCodeCells; ++bit) {
        const std::uint8_t shade = (word >> bit) & 1 ? 0xFF : 0x00;
        for (int y = height - cell; y < height; ++y)
            std::memset(rgb + (static_cast<std::size_t>(y) * width + static_cast<std::size_t>(bit) * cell) * 3, shade,
                        static_cast<std::size_t>(cell) * 3);
    }
}

bool read_live_time_code(const std::uint8_t* pixels, int width, int height, int stride, std::int64_t* epoch_ms) {
    const int cell = cell_size(width, height);
    if (cell == 0 || pixels == nullptr || stride < width * 4) return false;
    std::uint64_t word = 0;
    for (int bit = 0; bit < kLiveTimeCodeCells; ++bit)
        if (cell_brightness(pixels, stride, bit * cell, height - cell, cell) >= 128) word |= std::uint64_t{1} << bit;
    const std::uint64_t value = word & ((std::uint64_t{1} << kValueBits) - 1);
    if (word >> kValueBits != check_word(value)) return false;
    *epoch_ms = static_cast<std::int64_t>(value);
    return true;
}
