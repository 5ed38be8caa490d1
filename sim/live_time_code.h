#pragma once

// A machine-readable copy of the picture's clock: a row of 64 black and
// white cells along the bottom edge holding the milliseconds since the epoch
// (48 bits) and a 16-bit check. A receiver can tell how old a picture is when
// it arrives without reading the drawn digits. The cells are width / 64
// pixels square, large enough to come through H.264 at the rates the
// simulator streams; pictures narrower than 128 pixels carry no code.

#include <cstdint>

constexpr int kLiveTimeCodeCells = 64;

// Draws the code for `epoch_ms` into an RGB picture (3 bytes a pixel, rows
// of width * 3 bytes).
void draw_live_time_code(std::uint8_t* rgb, int width, int height, std::int64_t epoch_ms);

// Reads it from a picture of 32-bit pixels 0xffRRGGBB in native byte order,
// `stride` bytes a row. False when no valid code is there.
bool read_live_time_code(const std::uint8_t* pixels, int width, int height, int stride, std::int64_t* epoch_ms);
