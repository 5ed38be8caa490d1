#include "sim/onvif/firmware_upload.h"

#include <cstdio>
#include <cstring>

namespace {

std::string hex(const unsigned char* bytes, std::size_t size) {
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        out += two;
    }
    return out;
}

FirmwareUpload::Outcome refused(FirmwareUpload::Outcome outcome, const std::string& why) {
    outcome.http_status = 415;
    outcome.reason = why;
    return outcome;
}

}  // namespace

FirmwareUpload::FirmwareUpload() : m_file(EVP_MD_CTX_new(), EVP_MD_CTX_free), m_image(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
    EVP_DigestInit_ex(m_file.get(), EVP_sha256(), nullptr);
    EVP_DigestInit_ex(m_image.get(), EVP_sha256(), nullptr);
}

bool FirmwareUpload::add(const char* data, std::size_t size) {
    if (size > kMaxBytes - m_bytes) return false;
    EVP_DigestUpdate(m_file.get(), data, size);
    std::size_t into_head = 0;
    if (m_bytes < m_head.size()) {
        into_head = std::min<std::size_t>(size, m_head.size() - m_bytes);
        std::memcpy(m_head.data() + m_bytes, data, into_head);
    }
    EVP_DigestUpdate(m_image.get(), data + into_head, size - into_head);
    m_bytes += size;
    return true;
}

std::string FirmwareUpload::native_refusal() const {
    if (m_check != kaltro::FirmwareCheck::ok) return kaltro::firmware_check_text(m_check);
    if (m_bytes != kaltro::kFirmwareHeaderSize + m_header.image_size) return "file size does not match the header";
    if (m_image_sum != m_header.image_sha256) return "image check sum mismatch";
    return "";
}

FirmwareUpload::Outcome FirmwareUpload::finish() {
    Outcome outcome;
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_file.get(), sum, &length);
    outcome.sha256_hex = hex(sum, length);
    outcome.bytes = m_bytes;
    EVP_DigestFinal_ex(m_image.get(), m_image_sum.data(), nullptr);
    if (m_bytes == 0) return refused(outcome, "empty file");

    // A file that starts like the native format is held to it; a short one
    // is read as far as it goes (zeros after), which the header check refuses.
    m_check = kaltro::decode_firmware_header(m_head.data(), m_header);
    outcome.native_format = m_check != kaltro::FirmwareCheck::bad_magic;
    if (!outcome.native_format) {
        outcome.version = "fw-" + outcome.sha256_hex.substr(0, 8);
        return outcome;
    }
    if (std::string why = native_refusal(); !why.empty()) return refused(outcome, why);
    outcome.version = kaltro::version_text(m_header.version);
    return outcome;
}
