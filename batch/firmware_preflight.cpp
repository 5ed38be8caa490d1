#include "batch/firmware_preflight.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "client/firmware_format.h"

namespace {

// Large enough that the hashing, not the system calls, sets the pace.
constexpr std::size_t kBlock = 1 << 20;

class FileHandle {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

class Sha256 {
public:
    Sha256() : m_ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free) { EVP_DigestInit_ex(m_ctx.get(), EVP_sha256(), nullptr); }
    void update(const std::uint8_t* data, std::size_t size) { EVP_DigestUpdate(m_ctx.get(), data, size); }
    std::array<std::uint8_t, 32> finish() {
        std::array<std::uint8_t, 32> sum{};
        EVP_DigestFinal_ex(m_ctx.get(), sum.data(), nullptr);
        return sum;
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> m_ctx;
};

// Reads until `size` bytes are in or the file ends; -1 on a read error.
long long read_fully(int fd, std::uint8_t* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

std::string hex_text(const std::array<std::uint8_t, 32>& sum) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : sum) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

FirmwareFault header_fault(kaltro::FirmwareCheck check) {
    switch (check) {
        case kaltro::FirmwareCheck::ok: return FirmwareFault::None;
        case kaltro::FirmwareCheck::bad_magic: return FirmwareFault::BadMagic;
        case kaltro::FirmwareCheck::bad_format: return FirmwareFault::BadFormat;
        case kaltro::FirmwareCheck::bad_header_sum: return FirmwareFault::BadHeaderSum;
        case kaltro::FirmwareCheck::too_large: return FirmwareFault::TooLarge;
    }
    return FirmwareFault::BadFormat;
}

// Hashes the image that follows the header (already in `file_sum`) and the
// file as a whole; checks that the image has exactly its announced size.
FirmwareFault hash_image(int fd, std::uint64_t image_size, Sha256& file_sum, Sha256& image_sum,
                         const std::atomic<bool>* cancel) {
    std::vector<std::uint8_t> block(kBlock);
    for (std::uint64_t left = image_size; left > 0;) {
        if (cancel != nullptr && cancel->load()) return FirmwareFault::Cancelled;
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        long long got = read_fully(fd, block.data(), want);
        if (got < 0) return FirmwareFault::Unreadable;
        if (static_cast<std::size_t>(got) < want) return FirmwareFault::Truncated;  // shrank while read
        file_sum.update(block.data(), want);
        image_sum.update(block.data(), want);
        left -= want;
    }
    std::uint8_t extra = 0;
    long long more = read_fully(fd, &extra, 1);
    if (more < 0) return FirmwareFault::Unreadable;
    return more > 0 ? FirmwareFault::TooLong : FirmwareFault::None;
}

bool has_native_magic(const std::uint8_t* bytes, std::size_t size) {
    static_assert(kaltro::kFirmwareMagic == 0x3157464Bu, "the magic's bytes below");
    return size >= 4 && bytes[0] == 'K' && bytes[1] == 'F' && bytes[2] == 'W' && bytes[3] == '1';
}

// A file in another format (an ONVIF camera's own firmware): nothing of it
// can be checked here, but the report still names the bytes sent.
FirmwarePreflight foreign_file(int fd, const std::uint8_t* head, long long head_size, const std::atomic<bool>* cancel) {
    FirmwarePreflight result;
    Sha256 file_sum;
    file_sum.update(head, static_cast<std::size_t>(head_size));
    std::vector<std::uint8_t> block(kBlock);
    std::uint64_t size = static_cast<std::uint64_t>(head_size);
    for (;;) {
        if (cancel != nullptr && cancel->load()) {
            result.fault = FirmwareFault::Cancelled;
            return result;
        }
        long long got = read_fully(fd, block.data(), block.size());
        if (got < 0) return result;
        if (got == 0) break;
        file_sum.update(block.data(), static_cast<std::size_t>(got));
        size += static_cast<std::uint64_t>(got);
    }
    result.fault = FirmwareFault::BadMagic;
    result.size = size;
    result.sha256 = hex_text(file_sum.finish());
    return result;
}

}  // namespace

FirmwarePreflight preflight_firmware_file(const std::string& path, const std::atomic<bool>* cancel) {
    FirmwarePreflight result;
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
    FileHandle file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0) return result;
    if (!S_ISREG(info.st_mode)) {
        result.fault = FirmwareFault::NotRegularFile;
        return result;
    }
    result.size = static_cast<std::uint64_t>(info.st_size);
    std::uint8_t header[kaltro::kFirmwareHeaderSize];
    long long got = read_fully(file.fd(), header, sizeof header);
    if (got < 0) return result;
    // An empty file is no firmware of any format.
    if (got > 0 && !has_native_magic(header, static_cast<std::size_t>(got)))
        return foreign_file(file.fd(), header, got, cancel);
    if (static_cast<std::size_t>(got) < sizeof header) {
        result.fault = FirmwareFault::Truncated;
        return result;
    }
    kaltro::FirmwareHeader parsed;
    result.fault = header_fault(kaltro::decode_firmware_header(header, parsed));
    if (!result.ok()) return result;
    result.version = kaltro::version_text(parsed.version);
    const std::uint64_t expected = kaltro::kFirmwareHeaderSize + parsed.image_size;
    if (result.size != expected) {
        result.fault = result.size < expected ? FirmwareFault::Truncated : FirmwareFault::TooLong;
        return result;
    }
    Sha256 file_sum, image_sum;
    file_sum.update(header, sizeof header);
    result.fault = hash_image(file.fd(), parsed.image_size, file_sum, image_sum, cancel);
    if (!result.ok()) return result;
    result.sha256 = hex_text(file_sum.finish());
    if (image_sum.finish() != parsed.image_sha256) result.fault = FirmwareFault::BadImageSum;
    return result;
}

const char* firmware_fault_text(FirmwareFault fault) {
    switch (fault) {
        case FirmwareFault::None: return "sound";
        case FirmwareFault::Unreadable: return "cannot be read";
        case FirmwareFault::NotRegularFile: return "not a regular file";
        case FirmwareFault::Truncated: return "truncated: shorter than its header says";
        case FirmwareFault::TooLong: return "longer than its header says";
        case FirmwareFault::BadMagic: return "not in the native firmware format";
        case FirmwareFault::BadFormat: return "unknown firmware format";
        case FirmwareFault::BadHeaderSum: return "header check sum mismatch";
        case FirmwareFault::TooLarge: return "image too large";
        case FirmwareFault::BadImageSum: return "image check sum mismatch";
        case FirmwareFault::Cancelled: return "check cancelled";
    }
    return "?";
}
