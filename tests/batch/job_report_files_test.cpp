// The job report's JSON and CSV: the same devices in both, device texts kept
// as data whatever they hold, files replaced whole and never overwritten by
// a second report of the same second.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "batch/job_report_files.h"

namespace {

namespace fs = std::filesystem;

JobOutcome sample() {
    JobOutcome outcome;
    outcome.firmware_path = "/srv/fw/cam-2.0.0.update";
    outcome.firmware_sha256 = std::string(64, 'a');
    outcome.steps = {"time_zone", "upgrade"};
    outcome.started_at = 1714543407000;
    outcome.ended_at = 1714543507000;
    DeviceOutcome done;
    done.mac = "02:00:00:00:00:01";
    done.ip_before = "10.77.0.11";
    done.ip_after = "10.77.0.11";
    done.version_before = "1.0.0";
    done.version_after = "2.0.0";
    done.marks[0] = "\u2014";
    done.marks[1] = "\u221a";
    done.marks[5] = "\u00d7";
    done.status = "Upgrade successful";
    done.started_at = 1714543408000;
    done.ended_at = 1714543500000;
    done.passes = 2;
    DeviceOutcome hostile;  // texts as a hostile device could send them
    hostile.mac = "=cmd|' /C calc'!A0";
    hostile.version_before = "1.0\",\"x\r\n2\x01\xff";
    hostile.not_worked_on = kNoVersionReason;
    outcome.devices = {done, hostile};
    return outcome;
}

std::vector<std::string> csv_records(const std::string& csv) {
    // Records end with CR LF outside quotes.
    std::vector<std::string> records;
    std::string current;
    bool quoted = false;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        if (csv[i] == '"') quoted = !quoted;
        if (!quoted && csv.compare(i, 2, "\r\n") == 0) {
            records.push_back(current);
            current.clear();
            ++i;
            continue;
        }
        current += csv[i];
    }
    return records;
}

TEST(JobReportFiles, JsonCarriesTheJobAndEveryDevice) {
    nlohmann::json report = nlohmann::json::parse(job_report_json(sample()));
    EXPECT_EQ(report["firmware"]["name"], "cam-2.0.0.update");
    EXPECT_EQ(report["firmware"]["sha256"], std::string(64, 'a'));
    EXPECT_EQ(report["steps"], (nlohmann::json{"time_zone", "upgrade"}));
    EXPECT_FALSE(report["stopped"]);
    ASSERT_EQ(report["devices"].size(), 2u);
    const nlohmann::json& d = report["devices"][0];
    EXPECT_EQ(d["version_after"], "2.0.0");
    EXPECT_EQ(d["marks"]["network"], "skipped");
    EXPECT_EQ(d["marks"]["upgrade"], "done");
    EXPECT_EQ(d["marks"]["logo"], "");
    EXPECT_EQ(d["marks"]["settings"], "failed");
    EXPECT_EQ(d["passes"], 2);
    EXPECT_TRUE(d["worked_on"]);
    EXPECT_EQ(d["started"].get<std::string>().substr(0, 4), "2024");
    const nlohmann::json& h = report["devices"][1];
    EXPECT_FALSE(h["worked_on"]);
    EXPECT_EQ(h["not_worked_on"], "no version");
    EXPECT_TRUE(h["started"].is_null());
    // Quotes and line breaks stay inside the string; the stray byte became U+FFFD.
    EXPECT_EQ(h["version_before"], "1.0\",\"x\r\n2\x01\xef\xbf\xbd");
}

TEST(JobReportFiles, CsvHasOneRecordPerDeviceWithHostileTextsQuotedAndDefused) {
    const std::string csv = job_report_csv(sample());
    ASSERT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u);
    std::vector<std::string> records = csv_records(csv.substr(3));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].rfind("mac,ip_before,ip_after,version_before,version_after,steps,network,upgrade", 0), 0u);
    EXPECT_EQ(records[1].rfind("02:00:00:00:00:01,10.77.0.11,10.77.0.11,1.0.0,2.0.0,time_zone upgrade,skipped,done,,,,failed,"
                               "Upgrade successful,2024-05-01T", 0), 0u);
    EXPECT_NE(records[1].find(",2,,cam-2.0.0.update," + std::string(64, 'a')), std::string::npos);
    // A formula is shown as text, the quoted field keeps its comma, quote and line break.
    EXPECT_EQ(records[2].rfind("'=cmd|' /C calc'!A0,,,\"1.0\"\",\"\"x\r\n2\x01\xef\xbf\xbd\",", 0), 0u);
}

