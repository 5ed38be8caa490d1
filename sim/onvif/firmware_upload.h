#pragma once

// A firmware file as an ONVIF camera receives it by HTTP POST, taken in piece
// by piece as it streams (files of any size, constant memory): the whole
// file's SHA-256, which the state dump shows so a test can check the camera
// got the exact bytes, and the version the camera runs after the flash.
//
// The version: a file in the native firmware format (docs/firmware-format.md)
// must pass that format's checks (header, size, image hash) and installs the
// version in its header; any other file installs "fw-" and the first eight
// hex digits of its SHA-256, so every distinct file gives a distinct version
// and the same file the same one.

#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "client/firmware_format.h"

class FirmwareUpload {
public:
    // Larger files are refused (no camera flash is larger than the native format allows).
    static constexpr std::uint64_t kMaxBytes = kaltro::kFirmwareHeaderSize + kaltro::kMaxImageSize;

    FirmwareUpload();

    // False once the file has grown past kMaxBytes (the rest is not taken).
    bool add(const char* data, std::size_t size);

    struct Outcome {
        unsigned http_status = 200;  // 200, or 415 for a file the camera cannot take
        std::string reason;          // why not, for the dump and the answer
        std::string version;         // installed at the reboot
        std::string sha256_hex;
        std::uint64_t bytes = 0;
        bool native_format = false;
    };
    Outcome finish();

private:
    using Digest = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

    std::string native_refusal() const;

    Digest m_file{nullptr, EVP_MD_CTX_free};
    Digest m_image{nullptr, EVP_MD_CTX_free};  // the bytes after a native header
    std::array<std::uint8_t, kaltro::kFirmwareHeaderSize> m_head{};
    std::uint64_t m_bytes = 0;
    std::array<std::uint8_t, 32> m_image_sum{};
    kaltro::FirmwareHeader m_header;
    kaltro::FirmwareCheck m_check = kaltro::FirmwareCheck::bad_magic;
};
