#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Gathers the bench's PASS/NG records (one file per camera in a
// "test_record" folder) into one table. A record that cannot be read as the
// bench writes it is kept in the table with the reason, never dropped and
// never fatal to the others.
struct RecordRow {
    std::string file;              // name inside the folder
    std::string mac;
    std::string result;            // "PASS" or "NG"
    std::int64_t modified_ms = 0;  // the file's modification time: when the verdict was given
    std::string board_id;
    std::string board_name;
    std::string software_version;
    std::string problem;           // why the record is damaged; "" when it is sound
    std::string protocol;          // "native" for a record that names none
    std::string model;             // ONVIF records; "" for native ones
};

// Reads one record's bytes. Fills `row` (its file and time are the caller's)
// and sets row.problem when the text is not a sound record.
void parse_test_record(const std::string& bytes, RecordRow& row);

// Every "*.txt" file of `dir` (not its subfolders), sorted by name. False when
// the folder itself cannot be read; `error` then says why.
bool read_record_folder(const std::string& dir, std::vector<RecordRow>& rows, std::string& error);

// The columns of the first records stay where they were; protocol and model
// come after them.
std::string records_csv(const std::vector<RecordRow>& rows);
std::string records_json(const std::vector<RecordRow>& rows);
