// The plan file: CSV as spreadsheets write it, read into per-camera values,
// and refused whole, every bad line named, when any of it is wrong.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "batch/device_table.h"
#include "batch/plan_file.h"
#include "runtime/report_text.h"

namespace {

struct Read {
    DevicePlan plan;
    std::vector<PlanProblem> problems;
};

Read read(const std::string& text, const PlanLimits& limits = {}) {
    Read r;
    r.problems = read_plan_text(text, r.plan, limits);
    return r;
}

// "line:fault" of every problem, in order: what a test compares.
std::vector<std::pair<int, PlanFault>> faults(const Read& r) {
    std::vector<std::pair<int, PlanFault>> out;
    for (const PlanProblem& p : r.problems) out.emplace_back(p.line, p.fault);
    return out;
}

std::string keys_as_text(const std::string& key) { return key; }

TEST(PlanFile, SpreadsheetCsvWithBomCrlfQuotesAndEmptyCellsReads) {
    // Columns in any order and case, a site's own columns kept out of the
    // way, a quoted note with a comma, a quote and a line break, empty cells,
    // and the empty lines a spreadsheet leaves at the end.
    const Read r = read("\xEF\xBB\xBFNotes,UID,Mac,IP,mask,gateway,dhcp\r\n"
                        "\"hall, \"\"north\"\"\r\nsecond line\",uid-1,02:00:00:00:00:01,10.0.0.21,255.255.255.0,10.0.0.1,off\r\n"
                        ",,aa-bb-cc-dd-ee-0f,,,,on\r\n"
                        "\"\",uid.3,AABB.CCDD.EE10,10.0.0.23,,,\r\n"
                        ",,,,,,\r\n\r\n");
    ASSERT_TRUE(r.problems.empty()) << r.problems.size();
    ASSERT_EQ(r.plan.entries.size(), 3u);
    const PlanEntry& first = r.plan.entries[0];
    EXPECT_EQ(first.line, 2);
    EXPECT_EQ(first.mac, "02:00:00:00:00:01");
    EXPECT_EQ(first.values.ip, "10.0.0.21");
    EXPECT_EQ(first.values.mask, "255.255.255.0");
    EXPECT_EQ(first.values.gateway, "10.0.0.1");
    EXPECT_EQ(first.values.dhcp, false);
    EXPECT_EQ(first.values.uid, "uid-1");
    // The quoted line break moved the next record to line 4.
    EXPECT_EQ(r.plan.entries[1].line, 4);
    EXPECT_EQ(r.plan.entries[1].mac, "AA:BB:CC:DD:EE:0F");
    EXPECT_EQ(r.plan.entries[1].values.dhcp, true);
    EXPECT_TRUE(r.plan.entries[1].values.ip.empty());
    EXPECT_EQ(r.plan.entries[2].mac, "AA:BB:CC:DD:EE:10");
    EXPECT_EQ(r.plan.entries[2].values.uid, "uid.3");
    EXPECT_TRUE(r.plan.find("aabbccddee10") != nullptr);
    EXPECT_TRUE(r.plan.find("02-00-00-00-00-02") == nullptr);
}

TEST(PlanFile, SemicolonAndTabSeparatedFilesOfOtherLocalesRead) {
    for (const char* text : {"mac;ip;uid\n020000000001;10.0.0.5;u1\n", "mac\tip\tuid\n020000000001\t10.0.0.5\tu1\n"}) {
        const Read r = read(text);
        ASSERT_TRUE(r.problems.empty()) << text;
        ASSERT_EQ(r.plan.entries.size(), 1u);
        EXPECT_EQ(r.plan.entries[0].values.ip, "10.0.0.5");
        EXPECT_EQ(r.plan.entries[0].values.uid, "u1");
    }
}

TEST(PlanFile, MacsInEveryCaseAndSeparatorStyleNameOneCamera) {
    const Read r = read("mac,uid\n02:ab:CD:00:00:01,a\n02-AB-cd-00-00-01,b\n02ab.CD00.0001,c\n02ABcd000001,d\n"
                        "02:ab:cd:00:00,e\n02ab.cd00-0001,f\n02abcd00000g,g\n0:2ab:cd:00:00:01,h\n");
    EXPECT_EQ(faults(r), (std::vector<std::pair<int, PlanFault>>{
                             {3, PlanFault::MacTwice}, {4, PlanFault::MacTwice}, {5, PlanFault::MacTwice},
                             {6, PlanFault::BadMac}, {7, PlanFault::BadMac}, {8, PlanFault::BadMac},
                             {9, PlanFault::BadMac}}));
}

TEST(PlanFile, EveryBadLineIsNamedAndThePlanRefusedWhole) {
    const Read r = read("mac,ip,mask,gateway,dhcp,uid\n"
                        "02:00:00:00:00:01,10.0.0.21,,,,u1\n"          // 2: sound
                        "02:00:00:00:00:zz,10.0.0.22,,,,u2\n"          // 3: MAC
                        ",10.0.0.23,,,,u3\n"                            // 4: no MAC
                        "02:00:00:00:00:04,10.0.0.300,,,,u4\n"         // 5: address
                        "02:00:00:00:00:05,10.0.0.25,255.0.255.0,10.0.0.1,,u5\n"  // 6: mask
                        "02:00:00:00:00:06,10.0.0.26,255.255.255.0,,,u6\n"        // 7: mask without gateway
                        "02:00:00:00:00:07,10.0.0.27,255.255.255.0,10.0.1.1,,u7\n"  // 8: gateway outside
                        "02:00:00:00:00:08,10.0.0.255,255.255.255.0,10.0.0.1,,u8\n" // 9: broadcast address
                        "02:00:00:00:00:09,10.0.0.29,,,maybe,u9\n"     // 10: dhcp
                        "02:00:00:00:00:0a,10.0.0.30,,,on,u10\n"       // 11: address with DHCP on
                        "02:00:00:00:00:0b,10.0.0.31,,,,u;rm -rf /\n"  // 12: UID the shell would split
                        "02:00:00:00:00:0c,239.1.1.1,,,,u12\n");       // 13: multicast address
    EXPECT_TRUE(r.plan.entries.empty());
    EXPECT_EQ(faults(r), (std::vector<std::pair<int, PlanFault>>{
                             {3, PlanFault::BadMac}, {4, PlanFault::NoMac}, {5, PlanFault::BadIp},
                             {6, PlanFault::BadMask}, {7, PlanFault::MaskGatewayApart},
                             {8, PlanFault::GatewayOutside}, {9, PlanFault::NotHostAddress},
                             {10, PlanFault::BadDhcp}, {11, PlanFault::DhcpOnWithIp}, {12, PlanFault::BadUid},
                             {13, PlanFault::BadIp}}));
}

TEST(PlanFile, DuplicatesAreNamedByLineWithTheLineThatCameFirst) {
    const Read r = read("mac,ip,uid\n"
                        "02:00:00:00:00:01,10.0.0.21,u1\n"
                        "02:00:00:00:00:02,10.0.0.21,u2\n"    // 3: address of line 2
                        "02-00-00-00-00-01,10.0.0.23,u3\n"    // 4: MAC of line 2, in another style
                        "02:00:00:00:00:04,10.0.0.24,u2\n"    // 5: UID of line 3
                        "02:00:00:00:00:05,10.0.0.25,U2\n");  // UIDs differ by case: two UIDs
    ASSERT_EQ(r.problems.size(), 3u);
    EXPECT_EQ(faults(r), (std::vector<std::pair<int, PlanFault>>{
                             {3, PlanFault::IpTwice}, {4, PlanFault::MacTwice}, {5, PlanFault::UidTwice}}));
    EXPECT_EQ(r.problems[0].other_line, 2);
    EXPECT_EQ(r.problems[1].other_line, 2);
    EXPECT_EQ(r.problems[2].other_line, 3);
    EXPECT_EQ(plan_problem_text("site.csv", r.problems[2], keys_as_text),
              "site.csv:5: IDS_PLAN_UID_TWICE: \"u2\" (IDS_PLAN_ALSO_ON_LINE)");
    EXPECT_EQ(plan_problem_text("site.csv", r.problems[2],
                                [](const std::string& key) {
                                    return key == "IDS_PLAN_ALSO_ON_LINE" ? "also on line {line}" : "two cameras given one UID";
                                }),
              "site.csv:5: two cameras given one UID: \"u2\" (also on line 3)");
}

TEST(PlanFile, HeaderAndStructureFaults) {
    EXPECT_EQ(faults(read("")), (std::vector<std::pair<int, PlanFault>>{{0, PlanFault::NoHeader}}));
    EXPECT_EQ(faults(read("ip,uid\n10.0.0.1,u\n")),
              (std::vector<std::pair<int, PlanFault>>{{1, PlanFault::NoMacColumn}}));
    EXPECT_EQ(faults(read("mac,uid,UID\n020000000001,a,b\n")),
              (std::vector<std::pair<int, PlanFault>>{{1, PlanFault::ColumnTwice}}));
    EXPECT_EQ(faults(read("mac,uid\n\n,,\n")), (std::vector<std::pair<int, PlanFault>>{{0, PlanFault::NoCamera}}));
    // A quote never closed swallows the rest: named where it opened.
    EXPECT_EQ(faults(read("mac,uid\n020000000001,\"u1\n020000000002,u2\n")),
              (std::vector<std::pair<int, PlanFault>>{{2, PlanFault::OpenQuote}}));
    EXPECT_EQ(faults(read("mac,uid\n020000000001,\"u1\"x\n020000000002,u2\n")),
              (std::vector<std::pair<int, PlanFault>>{{2, PlanFault::TextAfterQuote}}));
    // "Unicode text" from a spreadsheet, and any text with NUL bytes.
    EXPECT_EQ(faults(read(std::string("\xFF\xFEm\0a\0c\0", 8))),
              (std::vector<std::pair<int, PlanFault>>{{0, PlanFault::NotUtf8Text}}));
}

TEST(PlanFile, SizeLimitsOnBytesLinesFieldsAndFieldLength) {
    PlanLimits limits;
    limits.max_bytes = 200;
    limits.csv.max_lines = 4;
    limits.csv.max_fields = 5;
    limits.csv.max_field_bytes = 20;
    EXPECT_EQ(faults(read("mac\n" + std::string(200, 'x'), limits)),
              (std::vector<std::pair<int, PlanFault>>{{0, PlanFault::TooLarge}}));
    // Line 5 is one too many; a trailing line end is no fifth line.
    EXPECT_TRUE(read("mac\n020000000001\n020000000002\n020000000003\n", limits).problems.empty());
    EXPECT_EQ(faults(read("mac\n020000000001\n020000000002\n020000000003\n020000000004\n", limits)),
              (std::vector<std::pair<int, PlanFault>>{{5, PlanFault::TooManyLines}}));
    EXPECT_EQ(faults(read("mac,uid\n020000000001,a,b,c,d,e\n020000000002," + std::string(21, 'u') + "\n", limits)),
              (std::vector<std::pair<int, PlanFault>>{{2, PlanFault::TooManyFields},
                                                      {3, PlanFault::FieldTooLong}}));
}

TEST(PlanFile, QuotedValuesAreShortAndPrintable) {
    const Read r = read("mac\n\x1b[31m" + std::string(100, 'f') + "\n");
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.problems[0].value.find('\x1b'), std::string::npos);
    EXPECT_LE(r.problems[0].value.size(), 43u);
}

