// The export of the bench's records: what the bench writes reads back
// field for field; a damaged record is listed with its problem and never
// stops the others; nothing in the folder can hold the export.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "factory_test/record_export.h"
#include "factory_test/test_record.h"

namespace {

namespace fs = std::filesystem;

IPC_DEVICE_INFO bench_info(const char* mac, const char* board_name, const char* version) {
    IPC_DEVICE_INFO info{};
    std::snprintf(info.mac, sizeof(info.mac), "%s", mac);
    std::snprintf(info.board_name, sizeof(info.board_name), "%s", board_name);
    std::snprintf(info.software_version, sizeof(info.software_version), "%s", version);
    info.board_id = 0x2a;
    return info;
}

// Writes records the way the bench does, in a working directory of its own.
class RecordExport : public ::testing::Test {
protected:
    void SetUp() override {
        m_old = fs::current_path();
        m_dir = fs::temp_directory_path() / ("record_export_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        fs::current_path(m_dir);
    }
    void TearDown() override {
        fs::current_path(m_old);
        fs::remove_all(m_dir);
    }
    void put(const std::string& name, const std::string& bytes) {
        fs::create_directories(kTestRecordDir);
        std::ofstream(std::string(kTestRecordDir) + "/" + name, std::ios::binary) << bytes;
    }
    std::vector<RecordRow> read_all() {
        std::vector<RecordRow> rows;
        std::string error;
        EXPECT_TRUE(read_record_folder(kTestRecordDir, rows, error)) << error;
        return rows;
    }
    fs::path m_old, m_dir;
};

TEST_F(RecordExport, WhatTheBenchWritesReadsBackFieldForField) {
    ASSERT_EQ(write_test_record(bench_info("00:12:34:56:78:9a", "SIMBOARD", "1.2.3"), "PASS"), RecordWrite::Ok);
    ASSERT_EQ(write_test_record(bench_info("00:12:34:56:78:9b", "SIM BOARD 2", "V2.0.0"), "NG"), RecordWrite::Ok);
    std::vector<RecordRow> rows = read_all();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].file, "00-12-34-56-78-9a.txt");
    EXPECT_EQ(rows[0].mac, "00:12:34:56:78:9a");
    EXPECT_EQ(rows[0].result, "PASS");
    EXPECT_EQ(rows[0].board_id, "0x2a");
    EXPECT_EQ(rows[0].board_name, "SIMBOARD");
    EXPECT_EQ(rows[0].problem, "");
    EXPECT_GT(rows[0].modified_ms, 0);
    EXPECT_EQ(rows[1].result, "NG");
    EXPECT_EQ(rows[1].software_version, "V2.0.0");

    const std::string csv = records_csv(rows);
    EXPECT_EQ(csv.rfind("mac,result,date,board_id,board_name,software_version,file,problem,protocol,model\r\n", 0), 0u);
    EXPECT_NE(csv.find("\r\n00:12:34:56:78:9b,NG,20"), std::string::npos);
    EXPECT_NE(csv.find("00-12-34-56-78-9b.txt,,native,\r\n"), std::string::npos);
    nlohmann::json json = nlohmann::json::parse(records_json(rows));
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[1]["board_name"], "SIM BOARD 2");
    EXPECT_EQ(json[1]["protocol"], "native");
}

// An ONVIF camera's record carries its protocol and model after the result;
// read back, the native fields are where they always were.
TEST_F(RecordExport, OnvifRecordsNameTheirProtocolAndModel) {
    RecordIdentity camera{"02:0F:00:00:00:01", 0, "0x20", "fw-1.0.0", "onvif", "SIMCAM \"O1\""};
    ASSERT_EQ(write_test_record(camera, "PASS"), RecordWrite::Ok);
    std::vector<RecordRow> rows = read_all();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].problem, "");
    EXPECT_EQ(rows[0].mac, "02:0F:00:00:00:01");
    EXPECT_EQ(rows[0].result, "PASS");
    EXPECT_EQ(rows[0].software_version, "fw-1.0.0");
    EXPECT_EQ(rows[0].protocol, "onvif");
    EXPECT_EQ(rows[0].model, "SIMCAM \"O1\"");
    EXPECT_NE(records_csv(rows).find(",onvif,\"SIMCAM \"\"O1\"\"\"\r\n"), std::string::npos) << records_csv(rows);
    put("z_odd.txt", "{\"mac\":\"zz\",\"board_id\":\"0x1\",\"board_name\":\"B\",\"software_version\":\"1\","
                     "\"result\":\"NG\",\"protocol\":5}");
    EXPECT_EQ(read_all()[1].problem, "field protocol is not a text");
}

