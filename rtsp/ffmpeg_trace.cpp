#include "rtsp/ffmpeg_trace.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>

#include "runtime/trace.h"

namespace rtsp {

namespace {

std::mutex g_lock;
std::string g_last;

void on_message(void* object, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) return;
    char text[1024];
    int prefix = 1;
    av_log_format_line2(object, level, format, arguments, text, sizeof text, &prefix);
    std::string line = without_logins(text);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (line == g_last) return;
        g_last = line;
    }
    TRACE_MSG("rtsp::ffmpeg", "%s%s", line.c_str(), !line.empty() && line.back() == '\n' ? "" : "\n");
}

}  // namespace

std::string without_logins(std::string line) {
    for (std::size_t scheme = line.find("://"); scheme != std::string::npos; scheme = line.find("://", scheme + 3)) {
        const std::size_t start = scheme + 3;
        const std::size_t end = line.find_first_of("/ \t\r\n", start);
        const std::size_t at = line.rfind('@', end == std::string::npos ? line.size() - 1 : end - 1);
        if (at != std::string::npos && at >= start && (end == std::string::npos || at < end))
            line.erase(start, at + 1 - start);
    }
    return line;
}

void route_ffmpeg_messages() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(on_message); });
}

}  // namespace rtsp
