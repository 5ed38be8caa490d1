// The report of a command with several waves while it runs: the waves that
// ended as they ended, the devices of later waves as waiting, and the final
// report in their place at the end.
#include "cli/command_journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

namespace {

nlohmann::json read_report(const std::string& path) {
    std::ifstream file(path);
    return nlohmann::json::parse(file, nullptr, false);
}

TEST(CommandJournal, LaterWavesWaitUntilTheirTurnAndTheFinalReportReplacesAll) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("command_journal_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string base = (dir / "r1").string();
    std::vector<ListedDevice> selected;
    for (int i = 1; i <= 3; ++i)
        selected.push_back({"02:00:00:00:00:0" + std::to_string(i), "10.77.0.1" + std::to_string(i), 34567,
                            "1.0.0", 0x20, 5});
    JobOutcome settled;
    settled.steps = {"upgrade"};
    settled.started_at = 1714543407000;
    CommandJournal journal(base, settled, selected);
    // The first wave (two devices) has ended.
    settled.devices.push_back(unworked_device(unworked_row(selected[0], ""), ""));
    settled.devices.back().state = kStateEnded;
    settled.devices.push_back(unworked_device(unworked_row(selected[1], ""), ""));
    settled.devices.back().state = kStateEnded;
    journal.between_waves(settled);
    nlohmann::json report;
    for (int i = 0; i < 2000; ++i) {
        report = read_report(base + ".json");
        if (!report.is_discarded() && report["devices"].size() == 3 &&
            report["devices"][0]["state"] == "ended")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(report.is_discarded());
    ASSERT_EQ(report["devices"].size(), 3u);
    EXPECT_EQ(report["devices"][1]["state"], "ended");
    EXPECT_EQ(report["devices"][2]["state"], "waiting");
    EXPECT_EQ(report["devices"][2]["mac"], "02:00:00:00:00:03");
    EXPECT_TRUE(report["ended"].is_null());

    JobOutcome final = settled;
    final.devices.push_back(
        unworked_device(unworked_row(selected[2], kStoppedBeforeReason), kStoppedBeforeReason));
    final.ended_at = 1714543507000;
    final.stopped = true;
    EXPECT_EQ(journal.finish(final), "");
    report = read_report(base + ".json");
    EXPECT_FALSE(report["ended"].is_null());
    EXPECT_EQ(report["devices"][2]["state"], "not worked on");
    std::filesystem::remove_all(dir);
}

}  // namespace
