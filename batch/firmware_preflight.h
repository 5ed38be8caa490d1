#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The check of a firmware file before any device is sent a byte of it: the
// header (magic, header size, format, header hash, image size) and the image
// (its size and SHA-256) as docs/firmware-format.md lays them out. A device
// checks the same things only after the whole file has reached it.
enum class FirmwareFault {
    None,
    Unreadable,       // cannot be opened or read
    NotRegularFile,   // a directory, FIFO, device...: never opened for reading
    Truncated,        // shorter than its header, or than header + image size
    TooLong,          // bytes after the image
    BadMagic,         // not in the native format at all: for ONVIF cameras only (sha256 and size are filled)
    BadFormat,        // header size or format number
    BadHeaderSum,
    TooLarge,         // image size above what any device takes
    BadImageSum,      // the image does not hash to the header's image hash
    Cancelled,
};

struct FirmwarePreflight {
    FirmwareFault fault = FirmwareFault::Unreadable;
    std::string version;     // "a.b.c" from the header, when the header is sound
    std::string sha256;      // of the whole file, lower-case hex, when it was read whole
    std::uint64_t size = 0;  // bytes in the file
    bool ok() const { return fault == FirmwareFault::None; }
};

// Reads the whole file once. `cancel`, when given, is looked at between
// blocks: setting it ends the check early with Cancelled.
FirmwarePreflight preflight_firmware_file(const std::string& path, const std::atomic<bool>* cancel = nullptr);

// A short English explanation of a fault, for the trace and the command line.
const char* firmware_fault_text(FirmwareFault fault);

// A file in another format than the native one may be an ONVIF camera's own:
// a job sends it as it is to ONVIF cameras, and native devices refuse it
// without a byte sent. So it is sound only for a job with ONVIF cameras.
inline bool firmware_for_onvif_only(const FirmwarePreflight& check) { return check.fault == FirmwareFault::BadMagic; }
