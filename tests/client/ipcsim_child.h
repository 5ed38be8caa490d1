#pragma once

// The simulated cameras as a child ipcsim process, for tests that kill the
// cameras and benches that must not count their CPU time. Stopped (SIGTERM,
// then reaped) when destroyed.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

class IpcsimChild {
public:
    IpcsimChild() = default;
    IpcsimChild(const IpcsimChild&) = delete;
    IpcsimChild& operator=(const IpcsimChild&) = delete;
    ~IpcsimChild() { stop(); }

    // Starts `args` (args[0] is the ipcsim program) and waits for its ready
    // line; false when it could not start or ended before being ready.
    bool start(const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (rc != 0) m_pid = -1;
        const bool ready = rc == 0 && read_ready_line(out[0]);
        close(out[0]);
        return ready;
    }

    pid_t pid() const { return m_pid; }

    // Sends `signal` (SIGKILL: the cameras die mid-call) and reaps the child.
    void stop(int signal = SIGTERM) {
        if (m_pid <= 0) return;
        kill(m_pid, signal);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    // Reads until "ready" or the end of the child's output (it died).
    static bool read_ready_line(int fd) {
        std::string seen;
        char chunk[64];
        ssize_t n;
        while ((n = read(fd, chunk, sizeof chunk)) > 0) {
            seen.append(chunk, static_cast<std::size_t>(n));
            if (seen.find("ready") != std::string::npos) return true;
        }
        return false;
    }

    pid_t m_pid = -1;
};
