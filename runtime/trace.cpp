#include "runtime/trace.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

struct SinkSlot {
    TraceSink sink;
    void* context;
};

void stderr_sink(const char* text, std::size_t length, void*) {
    // One write per line keeps lines of concurrent threads whole.
    while (length > 0) {
        ssize_t n = ::write(STDERR_FILENO, text, length);
        if (n <= 0) return;
        text += n;
        length -= static_cast<std::size_t>(n);
    }
}

const SinkSlot kStderr{stderr_sink, nullptr};
std::atomic<const SinkSlot*> g_slot{&kStderr};

// A slot is written once, before it is published, and never changed or freed
// afterwards: a thread in debug_print may still hold the previous one. The
// same (sink, context) pair reuses its slot, so the table only fills up with
// distinct pairs.
constexpr unsigned kSlots = 64;
SinkSlot g_slots[kSlots];
std::atomic<bool> g_ready[kSlots];
std::atomic<unsigned> g_claimed{0};

const SinkSlot* find_slot(TraceSink sink, void* context) {
    unsigned n = std::min(g_claimed.load(std::memory_order_acquire), kSlots);
    for (unsigned i = 0; i < n; ++i) {
        if (g_ready[i].load(std::memory_order_acquire) && g_slots[i].sink == sink &&
            g_slots[i].context == context)
            return &g_slots[i];
    }
    return nullptr;
}

const SinkSlot* claim_slot(TraceSink sink, void* context) {
    unsigned i = g_claimed.fetch_add(1, std::memory_order_acq_rel);
    if (i >= kSlots) return nullptr;
    g_slots[i] = SinkSlot{sink, context};
    g_ready[i].store(true, std::memory_order_release);
    return &g_slots[i];
}

constexpr std::size_t kBufferChars = 20480;
constexpr std::size_t kMaxOutput = 1024;

// Cuts to at most kMaxOutput bytes without splitting a UTF-8 sequence.
std::size_t cut_length(const char* text, std::size_t length) {
    if (length <= kMaxOutput) return length;
    std::size_t end = kMaxOutput;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return end;
}

}  // namespace

int debug_print(const char* format, ...) {
    char buffer[kBufferChars];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return 0;
    std::size_t length = cut_length(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
    const SinkSlot* slot = g_slot.load(std::memory_order_acquire);
    slot->sink(buffer, length, slot->context);
    return 0;
}

int set_trace_sink(TraceSink sink, void* context) {
    if (sink == nullptr) {
        g_slot.store(&kStderr, std::memory_order_release);
        return 0;
    }
    const SinkSlot* slot = find_slot(sink, context);
    if (slot == nullptr) slot = claim_slot(sink, context);
    if (slot == nullptr) return 1;
    g_slot.store(slot, std::memory_order_release);
    return 0;
}

void trace_null_sink(const char*, std::size_t, void*) {}

const char* trace_file_name(const char* path) {
    // Thread-local so concurrent callers never share the buffer.
    thread_local char name[128];
    const char* base = std::strrchr(path, '/');
    base = base ? base + 1 : path;
    std::size_t len = std::strcspn(base, ".");
    if (len >= sizeof name) len = sizeof name - 1;
    std::memcpy(name, base, len);
    name[len] = '\0';
    return name;
}
