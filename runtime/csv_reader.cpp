#include "runtime/csv_reader.h"

#include <optional>

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The first line's delimiter, looked for outside quotes.
char delimiter_of(std::string_view text) {
    bool quoted = false;
    bool semicolon = false;
    bool tab = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\n' || c == '\r') break;
        if (c == ',') return ',';
        semicolon = semicolon || c == ';';
        tab = tab || c == '\t';
    }
    return semicolon ? ';' : tab ? '\t' : ',';
}

class CsvScanner {
public:
    CsvScanner(std::string_view text, const CsvLimits& limits)
        : m_text(text), m_limits(limits), m_delimiter(delimiter_of(text)) {}

    CsvText run() {
        while (m_pos < m_text.size() && !m_stopped) record();
        if (m_too_many_lines) m_out.problems.push_back({m_line, CsvFault::TooManyLines});
        return std::move(m_out);
    }

private:
    bool at_end() const { return m_pos >= m_text.size(); }
    char peek() const { return m_text[m_pos]; }

    // Consumes one line break at the position, if any; true when it did.
    bool line_break() {
        if (at_end()) return false;
        if (peek() == '\r') {
            ++m_pos;
            if (!at_end() && peek() == '\n') ++m_pos;
        } else if (peek() == '\n') {
            ++m_pos;
        } else {
            return false;
        }
        if (++m_line > static_cast<int>(m_limits.max_lines) && !at_end()) {
            m_too_many_lines = true;
            m_stopped = true;
        }
        return true;
    }

    void fail(CsvFault fault, bool stop = false) {
        if (!m_fault) m_fault = fault;
        m_stopped = m_stopped || stop;
    }

    void add_char(std::string& field, char c) {
        if (field.size() < m_limits.max_field_bytes) {
            field += c;
        } else {
            fail(CsvFault::FieldTooLong);
        }
    }

    // A quoted field, from its opening quote; true when a delimiter follows.
    bool quoted_field(std::string& field) {
        ++m_pos;
        for (;;) {
            if (at_end()) {
                fail(CsvFault::OpenQuote, true);
                return false;
            }
            if (peek() == '"') {
                ++m_pos;
                if (at_end() || peek() != '"') break;
            }
            if (line_break()) {
                if (m_too_many_lines) return false;
                add_char(field, '\n');
                continue;
            }
            add_char(field, peek());
            ++m_pos;
        }
        if (at_end() || peek() == '\n' || peek() == '\r') return false;
        if (peek() == m_delimiter) {
            ++m_pos;
            return true;
        }
        fail(CsvFault::TextAfterQuote);
        skip_to_line_end();
        return false;
    }

    // An unquoted field; true when a delimiter follows.
    bool plain_field(std::string& field) {
        while (!at_end() && peek() != '\n' && peek() != '\r') {
            if (peek() == m_delimiter) {
                ++m_pos;
                return true;
            }
            add_char(field, peek());
            ++m_pos;
        }
        return false;
    }

    void skip_to_line_end() {
        while (!at_end() && peek() != '\n' && peek() != '\r') ++m_pos;
    }

    void record() {
        CsvRecord record;
        record.line = m_line;
        m_fault.reset();
        bool more = true;
        while (more && !m_stopped) {
            std::string field;
            more = !at_end() && peek() == '"' ? quoted_field(field) : plain_field(field);
            if (record.fields.size() < m_limits.max_fields) {
                record.fields.push_back(std::move(field));
            } else {
                fail(CsvFault::TooManyFields);
            }
        }
        // A record the line limit cut is no record; the limit is the problem.
        if (m_too_many_lines) return;
        const bool empty_line = record.fields.size() == 1 && record.fields[0].empty();
        if (m_fault) {
            m_out.problems.push_back({record.line, *m_fault});
        } else if (!empty_line) {
            m_out.records.push_back(std::move(record));
        }
        if (!m_stopped) line_break();
    }

    std::string_view m_text;
    const CsvLimits m_limits;
    const char m_delimiter;
    std::size_t m_pos = 0;
    int m_line = 1;
    bool m_stopped = false;
    bool m_too_many_lines = false;
    std::optional<CsvFault> m_fault;
    CsvText m_out;
};

}  // namespace

CsvText read_csv(std::string_view text, const CsvLimits& limits) {
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
    return CsvScanner(text, limits).run();
}