TEST(PlanFile, AnExportedListReadsBackAsItWasWritten) {
    // Our CSV writer defuses a leading '-' for spreadsheets; the reader
    // takes the apostrophe off again.
    const std::string text = "\xEF\xBB\xBF" + csv_line({"mac", "ip", "mask", "gateway", "dhcp", "uid", "version"}) +
                             csv_line({"02:00:00:00:00:01", "10.0.0.21", "255.255.255.0", "10.0.0.1", "", "-u1", "1.0"});
    const Read r = read(text);
    ASSERT_TRUE(r.problems.empty());
    EXPECT_EQ(r.plan.entries.at(0).values.uid, "-u1");
}

TEST(PlanFile, FilesThatCannotBeReadAreRefusedWithoutOpeningSpecialFiles) {
    DevicePlan plan;
    std::vector<PlanProblem> problems = read_plan_file("/nonexistent/site.csv", plan);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].fault, PlanFault::Unreadable);
    EXPECT_FALSE(problems[0].value.empty());
    // A FIFO nobody writes would block an open for reading.
    const std::string fifo = (std::filesystem::temp_directory_path() / ("plan_fifo_" + std::to_string(getpid()))).string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    problems = read_plan_file(fifo, plan);
    std::filesystem::remove(fifo);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].fault, PlanFault::Unreadable);
}

