// The bench's Qt-free pieces: version check, device rows, records, QR symbol.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "factory_test/device_rows.h"
#include "factory_test/qr_symbol.h"
#include "factory_test/test_record.h"
#include "factory_test/version_check.h"

TEST(VersionCheck, PartsReadLikeAtoi) {
    EXPECT_EQ(parse_version("1.2.3.7"), (VersionParts{1, 2, 3, 7}));
    EXPECT_EQ(parse_version("V1.2.3"), (VersionParts{0, 2, 3, 0}));
    EXPECT_EQ(parse_version("2-10.x"), (VersionParts{2, 10, 0, 0}));
    EXPECT_EQ(parse_version("1.2"), (VersionParts{1, 2, 0, 0}));
    EXPECT_EQ(parse_version(""), (VersionParts{0, 0, 0, 0}));
    EXPECT_EQ(parse_version("1.2.3.4.5.6"), (VersionParts{1, 2, 3, 4}));
}

TEST(VersionCheck, TypedAgainstDevice) {
    EXPECT_EQ(check_version("1.2.3", "1.2.3"), VersionVerdict::Normal);
    EXPECT_EQ(check_version("1.2.3", "1.2.4"), VersionVerdict::TooLow);
    EXPECT_EQ(check_version("1.2.3", "1.1.9"), VersionVerdict::TooHigh);
    // Each part on its own: 2 above 0 in part 1 outweighs 1 below 2 in part 0.
    EXPECT_EQ(check_version("1.2.3", "2.0.0"), VersionVerdict::TooHigh);
    EXPECT_EQ(check_version("1.2.3", "V1.2.3"), VersionVerdict::TooHigh);
    // The parts agree, but "1.2.3" differs from "1.2.3.7" within 7 characters.
    EXPECT_EQ(check_version("1.2.3.7", "1.2.3.7"), VersionVerdict::Unconfirmed);
    EXPECT_EQ(check_version("1.2.3.0", "1.2.3.0"), VersionVerdict::Unconfirmed);
    // The comparison ends with the shorter text, as strncmp's does.
    EXPECT_EQ(check_version("01.2.3", "1.2.3"), VersionVerdict::Normal);
}

namespace {
DEV_INFO device(const char* mac, std::int32_t type, const char* ip = "127.0.0.5") {
    DEV_INFO record{};
    std::snprintf(record.mac_address, sizeof(record.mac_address), "%s", mac);
    std::snprintf(record.ip_address, sizeof(record.ip_address), "%s", ip);
    std::snprintf(record.software_ver, sizeof(record.software_ver), "1.0.0");
    record.device_type = type;
    record.board_type = 0x2a;
    return record;
}
}  // namespace

TEST(DeviceRows, TypeFilter) {
    for (int type : {2, 19, 200, 300}) EXPECT_TRUE(bench_lists_device_type(type)) << type;
    for (int type : {-1, 0, 1, 3, 18, 20, 199}) EXPECT_FALSE(bench_lists_device_type(type)) << type;
}

TEST(DeviceRows, NumberedInArrivalOrderAndRestartAfterClear) {
    DeviceRows rows;
    EXPECT_TRUE(rows.apply(device("aa", 2), true));
    EXPECT_TRUE(rows.apply(device("bb", 2), true));
    EXPECT_EQ(rows.row(0).number, "01");
    EXPECT_EQ(rows.row(1).number, "02");
    EXPECT_EQ(rows.row(1).board, "0x2a");
    EXPECT_EQ(rows.row(5).mac, "");  // no such row reads as empty
    // An update for a MAC without a row changes nothing.
    EXPECT_FALSE(rows.apply(device("cc", 2, "127.0.0.9"), false));
    EXPECT_EQ(rows.count(), 2);
    EXPECT_TRUE(rows.apply(device("aa", 2, "127.0.0.7"), false));
    EXPECT_EQ(rows.row(0).ip, "127.0.0.7");
    rows.clear();
    rows.apply(device("bb", 2), true);
    EXPECT_EQ(rows.row(0).number, "01");
}

