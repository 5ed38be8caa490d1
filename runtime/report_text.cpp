#include "runtime/report_text.h"

#include <cstring>
#include <ctime>

#include "runtime/ini_file.h"

std::string csv_field(const std::string& raw) {
    std::string text = sanitize_utf8(raw);
    if (!text.empty() && std::strchr("=+-@\t\r", text[0]) != nullptr) text.insert(0, "'");
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string csv_line(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + csv_field(fields[i]);
    return line + "\r\n";
}

std::string iso_local_time(std::int64_t ms) {
    if (ms <= 0) return "";
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string out(text, n);
    if (out.size() >= 5) out.insert(out.size() - 2, ":");  // +0800 -> +08:00
    return out;
}
