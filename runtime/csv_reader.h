#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Reads CSV text as people's spreadsheets write it (RFC 4180 and what it
// leaves open): an optional UTF-8 byte-order mark, lines ending in LF, CR LF
// or a lone CR, fields in double quotes with doubled quotes and line breaks
// inside, and the delimiter the first line uses: ',' (the default), or ';'
// or a tab where the first line has no comma (spreadsheets of some locales).
// Bounded: a text past the limits is read no further than they allow.

struct CsvLimits {
    std::size_t max_lines = 10000;       // lines of the text, counted as an editor counts them
    std::size_t max_fields = 100;        // per record
    std::size_t max_field_bytes = 1000;
};

struct CsvRecord {
    int line = 0;  // the line the record begins on, from 1
    std::vector<std::string> fields;
};

enum class CsvFault {
    TooManyLines,   // the text has more lines than the limit; nothing after it is read
    TooManyFields,
    FieldTooLong,
    OpenQuote,      // a quoted field runs to the end of the text
    TextAfterQuote, // a closing quote followed by something other than a delimiter or a line end
};

struct CsvProblem {
    int line = 0;
    CsvFault fault = CsvFault::TooManyLines;
};

struct CsvText {
    std::vector<CsvRecord> records;    // in order; empty lines carry none, faulty records are left out
    std::vector<CsvProblem> problems;  // at most one per record, in order
};

CsvText read_csv(std::string_view text, const CsvLimits& limits = {});
