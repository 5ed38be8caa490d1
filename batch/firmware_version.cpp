#include "batch/firmware_version.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "client/firmware_format.h"
#include "runtime/regular_file.h"

namespace {

constexpr std::size_t kHeaderBytes = 456;

std::int32_t le_int32(const unsigned char* p) {
    std::uint32_t v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                      static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    return static_cast<std::int32_t>(v);
}

}  // namespace

std::optional<std::string> firmware_file_version(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(open_regular_file(path), &std::fclose);
    if (!file) return std::nullopt;
    unsigned char header[kHeaderBytes];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) return std::nullopt;
    char text[48];
    std::snprintf(text, sizeof text, "%d.%d.%d", le_int32(header + 32), le_int32(header + 36),
                  le_int32(header + 40));
    return std::string(text);
}

std::optional<std::string> native_firmware_version(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(open_regular_file(path), &std::fclose);
    if (!file) return std::nullopt;
    std::uint8_t bytes[kaltro::kFirmwareHeaderSize];
    if (std::fread(bytes, 1, sizeof bytes, file.get()) != sizeof bytes) return std::nullopt;
    kaltro::FirmwareHeader header;
    if (kaltro::decode_firmware_header(bytes, header) != kaltro::FirmwareCheck::ok) return std::nullopt;
    return kaltro::version_text(header.version);
}

bool version_listed_matches(const std::string& firmware_version, const std::string& version_text) {
    return version_text.compare(0, firmware_version.size(), firmware_version) == 0;
}
