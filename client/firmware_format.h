#pragma once

// The firmware file: a 512-byte header followed by the image. Layout in
// docs/firmware-format.md. The version sits at bytes 32, 36 and 40 as three
// signed 32-bit little-endian integers, where the batch job reads it.

#include <array>
#include <cstdint>
#include <string>

namespace kaltro {

constexpr std::size_t kFirmwareHeaderSize = 512;
constexpr std::uint32_t kFirmwareMagic = 0x3157464Bu;  // bytes "KFW1"
constexpr std::uint32_t kFirmwareFormat = 1;
// Images above this size are refused as corrupt (no camera flash is larger).
constexpr std::uint64_t kMaxImageSize = 1ull << 31;

struct FirmwareHeader {
    std::int32_t board_type = 0;
    std::uint64_t image_size = 0;
    std::int32_t version[3] = {0, 0, 0};
    std::array<std::uint8_t, 32> image_sha256{};
    std::string board_name;   // at most 31 bytes
    std::string description;  // at most 255 bytes
};

std::string version_text(const std::int32_t version[3]);
// Parses "a.b.c" (further parts ignored); false when it has fewer than three numbers.
bool parse_version(const std::string& text, std::int32_t version[3]);

// Serialises a header (computing its own check sum) into 512 bytes.
std::array<std::uint8_t, kFirmwareHeaderSize> encode_firmware_header(const FirmwareHeader& header);

enum class FirmwareCheck { ok, bad_magic, bad_format, bad_header_sum, too_large };
// Parses and checks 512 header bytes.
FirmwareCheck decode_firmware_header(const std::uint8_t* bytes, FirmwareHeader& header);
const char* firmware_check_text(FirmwareCheck check);

// Writes a firmware file of `image_size` deterministic pseudo-random image
// bytes (seeded by `seed`), filling in size and image hash. False on I/O error.
bool write_firmware_file(const std::string& path, FirmwareHeader header, std::uint32_t seed);

}  // namespace kaltro
