#include "batch/firmware_version.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

constexpr std::size_t kHeaderBytes = 456;

std::int32_t le_int32(const unsigned char* p) {
    std::uint32_t v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                      static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    return static_cast<std::int32_t>(v);
}

}  // namespace

std::optional<std::string> firmware_file_version(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return std::nullopt;
    unsigned char header[kHeaderBytes];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) return std::nullopt;
    char text[48];
    std::snprintf(text, sizeof text, "%d.%d.%d", le_int32(header + 32), le_int32(header + 36),
                  le_int32(header + 40));
    return std::string(text);
}

int firmware_version_matches(const std::string& path, const std::string& version_text) {
    std::optional<std::string> version = firmware_file_version(path);
    if (!version) return 0;
    return version_text.compare(0, version->size(), *version) == 0 ? 1 : 0;
}
