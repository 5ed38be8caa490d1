#include "client/firmware_format.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "client/protocol.h"

namespace kaltro {

namespace {

// Header field offsets.
constexpr std::size_t kOffMagic = 0, kOffHeaderSize = 4, kOffFormat = 8, kOffBoardType = 16,
                      kOffImageSize = 24, kOffVersion = 32, kOffImageSum = 48, kOffBoardName = 80,
                      kOffDescription = 112, kOffHeaderSum = 480;
constexpr std::size_t kBoardNameField = 32, kDescriptionField = 256;

void put_text(std::uint8_t* field, std::size_t field_size, const std::string& text) {
    std::size_t n = std::min(text.size(), field_size - 1);
    std::memcpy(field, text.data(), n);
}

std::string get_text(const std::uint8_t* field, std::size_t field_size) {
    const char* p = reinterpret_cast<const char*>(field);
    return std::string(p, strnlen(p, field_size - 1));
}

void header_sum(const std::uint8_t* bytes, std::uint8_t* out) { SHA256(bytes, kOffHeaderSum, out); }

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

std::string version_text(const std::int32_t version[3]) {
    char text[48];
    std::snprintf(text, sizeof(text), "%d.%d.%d", version[0], version[1], version[2]);
    return text;
}

bool parse_version(const std::string& text, std::int32_t version[3]) {
    int a = 0, b = 0, c = 0;
    if (std::sscanf(text.c_str(), "%d.%d.%d", &a, &b, &c) != 3) return false;
    version[0] = a;
    version[1] = b;
    version[2] = c;
    return true;
}

std::array<std::uint8_t, kFirmwareHeaderSize> encode_firmware_header(const FirmwareHeader& header) {
    std::array<std::uint8_t, kFirmwareHeaderSize> out{};
    std::uint8_t* p = out.data();
    store_u32(p + kOffMagic, kFirmwareMagic);
    store_u32(p + kOffHeaderSize, kFirmwareHeaderSize);
    store_u32(p + kOffFormat, kFirmwareFormat);
    store_i32(p + kOffBoardType, header.board_type);
    store_u32(p + kOffImageSize, static_cast<std::uint32_t>(header.image_size));
    store_u32(p + kOffImageSize + 4, static_cast<std::uint32_t>(header.image_size >> 32));
    for (int i = 0; i < 3; ++i) store_i32(p + kOffVersion + 4 * i, header.version[i]);
    std::memcpy(p + kOffImageSum, header.image_sha256.data(), 32);
    put_text(p + kOffBoardName, kBoardNameField, header.board_name);
    put_text(p + kOffDescription, kDescriptionField, header.description);
    header_sum(p, p + kOffHeaderSum);
    return out;
}

FirmwareCheck decode_firmware_header(const std::uint8_t* p, FirmwareHeader& header) {
    if (load_u32(p + kOffMagic) != kFirmwareMagic) return FirmwareCheck::bad_magic;
    if (load_u32(p + kOffHeaderSize) != kFirmwareHeaderSize || load_u32(p + kOffFormat) != kFirmwareFormat)
        return FirmwareCheck::bad_format;
    std::uint8_t sum[32];
    header_sum(p, sum);
    if (std::memcmp(sum, p + kOffHeaderSum, 32) != 0) return FirmwareCheck::bad_header_sum;
    header.board_type = load_i32(p + kOffBoardType);
    header.image_size = load_u32(p + kOffImageSize) | (static_cast<std::uint64_t>(load_u32(p + kOffImageSize + 4)) << 32);
    if (header.image_size > kMaxImageSize) return FirmwareCheck::too_large;
    for (int i = 0; i < 3; ++i) header.version[i] = load_i32(p + kOffVersion + 4 * i);
    std::memcpy(header.image_sha256.data(), p + kOffImageSum, 32);
    header.board_name = get_text(p + kOffBoardName, kBoardNameField);
    header.description = get_text(p + kOffDescription, kDescriptionField);
    return FirmwareCheck::ok;
}

const char* firmware_check_text(FirmwareCheck check) {
    switch (check) {
        case FirmwareCheck::ok: return "ok";
        case FirmwareCheck::bad_magic: return "not a firmware file";
        case FirmwareCheck::bad_format: return "unknown firmware format";
        case FirmwareCheck::bad_header_sum: return "header check sum mismatch";
        case FirmwareCheck::too_large: return "image too large";
    }
    return "?";
}

bool write_firmware_file(const std::string& path, FirmwareHeader header, std::uint32_t seed) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    // Room for the header first; it is rewritten once the image hash is known.
    std::array<std::uint8_t, kFirmwareHeaderSize> blank{};
    if (std::fwrite(blank.data(), 1, blank.size(), file.get()) != blank.size()) return false;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr);
    std::vector<std::uint8_t> chunk(kUpgradeChunk);
    std::uint32_t state = seed | 1u;
    for (std::uint64_t left = header.image_size; left > 0;) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        for (std::size_t i = 0; i < n; ++i) {
            state ^= state << 13;  // xorshift: cheap bytes that do not compress away
            state ^= state >> 17;
            state ^= state << 5;
            chunk[i] = static_cast<std::uint8_t>(state);
        }
        EVP_DigestUpdate(ctx.get(), chunk.data(), n);
        if (std::fwrite(chunk.data(), 1, n, file.get()) != n) return false;
        left -= n;
    }
    EVP_DigestFinal_ex(ctx.get(), header.image_sha256.data(), nullptr);
    auto bytes = encode_firmware_header(header);
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
    return std::fflush(file.get()) == 0;
}

}  // namespace kaltro
