#include <cstring>

#include "batch_fixture.h"
#include "tests/runtime/trace_capture.h"

namespace {

using BatchSteps = BatchFixture;

std::vector<std::size_t> piece_sizes(const std::vector<ConfigCall>& calls) {
    std::vector<std::size_t> sizes;
    for (const ConfigCall& call : calls) sizes.push_back(call.data.size());
    return sizes;
}

std::int32_t int_at(const std::vector<unsigned char>& bytes, std::size_t offset) {
    std::int32_t value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

TEST_F(BatchSteps, LogoGoesInPiecesOfAtMost1024BetweenStartAndFinish) {
    const std::string ip = "127.0.0.2";
    int row = add_device(ip);
    std::vector<unsigned char> logo(2500);
    for (std::size_t i = 0; i < logo.size(); ++i) logo[i] = static_cast<unsigned char>(i * 7);
    params.logo_path = temp_file("logo.jpg", logo);
    job.m_dostep.change_logo = 1;
    start();
    wait_finished();
    auto starts = client.config_calls(ip, NETWORK_CMD_LOGO_START);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(int_at(starts[0].data, 0), 2500);
    auto pieces = client.config_calls(ip, NETWORK_CMD_LOGO_DATA);
    EXPECT_EQ(piece_sizes(pieces), (std::vector<std::size_t>{1024, 1024, 452}));
    std::vector<unsigned char> sent;
    for (const ConfigCall& piece : pieces) sent.insert(sent.end(), piece.data.begin(), piece.data.end());
    EXPECT_EQ(sent, logo);
    EXPECT_EQ(client.config_calls(ip, NETWORK_CMD_LOGO_FINISH).size(), 1u);
    EXPECT_TRUE(contains(statuses(row), 20));
}

TEST_F(BatchSteps, EmptyLogoSendsStartAndFinishOnlyAndMissingLogoFails) {
    int empty_row = add_device("127.0.0.2");
    params.logo_path = temp_file("empty.jpg", {});
    job.m_dostep.change_logo = 1;
    start();
    wait_finished();
    EXPECT_EQ(client.config_calls("127.0.0.2", NETWORK_CMD_LOGO_DATA).size(), 0u);
    EXPECT_EQ(client.config_calls("127.0.0.2", NETWORK_CMD_LOGO_FINISH).size(), 1u);
    EXPECT_TRUE(contains(statuses(empty_row), 20));

    reports.clear();
    params.logo_path = "/nonexistent/logo.jpg";
    table.set_checked(empty_row, true);
    start();
    wait_finished();
    EXPECT_TRUE(contains(statuses(empty_row), 19));
    EXPECT_EQ(client.config_calls("127.0.0.2", NETWORK_CMD_LOGO_START).size(), 1u);  // nothing new
}

TEST_F(BatchSteps, LogoFinishAnswerDecidesTheStep) {
    FakeDevice d;
    d.config_answers[NETWORK_CMD_LOGO_DATA] = {1};  // first piece refused: loop ends
    d.config_answers[NETWORK_CMD_LOGO_FINISH] = {1};
    int row = add_device("127.0.0.2", d);
    params.logo_path = temp_file("logo.jpg", std::vector<unsigned char>(3000, 1));
    job.m_dostep.change_logo = 1;
    start();
    wait_finished();
    EXPECT_EQ(client.config_calls("127.0.0.2", NETWORK_CMD_LOGO_DATA).size(), 1u);
    EXPECT_TRUE(contains(statuses(row), 19));
}

TEST_F(BatchSteps, TimeZoneIndexTwentySends28800InTheSettingsRecord) {
    const std::string ip = "127.0.0.2";
    int row = add_device(ip);
    job.m_dostep.change_time_zone = 1;
    params.time_zone_index = 20;
    start();
    wait_finished();
    // One all-zero record is only sent before an upgrade; here only ours.
    auto records = client.config_calls(ip, NETWORK_CMD_CUSTOMER_CFG);
    ASSERT_EQ(records.size(), 1u);
    ASSERT_EQ(records[0].data.size(), 1164u);
    EXPECT_EQ(int_at(records[0].data, 0), 1);
    EXPECT_EQ(int_at(records[0].data, 4), 28800);
    EXPECT_EQ(int_at(records[0].data, 24), 0);
    EXPECT_EQ(statuses(row), (std::vector<int>{28, 15, 12, 21, 24, 18, 26, 24}));
}

TEST_F(BatchSteps, GroupOneDevicesLeaveOutPasswordAndLogoButGetTheirVideoStandard) {
    int row = add_device("127.0.0.2", {}, 200);
    job.m_dostep.change_password = 1;
    params.default_password = "pw";
    start();
    wait_finished();
    EXPECT_TRUE(contains(statuses(row), 27));
    EXPECT_TRUE(client.config_calls("127.0.0.2", NETWORK_CMD_CUSTOMER_CFG).empty());

    reports.clear();
    table.set_checked(row, true);
    job.m_dostep = JOB_STEPS{};
    job.m_dostep.change_logo = 1;
    job.m_dostep.change_time_zone = 1;
    params.logo_path = temp_file("logo.jpg", std::vector<unsigned char>(10, 1));
    start();
    wait_finished();
    EXPECT_TRUE(contains(statuses(row), 21));
    EXPECT_TRUE(client.config_calls("127.0.0.2", NETWORK_CMD_LOGO_START).empty());
    auto records = client.config_calls("127.0.0.2", NETWORK_CMD_CUSTOMER_CFG);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(int_at(records[0].data, 0), 1);
    EXPECT_EQ(int_at(records[0].data, 24), 1);
    EXPECT_EQ(int_at(records[0].data, 28), 5);
}

TEST_F(BatchSteps, UidLineIsPaddedWithZerosTo128Bytes) {
    int row = add_device("127.0.0.2");
    job.m_dostep.change_UID = 1;
    params.uid = "abc123";
    start();
    wait_finished();
    auto lines = client.config_calls("127.0.0.2", NETWORK_CMD_SHELL);
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].data.size(), 128u);
    std::string expected = "echo abc123 >/config/tuya.cfg";
    ASSERT_EQ(expected.size(), 29u);
    EXPECT_EQ(std::string(lines[0].data.begin(), lines[0].data.begin() + 29), expected);
    for (std::size_t i = 29; i < 128; ++i) ASSERT_EQ(lines[0].data[i], 0) << i;
    std::vector<int> codes = statuses(row);
    EXPECT_TRUE(contains(codes, 23));
    EXPECT_FALSE(contains(codes, 24));  // the command column shows the UID's result only
}