TEST(JobReportFiles, PlannedValuesAndWhetherTheyTookComeLastAndOnlyForPlannedDevices) {
    JobOutcome outcome = sample();
    outcome.plan_path = "/srv/site.csv";
    DeviceOutcome& planned = outcome.devices[0];
    planned.planned = PlannedValues{"10.77.0.41", "255.255.0.0", "10.77.0.1", false, "uid-1"};
    planned.ip_took = false;
    planned.dhcp_took = true;
    planned.uid_took = true;
    nlohmann::json report = nlohmann::json::parse(job_report_json(outcome));
    EXPECT_EQ(report["plan"], "/srv/site.csv");
    const nlohmann::json& d = report["devices"][0];
    EXPECT_EQ(d["planned"], (nlohmann::json{{"ip", "10.77.0.41"}, {"mask", "255.255.0.0"}, {"gateway", "10.77.0.1"},
                                            {"dhcp", "off"}, {"uid", "uid-1"}}));
    EXPECT_EQ(d["planned_took"], (nlohmann::json{{"ip", false}, {"dhcp", true}, {"uid", true}}));
    EXPECT_TRUE(report["devices"][1]["planned"].is_null());
    EXPECT_TRUE(report["devices"][1]["planned_took"].is_null());
    EXPECT_TRUE(nlohmann::json::parse(job_report_json(sample()))["plan"].is_null());

    std::vector<std::string> records = csv_records(job_report_csv(outcome).substr(3));
    const std::string columns = ",already_current,protocol,planned_ip,planned_mask,planned_gateway,planned_dhcp,"
                                "planned_uid,planned_ip_took,planned_dhcp_took,planned_uid_took";
    EXPECT_EQ(records[0].substr(records[0].size() - columns.size()), columns);
    const std::string values = ",10.77.0.41,255.255.0.0,10.77.0.1,off,uid-1,false,true,true";
    EXPECT_EQ(records[1].substr(records[1].size() - values.size()), values);
    EXPECT_EQ(records[2].substr(records[2].size() - 9), "e" + std::string(8, ','));  // "...,native" and eight empty cells
}

class JobReportFolder : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("job_reports_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

TEST_F(JobReportFolder, ReportsOfTheSameSecondGetTheirOwnNames) {
    const std::time_t when = 1714543407;
    std::string first, second;
    ASSERT_EQ(write_dated_report(sample(), m_dir.string(), when, first), "");
    ASSERT_EQ(write_dated_report(sample(), m_dir.string(), when, second), "");
    EXPECT_EQ(second, first + "-2");
    EXPECT_EQ(first.rfind(m_dir.string() + "/2024-05-0", 0), 0u);  // the local date, whatever the zone
    ASSERT_EQ(write_job_report(sample(), first), "");  // written again over itself
    int files = 0;
    for (const auto& entry : fs::directory_iterator(m_dir)) {
        ++files;
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
    }
    EXPECT_EQ(files, 4);
    for (const std::string& base : {first, second}) {
        std::ifstream json(base + ".json");
        EXPECT_EQ(nlohmann::json::parse(json)["devices"].size(), 2u);
    }
}

TEST_F(JobReportFolder, AnUnwritablePlaceIsReportedNotIgnored) {
    EXPECT_NE(write_job_report(sample(), (m_dir / "missing" / "report").string()), "");
    std::string base;
    EXPECT_NE(write_dated_report(sample(), (m_dir / "a" / "b").string(), 0, base), "");
    EXPECT_EQ(base, "");
}

TEST(JobReportFiles, AReportOfAJobThatDidNotEndSaysSo) {
    JobOutcome outcome = sample();
    outcome.ended_at = 0;
    outcome.updated_at = 1714543450000;
    outcome.devices[0].state = kStateInProgress;
    outcome.devices[0].already_current = true;
    outcome.devices[1].state = kStateWaiting;
    outcome.devices[1].not_worked_on = "";
    const nlohmann::json report = nlohmann::json::parse(job_report_json(outcome));
    EXPECT_TRUE(report["ended"].is_null());
    EXPECT_EQ(report["updated"].get<std::string>().substr(0, 4), "2024");
    EXPECT_EQ(report["devices"][0]["state"], "in progress");
    EXPECT_TRUE(report["devices"][0]["already_current"]);
    EXPECT_EQ(report["devices"][1]["state"], "waiting");
    EXPECT_FALSE(report["devices"][1]["worked_on"]);  // not yet
    const std::vector<std::string> records = csv_records(job_report_csv(outcome).substr(3));
    EXPECT_NE(records[0].find(",firmware_sha256,state,already_current"), std::string::npos);
    EXPECT_NE(records[1].find(",in progress,true"), std::string::npos);
    EXPECT_NE(records[2].find(",waiting,false"), std::string::npos);
}

}  // namespace
