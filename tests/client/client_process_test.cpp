// The library against a real ipcsim process that is killed in the middle of
// a firmware transfer and started again.

#include "runtime/lang.h"
#include "tests/client/ipcsim_child.h"
#include "tests/client/sim_fixture.h"

namespace {

// Starts ipcsim with one camera at `ip`.
bool start_one_camera(IpcsimChild& sim, const std::string& ip) {
    return sim.start({exe_dir() + "/ipcsim", "-n", "1", "--base-ip", ip, "--cmd-port", "6001", "--fw-version",
                      "1.0.0", "--board-type", "32", "--discovery-address", "127.0.0.1", "--discovery-port", "0"});
}

using ProcessTest = SimFixture;

TEST_F(ProcessTest, KilledMidTransferReportsOnceAndLogsInAfterRestart) {
    rt_set_time_speed(1);  // a real process runs in real time
    std::string ip = "127." + std::to_string(100 + getpid() % 100) + "." + std::to_string(getpid() / 100 % 250) + ".200";
    IpcsimChild sim;
    ASSERT_TRUE(start_one_camera(sim, ip));
    std::string fw = firmware("1.0.1", 128 * 1024 * 1024, 32);
    int32_t h = -1;
    ASSERT_EQ(Network_ClientLogin(&h, ip.c_str(), 6001, "Admin", "tovik"), NETWORK_OK);
    EventLog events;
    Network_ClientSetEventCB(h, EventLog::callback, &events);
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, fw.c_str()), NETWORK_OK);
    sim.stop(SIGKILL);
    int32_t progress = 0;
    EXPECT_NE(run_transfer(transfer, progress), NETWORK_OK);
    EXPECT_LT(progress, 100);
    EXPECT_TRUE(wait_for([&] { return events.disconnects.load() == 1; }));
    EXPECT_EQ(Network_ClientStopUpgrade(transfer), NETWORK_OK);
    EXPECT_EQ(Network_ClientLogout(h), NETWORK_OK);
    EXPECT_EQ(events.disconnects.load(), 1);

    ASSERT_TRUE(start_one_camera(sim, ip));
    ASSERT_EQ(Network_ClientLogin(&h, ip.c_str(), 6001, "Admin", "tovik"), NETWORK_OK);
    IPC_DEVICE_INFO info{};
    EXPECT_EQ(Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_DEVICE_INFO, 0, &info, sizeof(info)), NETWORK_OK);
    EXPECT_STREQ(info.software_version, "1.0.0");
    Network_ClientLogout(h);
}

}  // namespace