TEST(PlanFile, PlannedAddressHeldByAnotherListedCameraIsAConflict) {
    const Read r = read("mac,ip\n02:00:00:00:00:01,10.0.0.12\n02:00:00:00:00:02,10.0.0.12x\n");
    ASSERT_EQ(r.problems.size(), 1u);  // the second line's address is malformed
    const Read ok = read("mac,ip\n02:00:00:00:00:01,10.0.0.12\n02:00:00:00:00:02,10.0.0.11\n");
    ASSERT_TRUE(ok.problems.empty());
    // Camera 2 keeping 10.0.0.11 itself is no conflict; camera 1 moving onto
    // the address camera 3 holds is.
    const std::vector<PlanProblem> conflicts = plan_address_conflicts(
        ok.plan, {{"02-00-00-00-00-02", "10.0.0.11"}, {"02:00:00:00:00:03", "10.0.0.12"}});
    ASSERT_EQ(conflicts.size(), 1u);
    EXPECT_EQ(conflicts[0].line, 2);
    EXPECT_EQ(conflicts[0].fault, PlanFault::IpInUse);
    EXPECT_EQ(conflicts[0].value, "10.0.0.12 02:00:00:00:00:03");
}

TEST(PlannedValues, APlannedSettingReplacesTheJobsOwnForThatDevice) {
    JOB_STEPS job{};
    job.change_dhcp = 1;
    job.change_time_zone = 1;
    JobParams params;
    params.dhcp_checked = 1;
    params.uid = "job-uid";
    PlannedValues planned;
    planned.ip = "10.0.0.9";
    planned.uid = "own-uid";
    JOB_STEPS steps = planned_steps(job, planned, {"10.0.0.5", "255.255.255.0", "10.0.0.1"});
    EXPECT_EQ(steps.change_ip, 1);
    EXPECT_EQ(steps.change_dhcp, 0);  // its own address, not the job's DHCP
    EXPECT_EQ(steps.change_UID, 1);
    EXPECT_EQ(steps.change_time_zone, 1);  // the job's other steps stay
    const JobParams own = planned_params(params, planned);
    EXPECT_EQ(own.net_ip, "10.0.0.9");
    EXPECT_EQ(own.uid, "own-uid");
    // Already there: no change asked; a mask it lacks still asks for one.
    EXPECT_EQ(planned_steps(job, planned, {"10.0.0.9", "255.255.255.0", "10.0.0.1"}).change_ip, 0);
    planned.mask = "255.255.0.0";
    planned.gateway = "10.0.0.1";
    EXPECT_EQ(planned_steps(job, planned, {"10.0.0.9", "255.255.255.0", "10.0.0.1"}).change_ip, 1);
    // A plan that only names the device leaves the job's steps as they are.
    const JOB_STEPS unplanned = planned_steps(job, PlannedValues{}, {});
    EXPECT_EQ(std::memcmp(&job, &unplanned, sizeof job), 0);
}

