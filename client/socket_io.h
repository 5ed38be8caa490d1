#pragma once

// Small POSIX socket helpers shared by the client library and the device
// simulator. Sockets are non-blocking; every wait is bounded and measured in
// the runtime's (possibly sped-up) time.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kaltro {

// Real milliseconds for a wait of `system_ms` at the current time speed (at least 1).
int real_wait_ms(std::int64_t system_ms);

// Connects to ip:port within `timeout_ms`; returns the socket or -1. This and
// the writes below also give up when the calling thread's abort check says so.
int connect_tcp(const std::string& ip, std::uint16_t port, std::int64_t timeout_ms);

// Listens on ip:port (backlog 64); returns the socket or -1.
int listen_tcp(const std::string& ip, std::uint16_t port);

void set_nonblocking(int fd);

// Writes all bytes before `deadline_ms` (rt_clock_ms time). False on error,
// closed peer or deadline.
bool send_all(int fd, const void* data, std::size_t length, std::int64_t deadline_ms);

// Writes `head` then `body` (one frame without copying them together), as send_all.
bool send_all2(int fd, const void* head, std::size_t head_length, const void* body, std::size_t body_length,
               std::int64_t deadline_ms);

// How a write of a file's bytes ended.
enum class FileSend { sent, failed, file_bad };

// Writes `head` then `length` bytes of the open file `file` from `offset`, as
// send_all. The file's bytes go from the page cache to the socket without
// passing through this process (sendfile), through a small buffer where the
// file system cannot do that. file_bad: the file ended before them (it
// shrank) or could not be read; part of them may have gone out.
FileSend send_file_all(int fd, const void* head, std::size_t head_length, int file, std::uint64_t offset,
                       std::size_t length, std::int64_t deadline_ms);

// Waits up to `system_ms` for `fd` to become readable. 1 readable, 0 timeout, -1 error.
int wait_readable(int fd, std::int64_t system_ms);

// Reads what is available: bytes read, 0 on orderly close, -1 on error, -2 when nothing is there.
long read_some(int fd, void* buffer, std::size_t length);

}  // namespace kaltro
