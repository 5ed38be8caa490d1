// The command line's picture of a job, written to a file (not a terminal).
#include "cli/batch_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

class BatchOutputTest : public ::testing::Test {
protected:
    std::unique_ptr<CDeviceTable> wave_table(int rows) {
        auto table = std::make_unique<CDeviceTable>([](const std::string& key) { return key; });
        for (int row = 0; row < rows; ++row) {
            const std::string n = std::to_string(row);
            table->update_dev_find_list({"00:00:00:00:00:0" + n, "10.0.0." + n, 34567, "1.0.0", 1, 5}, true);
        }
        return table;
    }
    void feed(BatchOutput& output, CDeviceTable& table, JobDisplay& display, JobReport report) {
        handle_job_report(report, table, display);
        output.report(report, table, display);
    }
    std::vector<std::string> lines() {
        std::fflush(m_file.get());
        std::rewind(m_file.get());
        std::vector<std::string> result;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, m_file.get()) != nullptr) {
            std::string line(buffer);
            if (!line.empty() && line.back() == '\n') line.pop_back();
            result.push_back(line);
        }
        return result;
    }
    std::FILE* file() { return m_file.get(); }

    // The only wave of a command, written off a terminal.
    struct PlainWave {
        PlainWave(BatchOutputTest& test, std::unique_ptr<CDeviceTable> rows, int count)
            : test(test),
              table_rows(std::move(rows)),
              table(*table_rows),
              output(test.file(), false, count, 1) {
            output.begin_wave(0, count);
        }
        void feed(JobReport report) { test.feed(output, table, display, report); }
        void end() {
            output.end_wave(table, display);
            output.finish();
        }
        BatchOutputTest& test;
        std::unique_ptr<CDeviceTable> table_rows;
        CDeviceTable& table;
        BatchOutput output;
        JobDisplay display;
    };
    PlainWave plain_wave(int rows) { return PlainWave(*this, wave_table(rows), rows); }

private:
    std::unique_ptr<std::FILE, FileCloser> m_file{std::tmpfile()};
};

int count_with(const std::vector<std::string>& lines, const std::string& part) {
    int count = 0;
    for (const std::string& line : lines) count += line.find(part) != std::string::npos;
    return count;
}

TEST_F(BatchOutputTest, OffATerminalEachDeviceGetsOneLineAtItsEndAndProgressEveryTenPercent) {
    PlainWave wave = plain_wave(3);
    for (int percent = 0; percent <= 100; ++percent) {
        wave.feed({REPORT_PROGRESS, static_cast<std::uint32_t>(percent)});
        if (percent % 20 == 0)  // the steps of every device change their rows many times
            for (int row = 0; row < 3; ++row) wave.feed({REPORT_STATUS, report_pair(row, 2 + percent % 3)});
    }
    for (int row = 0; row < 3; ++row) {
        wave.feed({REPORT_STATUS, report_pair(row, 8)});
        wave.feed({REPORT_FINISHED, static_cast<std::uint32_t>(row)});
        wave.feed({REPORT_FINISHED, static_cast<std::uint32_t>(row)});  // said twice: still one line
    }
    wave.end();
    const std::vector<std::string> written = lines();
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(count_with(written, "00:00:00:00:00:0" + std::to_string(row)), 1);
    EXPECT_EQ(count_with(written, "%"), 11);  // 0, 10, ... 100
    EXPECT_FALSE(wave.output.any_failed());
    EXPECT_EQ(written.back().rfind("3 devices: 3 finished without failure", 0), 0u) << written.back();
}

// Off a terminal a progress line tells how far the command is when it is
// written: a jump over several 10 % steps gives one line with the figure
// reached, not one line per step passed with figures it was never at.
TEST_F(BatchOutputTest, AJumpOverSeveralTenPercentStepsGivesOneLineWithTheFigureReached) {
    PlainWave wave = plain_wave(2);
    for (int percent : {0, 20, 53, 57, 59, 60, 99, 100, 100})
        wave.feed({REPORT_PROGRESS, static_cast<std::uint32_t>(percent)});
    const std::vector<std::string> written = lines();
    const char* expected[] = {"   0% ", "  20% ", "  53% ", "  60% ", "  99% ", " 100% "};
    ASSERT_EQ(written.size(), std::size(expected));
    for (std::size_t i = 0; i < written.size(); ++i)
        EXPECT_NE(written[i].find(expected[i]), std::string::npos) << written[i];
}

TEST_F(BatchOutputTest, RowsTheJobNeverFinishedAreShownWithTheirReasonAndCountAsFailed) {
    PlainWave wave = plain_wave(2);
    wave.feed({REPORT_STATUS, report_pair(0, 8)});
    wave.feed({REPORT_FINISHED, 0});
    wave.table.set_result(1, COL_STATUS, "no version");  // what the command writes for a row the job left out
    wave.end();
    const std::vector<std::string> written = lines();
    EXPECT_EQ(count_with(written, "00:00:00:00:00:01"), 1);
    EXPECT_EQ(count_with(written, "no version"), 1);
    EXPECT_TRUE(wave.output.any_failed());
    EXPECT_EQ(written.back().rfind("2 devices: 1 finished without failure, 1 failed", 0), 0u)
        << written.back();
}