TEST(DeviceTablePlan, PlannedDevicesAreCheckedAndCarryTheirValuesAlsoWhenHeardLater) {
    CDeviceTable table([](const std::string& key) { return key; });
    table.update_dev_find_list({"02:00:00:00:00:01", "10.0.0.11", 8000, "1.0", 1, 5}, true);
    table.update_dev_find_list({"02:00:00:00:00:02", "10.0.0.12", 8000, "1.0", 1, 5}, true);
    table.set_checked(1, true);
    PlannedValues planned;
    planned.uid = "u1";
    table.set_plan({{"02:00:00:00:00:01", planned}, {"02:00:00:00:00:03", {}}});
    EXPECT_TRUE(table.row(0)->checked);
    EXPECT_EQ(table.row(0)->planned->uid, "u1");
    EXPECT_FALSE(table.row(1)->checked);  // not in the plan
    EXPECT_FALSE(table.row(1)->planned);
    table.update_dev_find_list({"02-00-00-00-00-03", "10.0.0.13", 8000, "1.0", 1, 5}, true);
    EXPECT_TRUE(table.row(2)->checked);
    EXPECT_TRUE(table.row(2)->planned);
    // A refresh keeps the plan for the devices heard again.
    table.clear();
    table.update_dev_find_list({"02:00:00:00:00:01", "10.0.0.11", 8000, "1.0", 1, 5}, true);
    EXPECT_TRUE(table.row(0)->checked);
    // Removing the plan keeps the check marks.
    table.set_plan({});
    EXPECT_FALSE(table.has_plan());
    EXPECT_TRUE(table.row(0)->checked);
    EXPECT_FALSE(table.row(0)->planned);
}

}  // namespace