TEST_F(BatchSteps, CommandResultAndResetsGoToTheCommandColumn) {
    FakeDevice refusing;
    refusing.config_answers[NETWORK_CMD_SHELL] = {1};
    int failed = add_device("127.0.0.2", refusing);
    int done = add_device("127.0.0.3");
    job.m_dostep.send_command = 1;
    job.m_dostep.restore_factory = 1;
    params.command = std::string(200, 'e');  // cut to 127 bytes
    start();
    wait_finished();
    EXPECT_TRUE(contains(statuses(failed), 22));
    EXPECT_TRUE(contains(statuses(done), 23));
    auto lines = client.config_calls("127.0.0.3", NETWORK_CMD_SHELL);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(lines[0].data.data())), 127u);
    EXPECT_EQ(client.controls("127.0.0.3"), (std::vector<std::vector<int>>{{DEVICE_CTRL_RESTORE_FACTORY, 0, 0, 0}}));
}

TEST_F(BatchSteps, AnswerSeventeenToTheTimeWriteRepeatsTheWholePass) {
    const std::string ip = "127.0.0.2";
    FakeDevice d;
    d.config_answers[NETWORK_CMD_SET_TIME] = {NETWORK_ERR_NETWORK};
    int row = add_device(ip, d);
    params.logo_path = temp_file("logo.jpg", std::vector<unsigned char>(100, 1));
    job.m_dostep.change_logo = 1;
    job.m_dostep.change_time_sync = 1;
    job.m_dostep.change_language = 1;
    start();
    wait_finished();
    EXPECT_EQ(client.login_attempts(ip), 2);
    EXPECT_EQ(client.config_calls(ip, NETWORK_CMD_LOGO_START).size(), 2u);
    EXPECT_EQ(client.config_calls(ip, NETWORK_CMD_GET_TIME).size(), 2u);
    EXPECT_EQ(client.config_calls(ip, NETWORK_CMD_SET_TIME).size(), 2u);
    EXPECT_EQ(client.config_calls(ip, NETWORK_CMD_CUSTOMER_CFG).size(), 1u);  // not reached in pass 1
    std::vector<int> codes = statuses(row);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 17), 1);
    EXPECT_FALSE(contains(codes, 16));
    EXPECT_EQ(client.open_logins(), 0);
}

TEST_F(BatchSteps, AnswerSeventeenToTheSettingsResendsTheSameRecord) {
    const std::string ip = "127.0.0.2";
    FakeDevice d;
    d.config_answers[NETWORK_CMD_CUSTOMER_CFG] = {NETWORK_ERR_NETWORK, 1};
    int row = add_device(ip, d);
    job.m_dostep.change_video_standard = 1;
    params.video_standard_index = 1;
    start();
    wait_finished();
    auto records = client.config_calls(ip, NETWORK_CMD_CUSTOMER_CFG);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].data, records[1].data);
    EXPECT_EQ(int_at(records[1].data, 28), 2);
    EXPECT_TRUE(contains(statuses(row), 25));
}

// What an operator reads in the trace of a job: each event's position line
// (file, function, line), then its message, whichever worker wrote it.
TEST_F(BatchSteps, EveryTracedEventOfAJobBeginsWithItsPositionLine) {
    TraceCapture trace;
    FakeDevice flashed;
    flashed.version_after_flash = "2.0.0";
    add_device("127.0.0.2", flashed, 0);  // an unknown device type is traced too
    add_device("127.0.0.3", flashed);
    params.logo_path = temp_file("logo.jpg", std::vector<unsigned char>(1500, 3));
    params.default_password = "fresh";
    StepCheckBoxes boxes;
    boxes.upgrade = boxes.logo = boxes.time_sync = boxes.time_zone = boxes.password = 1;
    job.m_dostep = check_update_step(boxes, "");
    job.m_dostep.restore_factory = 1;
    ASSERT_EQ(start(firmware(2, 0, 0)), START_OK);
    wait_finished();
    EXPECT_TRUE(trace.contains("### upgrade proc tag 111"));
    EXPECT_TRUE(trace.contains("-------customer_cfg.time_zone"));
    EXPECT_EQ(trace.messages_without_position(), std::vector<std::string>{});
}

}  // namespace
