#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "runtime/trace.h"

// Collects trace lines for the life of the object (tests only).
class TraceCapture {
public:
    TraceCapture() { set_trace_sink(&TraceCapture::sink, this); }
    ~TraceCapture() { set_trace_sink(nullptr, nullptr); }

    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }

    bool contains(const std::string& text) const {
        for (const std::string& line : lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

private:
    static void sink(const char* text, std::size_t length, void* context) {
        auto* self = static_cast<TraceCapture*>(context);
        std::lock_guard<std::mutex> guard(self->m_lock);
        self->m_lines.emplace_back(text, length);
    }

    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
};
