// Frames whose bytes come straight from a file.

#include "client/socket_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "runtime/rt_time.h"

namespace {

using namespace kaltro;

class SendFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_pair), 0);
        m_path = testing::TempDir() + "send_file_" + std::to_string(getpid());
        for (std::size_t i = 0; i < m_bytes.size(); ++i) m_bytes[i] = static_cast<char>(i * 31 + 7);
        FILE* out = std::fopen(m_path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fwrite(m_bytes.data(), 1, m_bytes.size(), out);
        std::fclose(out);
        m_file = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    void TearDown() override {
        close(m_file);
        close(m_pair[0]);
        close(m_pair[1]);
        std::remove(m_path.c_str());
    }
    // Sends the head and `length` bytes from `offset`; what the other end got.
    FileSend send(std::uint64_t offset, std::size_t length, std::string& received) {
        std::thread reader([&] {
            char buffer[65536];
            ssize_t n;
            while ((n = read(m_pair[1], buffer, sizeof buffer)) > 0)
                received.append(buffer, static_cast<std::size_t>(n));
        });
        FileSend sent = send_file_all(m_pair[0], "HEAD", 4, m_file, offset, length, rt_clock_ms() + 10000);
        shutdown(m_pair[0], SHUT_WR);
        reader.join();
        return sent;
    }
    std::string expected(std::uint64_t offset, std::size_t length) const {
        return "HEAD" + std::string(m_bytes.data() + offset, length);
    }

    int m_pair[2] = {-1, -1};
    int m_file = -1;
    std::string m_path;
    std::vector<char> m_bytes = std::vector<char>(150000);
};

TEST_F(SendFileTest, TheHeadThenTheFilesBytesFromTheOffset) {
    std::string received;
    EXPECT_EQ(send(512, 100000, received), FileSend::sent);
    EXPECT_EQ(received, expected(512, 100000));
}

// O_APPEND on the socket is one way sendfile refuses (EINVAL): the bytes
// then go through a buffer, the same bytes.
TEST_F(SendFileTest, ASocketSendfileRefusesGetsTheBytesThroughABuffer) {
    fcntl(m_pair[0], F_SETFL, fcntl(m_pair[0], F_GETFL) | O_APPEND);
    std::string received;
    EXPECT_EQ(send(512, 100000, received), FileSend::sent);
    EXPECT_EQ(received, expected(512, 100000));
}

TEST_F(SendFileTest, AFileThatEndsBeforeTheBytesIsBad) {
    std::string received;
    EXPECT_EQ(send(100000, 60000, received), FileSend::file_bad);
    EXPECT_EQ(received, expected(100000, 50000));  // what there was went out
}

}  // namespace