// A search empties discovery's list but not the rows, so a device heard just
// before it is reported new again by the search's own sweep.
TEST(DeviceRows, ADeviceReportedNewTwiceKeepsOneRow) {
    DeviceRows rows;
    rows.apply(device("aa", 2), true);
    rows.apply(device("bb", 2), true);
    EXPECT_TRUE(rows.apply(device("aa", 2, "127.0.0.8"), true));
    EXPECT_EQ(rows.count(), 2);
    EXPECT_EQ(rows.row(0).number, "01");
    EXPECT_EQ(rows.row(0).ip, "127.0.0.8");
}

namespace {
IPC_DEVICE_INFO info_of(const char* mac, std::uint32_t board_id) {
    IPC_DEVICE_INFO info{};
    std::snprintf(info.mac, sizeof(info.mac), "%s", mac);
    std::snprintf(info.board_name, sizeof(info.board_name), "SIMBOARD");
    std::snprintf(info.software_version, sizeof(info.software_version), "1.2.3");
    info.board_id = board_id;
    return info;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Runs a test in a fresh working directory, since records go below it.
class RecordDir : public ::testing::Test {
protected:
    void SetUp() override {
        m_old = std::filesystem::current_path();
        m_dir = std::filesystem::temp_directory_path() / ("tervane_records_" + std::to_string(getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir / "inner");
        std::filesystem::current_path(m_dir / "inner");
    }
    void TearDown() override {
        std::filesystem::current_path(m_old);
        std::filesystem::remove_all(m_dir);
    }
    std::filesystem::path m_old, m_dir;
};
}  // namespace

TEST(TestRecord, ExactBytesWithLfCrAndNoFinalLineEnd) {
    const std::string expected =
        "{\n\r\"mac\":\"00:12:34:56:78:9a\",\n\r\"board_id\":\"0xff\",\n\r\"board_name\":\"SIMBOARD\",\n\r"
        "\"software_version\":\"1.2.3\",\n\r\"result\":\"PASS\"\n\r}";
    EXPECT_EQ(format_test_record(info_of("00:12:34:56:78:9a", 255), "PASS"), expected);
    EXPECT_NE(format_test_record(info_of("m", 10), "NG").find("\"board_id\":\"0xa\""), std::string::npos);
    EXPECT_NE(format_test_record(info_of("m", 0), "NG").find("\"board_id\":\"0x0\""), std::string::npos);
}

TEST(TestRecord, OnvifRecordAppendsProtocolAndModel) {
    RecordIdentity camera{"02:0F:00:00:00:01", 0, "0x20", "1.0.0", "onvif", "SIMCAM-O1"};
    const std::string expected =
        "{\n\r\"mac\":\"02:0F:00:00:00:01\",\n\r\"board_id\":\"0x0\",\n\r\"board_name\":\"0x20\",\n\r"
        "\"software_version\":\"1.0.0\",\n\r\"result\":\"NG\",\n\r\"protocol\":\"onvif\",\n\r\"model\":\"SIMCAM-O1\"\n\r}";
    EXPECT_EQ(format_test_record(camera, "NG"), expected);
    camera.model = "\",\n\r\"result\":\"PASS";
    EXPECT_EQ(nlohmann::json::parse(format_test_record(camera, "NG"))["result"], "NG");
}

TEST(TestRecord, FieldsWithoutTerminatorStayInsideTheirField) {
    IPC_DEVICE_INFO info = info_of("x", 1);
    std::memset(info.board_name, 'B', sizeof(info.board_name));  // no terminator
    const std::string text = format_test_record(info, "NG");
    EXPECT_NE(text.find("\"board_name\":\"" + std::string(32, 'B') + "\""), std::string::npos);
}

// A device's texts are data, never record syntax: whatever they hold, the
// record parses back to exactly the texts and the verdict the bench wrote.
TEST(TestRecord, DeviceTextsCannotForgeAField) {
    IPC_DEVICE_INFO info = info_of("00:12:34:56:78:9a", 7);
    const std::string forged = "\",\n\r\"result\":\"PASS";
    std::snprintf(info.board_name, sizeof(info.board_name), "%s", forged.c_str());
    std::snprintf(info.software_version, sizeof(info.software_version), "1.0\\\x01\t\x7f\xff end");
    const std::string text = format_test_record(info, "NG");
    nlohmann::json record = nlohmann::json::parse(text);  // LF CR is JSON whitespace
    EXPECT_EQ(record["result"], "NG");
    EXPECT_EQ(record["board_name"], forged);
    EXPECT_EQ(record["software_version"], "1.0\\\x01\t\x7f\xEF\xBF\xBD end");  // a byte that is not UTF-8 shows as U+FFFD
    EXPECT_EQ(record["mac"], "00:12:34:56:78:9a");
    // Still seven lines, whatever the texts hold.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 6);
}

TEST(TestRecord, NameFromMac) {
    EXPECT_EQ(test_record_path("00:12:34:56:78:9a"), "test_record/00-12-34-56-78-9a.txt");
    EXPECT_EQ(test_record_path("0012345678AB"), "test_record/0012345678AB.txt");
    EXPECT_EQ(test_record_path("a b+c"), "test_record/a b+c.txt");
}

TEST(TestRecord, MacNeverLeadsOutOfTheFolder) {
    for (const char* mac : {"../../etc/passwd", "/tmp/x", "..", "a\\..\\b", "x\ny"}) {
        const std::string path = test_record_path(mac);
        EXPECT_EQ(path.rfind("test_record/", 0), 0u) << mac;
        EXPECT_EQ(path.find('/', 12), std::string::npos) << path;
        EXPECT_EQ(path.find('\n'), std::string::npos) << path;
        EXPECT_EQ(path.substr(path.size() - 4), ".txt");
    }
    const std::string long_path = test_record_path(std::string(300, 'a'));
    EXPECT_EQ(long_path.size(), kTestRecordPathMax);
    EXPECT_EQ(long_path.substr(long_path.size() - 4), ".txt");
}

TEST_F(RecordDir, PassThenNgLeavesOneFileEndingInNg) {
    const IPC_DEVICE_INFO info = info_of("00:12:34:56:78:9a", 255);
    ASSERT_EQ(write_test_record(info, "PASS"), RecordWrite::Ok);
    ASSERT_EQ(write_test_record(info, "NG"), RecordWrite::Ok);
    const std::string content = read_file("test_record/00-12-34-56-78-9a.txt");
    EXPECT_EQ(content, format_test_record(info, "NG"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("test_record"), {}), 1);
}

TEST_F(RecordDir, HostileMacWritesInsideTheFolder) {
    ASSERT_EQ(write_test_record(info_of("../escaped", 1), "PASS"), RecordWrite::Ok);
    EXPECT_FALSE(std::filesystem::exists("../escaped.txt"));
    EXPECT_TRUE(std::filesystem::exists("test_record/.._escaped.txt"));
}

// Such cameras would all share (and overwrite) one record.
TEST_F(RecordDir, MacWithoutLetterOrDigitWritesNoRecord) {
    for (const char* mac : {"", "::::::", "\n\r", " ", "-"}) {
        EXPECT_FALSE(mac_names_a_record(mac)) << mac;
        EXPECT_EQ(write_test_record(info_of(mac, 1), "PASS"), RecordWrite::UnusableMac) << mac;
    }
    EXPECT_TRUE(!std::filesystem::exists("test_record") ||
                std::filesystem::directory_iterator("test_record") == std::filesystem::directory_iterator());
    EXPECT_TRUE(mac_names_a_record("0"));
}

TEST_F(RecordDir, FolderInTheWayIsReportedAsFailure) {
    std::ofstream("test_record") << "a file where the folder should be";
    EXPECT_EQ(write_test_record(info_of("aa", 1), "PASS"), RecordWrite::CannotCreate);
}

TEST(QrSymbol, VersionGrowsWithTheUid) {
    QrSymbol symbol;
    ASSERT_TRUE(encode_qr("abcdefg", symbol));
    EXPECT_EQ(symbol.width, 21);
    ASSERT_TRUE(encode_qr("abcdefgh", symbol));
    EXPECT_EQ(symbol.width, 25);
    ASSERT_TRUE(encode_qr("abcdefghijklmnopqrst", symbol));
    EXPECT_EQ(symbol.width, 29);
    EXPECT_EQ(symbol.dark.size(), 29u * 29u);
    // Finder pattern: the top-left corner module is dark, the one inside its ring light.
    EXPECT_TRUE(symbol.is_dark(0, 0));
    EXPECT_FALSE(symbol.is_dark(1, 1));
    EXPECT_FALSE(encode_qr("", symbol));
}
