#pragma once

#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/trace.h"

// Collects trace lines for the life of the object (tests only).
class TraceCapture {
public:
    TraceCapture() { set_trace_sink(&TraceCapture::sink, this); }
    ~TraceCapture() { set_trace_sink(nullptr, nullptr); }

    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<std::string> texts;
        for (const Line& line : m_lines) texts.push_back(line.text);
        return texts;
    }

    bool contains(const std::string& text) const {
        for (const std::string& line : lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    // The messages that their thread wrote without a position line just
    // before: every traced event is the position line, then the message.
    std::vector<std::string> messages_without_position() const {
        static const std::regex position(R"(\[[^\]]* : [^\]]*\] -?[0-9]+ entered\n)");
        std::lock_guard<std::mutex> guard(m_lock);
        std::map<std::thread::id, bool> after_position;
        std::vector<std::string> bare;
        for (const Line& line : m_lines) {
            const bool is_position = std::regex_match(line.text, position);
            if (!is_position && !after_position[line.thread]) bare.push_back(line.text);
            after_position[line.thread] = is_position;
        }
        return bare;
    }

private:
    struct Line {
        std::thread::id thread;
        std::string text;
    };

    static void sink(const char* text, std::size_t length, void* context) {
        auto* self = static_cast<TraceCapture*>(context);
        std::lock_guard<std::mutex> guard(self->m_lock);
        self->m_lines.push_back({std::this_thread::get_id(), std::string(text, length)});
    }

    mutable std::mutex m_lock;
    std::vector<Line> m_lines;
};