TEST_F(BatchOutputTest, RowsAStopCaughtBeforeTheirEndAreNotCountedAsFinishedWithoutFailure) {
    PlainWave wave = plain_wave(3);
    const int last_codes[] = {8, kStatusStopped, kStatusStoppedAfterFlash};
    for (int row = 0; row < 3; ++row) {
        wave.feed({REPORT_STATUS, report_pair(row, 6)});
        wave.feed({REPORT_STATUS, report_pair(row, last_codes[row])});
        wave.feed({REPORT_FINISHED, static_cast<std::uint32_t>(row)});
    }
    wave.end();
    const std::vector<std::string> written = lines();
    EXPECT_TRUE(wave.output.any_failed());
    EXPECT_EQ(written.back().rfind("3 devices: 1 finished without failure, 2 failed or not worked on", 0), 0u)
        << written.back();
}

TEST_F(BatchOutputTest, WavesAreNumberedAndMeasuredAsOneCommand) {
    BatchOutput output(file(), true, 4, 2);
    JobDisplay first_display, second_display;
    auto first_rows = wave_table(2);
    CDeviceTable& first = *first_rows;
    output.begin_wave(0, 2);
    feed(output, first, first_display, {REPORT_FINISHED, 1});
    output.end_wave(first, first_display);  // row 0 never finished
    auto second_rows = wave_table(2);
    CDeviceTable& second = *second_rows;
    output.begin_wave(2, 2);
    feed(output, second, second_display, {REPORT_STATUS, report_pair(1, 0)});  // a failure message
    feed(output, second, second_display, {REPORT_FINISHED, 1});
    feed(output, second, second_display, {REPORT_FINISHED, 0});
    output.end_wave(second, second_display);
    output.left_out(4, DeviceRow{});  // beyond the waves: never started

    std::vector<nlohmann::json> objects;
    for (const std::string& line : lines()) objects.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(objects.size(), 6u);
    EXPECT_EQ(objects[0]["row"], 1);
    EXPECT_EQ(objects[1]["type"], "left_out");
    EXPECT_EQ(objects[1]["row"], 0);
    EXPECT_EQ(objects[2]["row"], 3);  // the second wave's row 1
    EXPECT_EQ(objects[2]["wave"], 2);
    EXPECT_EQ(objects[5]["row"], 4);
    EXPECT_TRUE(output.any_failed());
}

TEST_F(BatchOutputTest, ProgressOfALaterWaveCountsTheWavesBeforeIt) {
    BatchOutput output(file(), false, 4, 2);
    auto first_rows = wave_table(2), second_rows = wave_table(2);
    JobDisplay first_display, display;
    output.begin_wave(0, 2);
    for (int row = 0; row < 2; ++row)
        feed(output, *first_rows, first_display, {REPORT_FINISHED, static_cast<std::uint32_t>(row)});
    output.end_wave(*first_rows, first_display);
    output.begin_wave(2, 2);
    feed(output, *second_rows, display, {REPORT_PROGRESS, 50});
    const std::vector<std::string> written = lines();
    ASSERT_EQ(written.size(), 3u);
    EXPECT_NE(written[2].find(" 75% wave 2/2"), std::string::npos) << written[2];
}


TEST_F(BatchOutputTest, DevicesAlreadyOnTheFirmwaresVersionFinishWithoutFailureAndAreCounted) {
    PlainWave wave = plain_wave(3);
    // Row 0 was current from the start; row 1's transfer was given up on our
    // side but reached the device, which the next pass found current; row 2
    // was given up and never recovered.
    const std::vector<std::vector<int>> codes = {
        {kStatusAlreadyCurrent, 26}, {6, 7, kStatusAlreadyCurrent, 26}, {6, 7, 26}};
    for (int row = 0; row < 3; ++row) {
        for (int code : codes[row]) wave.feed({REPORT_STATUS, report_pair(row, code)});
        wave.feed({REPORT_FINISHED, static_cast<std::uint32_t>(row)});
    }
    wave.end();
    const std::vector<std::string> written = lines();
    EXPECT_EQ(wave.table.row(0)->results[COL_UPGRADE - COL_NETWORK], kMarkDone);
    EXPECT_EQ(wave.table.row(0)->results[COL_STATUS - COL_NETWORK], "IDS_SETTING_SUCCESS");
    EXPECT_EQ(written.back(),
              "3 devices: 2 finished without failure (2 already on this firmware version), 1 failed or not worked on");
}

}  // namespace
