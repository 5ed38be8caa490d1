// tervane-cli records: the test bench's PASS/NG records of a folder as one
// CSV table or JSON array.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/command.h"
#include "factory_test/record_export.h"
#include "factory_test/test_record.h"

namespace {

struct RecordsArgs {
    std::string dir = kTestRecordDir;
    bool json = false;
};

// 0 when every record was sound, 1 when any was damaged (it is listed with
// its problem and named on standard error), 2 when the folder cannot be read.
int run_records(const RecordsArgs& args) {
    std::vector<RecordRow> rows;
    std::string error;
    if (!read_record_folder(args.dir, rows, error)) {
        std::fprintf(stderr, "tervane-cli: %s\n", error.c_str());
        return 2;
    }
    int damaged = 0;
    for (const RecordRow& row : rows) {
        if (row.problem.empty()) continue;
        ++damaged;
        std::fprintf(stderr, "tervane-cli: %s/%s: damaged record: %s\n", args.dir.c_str(), row.file.c_str(),
                     row.problem.c_str());
    }
    std::string out = args.json ? records_json(rows) : records_csv(rows);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return damaged > 0 ? 1 : 0;
}

}  // namespace

void add_records_command(CLI::App& app, int* exit_code) {
    auto args = std::make_shared<RecordsArgs>();
    CLI::App* cmd = app.add_subcommand("records", "export the test bench's PASS/NG records as CSV or JSON");
    cmd->add_option("dir", args->dir, "the records' folder")->capture_default_str();
    cmd->add_flag("--json", args->json, "print a JSON array instead of CSV");
    cmd->callback([args, exit_code] { *exit_code = run_records(*args); });
}
