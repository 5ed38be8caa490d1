// The report kept on disk while a job runs: written from the start, brought
// up to date when the source changes, never seen half written by a reader,
// replaced by the final report at the end, and a fault told, not hidden.
#include "batch/job_journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <thread>

#include "runtime/trace.h"

namespace {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

JobOutcome devices_outcome(int count, int done) {
    JobOutcome outcome;
    outcome.steps = {"upgrade"};
    outcome.started_at = 1714543407000;
    for (int i = 0; i < count; ++i) {
        DeviceOutcome device;
        device.mac = "02:00:00:00:01:" + std::to_string(10 + i);
        device.state = i < done ? kStateEnded : kStateInProgress;
        device.marks[1] = i < done ? "\u221a" : " ";
        device.status = std::string(40, 'x');  // a report of some size
        outcome.devices.push_back(device);
    }
    return outcome;
}

// A job's state that a test changes while the journal reads it.
struct FakeSource {
    std::mutex lock;
    int done = 0;
    std::atomic<std::uint64_t> generation{0};
    void finish_one() {
        std::lock_guard<std::mutex> guard(lock);
        ++done;
        ++generation;
    }
    JobOutcome snapshot() {
        std::lock_guard<std::mutex> guard(lock);
        return devices_outcome(100, done);
    }
};

class JobJournal : public ::testing::Test {
protected:
    void SetUp() override {
        set_trace_sink(&trace_null_sink, nullptr);
        m_dir = fs::temp_directory_path() / ("job_journal_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_base = (m_dir / "r1").string();
    }
    void TearDown() override {
        fs::remove_all(m_dir);
        set_trace_sink(nullptr, nullptr);
    }
    void attach(CJobJournal& journal, FakeSource& source) {
        journal.set_source([&source] { return source.snapshot(); },
                           [&source] { return source.generation.load(); });
    }
    // Waits (real time, generous) until the JSON on disk satisfies `ready`.
    bool wait_for(const std::function<bool(const nlohmann::json&)>& ready) {
        for (int i = 0; i < 2000; ++i) {
            const nlohmann::json report = nlohmann::json::parse(read_file(m_base + ".json"), nullptr, false);
            if (!report.is_discarded() && ready(report)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    static int done_count(const nlohmann::json& report) {
        int done = 0;
        for (const nlohmann::json& device : report["devices"]) done += device["marks"]["upgrade"] == "done";
        return done;
    }

    fs::path m_dir;
    std::string m_base;
};

TEST_F(JobJournal, FollowsTheJobAndEndsWithTheFinalReport) {
    FakeSource source;
    CJobJournal journal(CJobJournal::Place{m_base, "", 0}, 20);
    attach(journal, source);
    ASSERT_TRUE(wait_for([](const nlohmann::json& r) { return r["devices"].size() == 100; }));
    const nlohmann::json first = nlohmann::json::parse(read_file(m_base + ".json"));
    EXPECT_TRUE(first["ended"].is_null());
    EXPECT_FALSE(first["updated"].is_null());
    for (int i = 0; i < 8; ++i) source.finish_one();
    EXPECT_TRUE(wait_for([](const nlohmann::json& r) { return done_count(r) == 8; }));
    // The CSV beside it follows too: a header and a line per device.
    const std::string csv = read_file(m_base + ".csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 101);

    JobOutcome final = devices_outcome(100, 100);
    final.ended_at = 1714543507000;
    std::string told = "not called";
    journal.finish(final, [&told](const std::string& error) { told = error; });
    EXPECT_EQ(journal.wait(), "");
    EXPECT_EQ(told, "");
    const nlohmann::json last = nlohmann::json::parse(read_file(m_base + ".json"));
    EXPECT_FALSE(last["ended"].is_null());
    EXPECT_EQ(done_count(last), 100);
    EXPECT_EQ(journal.base(), m_base);
    for (const auto& entry : fs::directory_iterator(m_dir))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(JobJournal, WritesOnlyWhenTheJobChanged) {
    FakeSource source;
    CJobJournal journal(CJobJournal::Place{m_base, "", 0}, 1);
    attach(journal, source);
    ASSERT_TRUE(wait_for([](const nlohmann::json& r) { return r["devices"].size() == 100; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a hundred turns with nothing new
    EXPECT_EQ(journal.figures().writes, 1);
    source.finish_one();
    EXPECT_TRUE(wait_for([](const nlohmann::json& r) { return done_count(r) == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(journal.figures().writes, 2);
}

TEST_F(JobJournal, AReaderNeverFindsHalfAReport) {
    FakeSource source;
    CJobJournal journal(CJobJournal::Place{m_base, "", 0}, 0);  // writes as fast as it can
    attach(journal, source);
    ASSERT_TRUE(wait_for([](const nlohmann::json& r) { return r["devices"].size() == 100; }));
    std::atomic<bool> stop{false};
    std::thread job([&] {
        while (!stop.load()) {
            source.finish_one();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    int reads = 0, broken = 0, short_csv = 0;
    // Until the journal has replaced the files a few times (a flush to disk
    // takes its time), or a deadline that only a stuck journal meets.
    const int first_writes = journal.figures().writes;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (journal.figures().writes < first_writes + 5 && std::chrono::steady_clock::now() < end) {
        const nlohmann::json report = nlohmann::json::parse(read_file(m_base + ".json"), nullptr, false);
        broken += report.is_discarded() || report["devices"].size() != 100;
        const std::string csv = read_file(m_base + ".csv");
        short_csv += std::count(csv.begin(), csv.end(), '\n') != 101;
        ++reads;
    }
    stop.store(true);
    job.join();
    EXPECT_GE(journal.figures().writes, first_writes + 5);
    EXPECT_GT(reads, 5);
    EXPECT_EQ(broken, 0) << "of " << reads << " reads";
    EXPECT_EQ(short_csv, 0) << "of " << reads << " reads";
}

TEST_F(JobJournal, ADatedReportTakesAFreshNameWithItsFirstWrite) {
    FakeSource source;
    const std::string dir = (m_dir / "job_reports").string();
    CJobJournal first(CJobJournal::Place{"", dir, 1714543407}, 10);
    attach(first, source);
    CJobJournal second(CJobJournal::Place{"", dir, 1714543407}, 10);
    attach(second, source);
    first.finish(devices_outcome(1, 1));
    second.finish(devices_outcome(2, 2));
    EXPECT_EQ(first.wait(), "");
    EXPECT_EQ(second.wait(), "");
    ASSERT_FALSE(first.base().empty());
    EXPECT_NE(first.base(), second.base());
    EXPECT_EQ(nlohmann::json::parse(read_file(first.base() + ".json"))["devices"].size(), 1u);
    EXPECT_EQ(nlohmann::json::parse(read_file(second.base() + ".json"))["devices"].size(), 2u);
}

TEST_F(JobJournal, AFaultOfTheDiskIsToldAtTheEnd) {
    FakeSource source;
    CJobJournal journal(CJobJournal::Place{(m_dir / "missing" / "r1").string(), "", 0}, 10);
    attach(journal, source);
    std::string told;
    journal.finish(devices_outcome(1, 1), [&told](const std::string& error) { told = error; });
    EXPECT_NE(journal.wait(), "");
    EXPECT_NE(told, "");
}

TEST_F(JobJournal, ASourceMayGoAwayOnceReplaced) {
    CJobJournal journal(CJobJournal::Place{m_base, "", 0}, 0);
    for (int round = 0; round < 50; ++round) {
        auto source = std::make_unique<FakeSource>();
        attach(journal, *source);
        source->finish_one();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        journal.set_source([] { return devices_outcome(3, 3); }, [] { return std::uint64_t{0}; });
        source.reset();  // the journal no longer reads it
    }
    journal.finish(devices_outcome(3, 3));
    EXPECT_EQ(journal.wait(), "");
    EXPECT_EQ(nlohmann::json::parse(read_file(m_base + ".json"))["devices"].size(), 3u);
}

}  // namespace
