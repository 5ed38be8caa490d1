// The library against a real ipcsim process that is killed in the middle of
// a firmware transfer and started again.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "runtime/lang.h"
#include "tests/client/sim_fixture.h"

extern char** environ;

namespace {

class IpcsimProcess {
public:
    explicit IpcsimProcess(const std::string& ip) : m_ip(ip) {}
    ~IpcsimProcess() { kill_now(SIGTERM); }

    // Starts ipcsim with one camera at the address and waits for its ready line.
    bool start() {
        std::vector<std::string> args = {exe_dir() + "/ipcsim", "-n", "1", "--base-ip", m_ip, "--cmd-port", "6001",
                                         "--fw-version", "1.0.0", "--board-type", "32", "--discovery-address",
                                         "127.0.0.1", "--discovery-port", "0"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        char line[16] = {};
        bool ready = rc == 0 && read(out[0], line, sizeof line - 1) > 0 && std::string(line).rfind("ready", 0) == 0;
        close(out[0]);
        return ready;
    }

    void kill_now(int sig = SIGKILL) {
        if (m_pid <= 0) return;
        kill(m_pid, sig);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    std::string m_ip;
    pid_t m_pid = -1;
};

using ProcessTest = SimFixture;

TEST_F(ProcessTest, KilledMidTransferReportsOnceAndLogsInAfterRestart) {
    rt_set_time_speed(1);  // a real process runs in real time
    std::string ip = "127." + std::to_string(100 + getpid() % 100) + "." + std::to_string(getpid() / 100 % 250) + ".200";
    IpcsimProcess sim(ip);
    ASSERT_TRUE(sim.start());
    std::string fw = firmware("1.0.1", 128 * 1024 * 1024, 32);
    int32_t h = -1;
    ASSERT_EQ(Network_ClientLogin(&h, ip.c_str(), 6001, "Admin", "tovik"), NETWORK_OK);
    EventLog events;
    Network_ClientSetEventCB(h, EventLog::callback, &events);
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, fw.c_str()), NETWORK_OK);
    sim.kill_now();
    int32_t progress = 0;
    EXPECT_NE(run_transfer(transfer, progress), NETWORK_OK);
    EXPECT_LT(progress, 100);
    EXPECT_TRUE(wait_for([&] { return events.disconnects.load() == 1; }));
    EXPECT_EQ(Network_ClientStopUpgrade(transfer), NETWORK_OK);
    EXPECT_EQ(Network_ClientLogout(h), NETWORK_OK);
    EXPECT_EQ(events.disconnects.load(), 1);

    ASSERT_TRUE(sim.start());
    ASSERT_EQ(Network_ClientLogin(&h, ip.c_str(), 6001, "Admin", "tovik"), NETWORK_OK);
    IPC_DEVICE_INFO info{};
    EXPECT_EQ(Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_DEVICE_INFO, 0, &info, sizeof(info)), NETWORK_OK);
    EXPECT_STREQ(info.software_version, "1.0.0");
    Network_ClientLogout(h);
}

}  // namespace
