#include "sim/live_picture.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

// 5x7 glyphs, one byte per row, bit 4 the leftmost pixel. Only what a MAC
// text and a clock need; anything else is drawn as a blank.
struct Glyph {
    char c;
    std::array<std::uint8_t, 7> rows;
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}}, {'b', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E}},
    {'c', {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E}}, {'d', {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F}},
    {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}}, {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
};

const Glyph* glyph(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return &g;
    return nullptr;
}

constexpr std::uint32_t kBars[] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000, 0xC000C0, 0xC00000, 0x0000C0, 0x101010};

}  // namespace

LivePicture::LivePicture(LivePictureSize size)
    : m_size(size), m_rgb(static_cast<std::size_t>(size.width) * size.height * 3), m_encoder(tjInitCompress()) {}

LivePicture::~LivePicture() {
    if (m_encoder) tjDestroy(m_encoder);
}

void LivePicture::fill(int x, int y, int w, int h, std::uint32_t rgb) {
    const int x0 = std::clamp(x, 0, m_size.width), x1 = std::clamp(x + w, 0, m_size.width);
    const int y0 = std::clamp(y, 0, m_size.height), y1 = std::clamp(y + h, 0, m_size.height);
    for (int row = y0; row < y1; ++row) {
        std::uint8_t* p = &m_rgb[(static_cast<std::size_t>(row) * m_size.width + x0) * 3];
        for (int col = x0; col < x1; ++col) {
            *p++ = static_cast<std::uint8_t>(rgb >> 16);
            *p++ = static_cast<std::uint8_t>(rgb >> 8);
            *p++ = static_cast<std::uint8_t>(rgb);
        }
    }
}

void LivePicture::text(int x, int y, int scale, const std::string& line, std::uint32_t rgb) {
    for (char c : line) {
        if (const Glyph* g = glyph(c))
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col)
                    if (g->rows[row] & (0x10 >> col)) fill(x + col * scale, y + row * scale, scale, scale, rgb);
        x += 6 * scale;
    }
}

void LivePicture::draw(std::uint32_t sequence, const std::string& mac, const std::string& clock) {
    const int bar_width = std::max(1, m_size.width / 8);
    const int shift = static_cast<int>(sequence * 4 % static_cast<std::uint32_t>(m_size.width));
    for (int i = -1; i < 9; ++i)
        fill(i * bar_width + shift % bar_width, 0, bar_width, m_size.height,
             kBars[(i + 8 + shift / bar_width * 7) % 8]);
    // A block bouncing across the lower third shows motion even in a still.
    const int span = std::max(1, m_size.width - 60);
    const int pos = static_cast<int>(sequence * 8 % static_cast<std::uint32_t>(2 * span));
    fill(pos < span ? pos : 2 * span - pos, m_size.height * 2 / 3, 60, 60, 0xFFFFFF);
    const int scale = std::max(1, m_size.width / 160);
    fill(0, 10, m_size.width, 22 * scale, 0x000000);
    text(10, 14, scale, mac, 0xFFFFFF);
    text(10, 14 + 10 * scale, scale, clock, 0xFFFF00);
}

std::vector<std::uint8_t>& LivePicture::render_rgb(std::uint32_t sequence, const std::string& mac,
                                                   const std::string& clock) {
    draw(sequence, mac, clock);
    return m_rgb;
}

std::vector<std::uint8_t> LivePicture::render_jpeg(std::uint32_t sequence, const std::string& mac,
                                                   const std::string& clock) {
    if (!m_encoder || m_size.width <= 0 || m_size.height <= 0) return {};
    draw(sequence, mac, clock);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(m_encoder, m_rgb.data(), m_size.width, 0, m_size.height, TJPF_RGB, &jpeg, &size, TJSAMP_420, 75,
                    TJFLAG_FASTDCT) != 0) {
        tjFree(jpeg);
        return {};
    }
    std::vector<std::uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    return out;
}

std::string live_clock_text() {
    using namespace std::chrono;
    return live_clock_text(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

std::string live_clock_text(std::int64_t epoch_ms) {
    const std::time_t seconds = static_cast<std::time_t>(epoch_ms / 1000);
    const int ms = static_cast<int>(epoch_ms % 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::snprintf(text, sizeof(text), "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec, ms);
    return text;
}