TEST_F(RecordExport, DamagedRecordsAreListedWithTheirProblemAndTheRestStillRead) {
    const std::string good = "{\n\r\"mac\":\"aa\",\n\r\"board_id\":\"0x1\",\n\r\"board_name\":\"B\",\n\r"
                             "\"software_version\":\"1\",\n\r\"result\":\"PASS\"\n\r}";
    put("a_good.txt", good);
    put("b_cut.txt", good.substr(0, good.size() / 2));
    put("c_garbage.txt", std::string("\x00\x01\x02zz", 5));
    put("d_missing.txt", "{\"mac\":\"dd\",\"result\":\"PASS\"}");
    put("e_maybe.txt", "{\"mac\":\"ee\",\"board_id\":\"0x1\",\"board_name\":\"B\",\"software_version\":\"1\","
                       "\"result\":\"MAYBE\"}");
    // Written before device texts were escaped: a board name that closes its
    // string and adds a second result would turn NG into PASS.
    put("f_injected.txt", "{\n\r\"mac\":\"ff\",\n\r\"board_id\":\"0x1\",\n\r\"board_name\":\"x\",\n\r\"result\":\"PASS\","
                          "\n\r\"software_version\":\"1\",\n\r\"result\":\"NG\"\n\r}");
    put("g_number.txt", "{\"mac\":7,\"board_id\":\"0x1\",\"board_name\":\"B\",\"software_version\":\"1\",\"result\":\"NG\"}");
    put("h_big.txt", std::string(200 * 1024, ' '));
    std::vector<RecordRow> rows = read_all();
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0].problem, "");
    EXPECT_EQ(rows[1].problem, "not a record (unreadable text)");
    EXPECT_EQ(rows[2].problem, "not a record (unreadable text)");
    EXPECT_EQ(rows[3].problem, "field board_id missing");
    EXPECT_EQ(rows[4].problem, "result is neither PASS nor NG");
    EXPECT_EQ(rows[5].problem, "field result given twice");
    EXPECT_EQ(rows[6].problem, "field mac is not a text");
    EXPECT_EQ(rows[7].problem, "not a record file");
    EXPECT_NE(records_csv(rows).find("b_cut.txt,not a record (unreadable text),,\r\n"), std::string::npos);
}

TEST_F(RecordExport, StrayBytesReadAsReplacementCharacters) {
    RecordRow row;
    parse_test_record("{\"mac\":\"aa\",\"board_id\":\"0x1\",\"board_name\":\"B\xff\",\"software_version\":\"1\","
                      "\"result\":\"NG\"}",
                      row);
    EXPECT_EQ(row.problem, "");
    EXPECT_EQ(row.board_name, "B\xef\xbf\xbd");
}

TEST_F(RecordExport, OddEntriesOfTheFolderNeitherHoldNorStopTheExport) {
    put("keep.txt", "{}");
    fs::create_directories(std::string(kTestRecordDir) + "/folder.txt");
    put("notes.md", "not a record");
    ASSERT_EQ(::mkfifo((std::string(kTestRecordDir) + "/pipe.txt").c_str(), 0600), 0);  // no writer
    std::vector<RecordRow> rows = read_all();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].file, "keep.txt");
    EXPECT_EQ(rows[0].problem, "field mac missing");
    EXPECT_EQ(rows[1].file, "pipe.txt");
    EXPECT_EQ(rows[1].problem, "not a record file");

    std::vector<RecordRow> none;
    std::string error;
    EXPECT_FALSE(read_record_folder("no_such_folder", none, error));
    EXPECT_NE(error.find("no_such_folder"), std::string::npos);
}

}  // namespace
