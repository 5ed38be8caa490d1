#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>
#include <thread>
#include <atomic>

#include "runtime/result_codes.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "runtime/type_name.h"

// Calls obj->ThreadFunc(param) over and over on a thread of its own, pausing
// `interval` ms between calls (in slices of 200 ms, so Stop never waits much
// longer than that for a pausing thread), until Stop is called or ThreadFunc
// returns non-zero. In the latter case the thread ends by itself but the
// wrapper stays "running": Start answers 6 until the owner calls Stop.
template <class T>
class CThread {
public:
    static constexpr std::int32_t kSliceMs = 200;

    CThread() = default;
    ~CThread() {
        if (m_running.load()) Stop();
        m_param = 0;
        m_interval = 0;
    }
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    int Start(T* object, std::uint32_t param, std::int32_t interval) {
        if (object == nullptr) {
            TRACE_POS(name("Start").c_str());
            return RC_INVALID_ARG;
        }
        if (m_running.load()) {
            TRACE_POS(name("Start").c_str());
            return RC_ALREADY_STARTED;
        }
        m_object = object;
        m_param = param;
        m_interval = interval;
        m_running.store(1);
        try {
            m_thread = std::thread(&CThread::entry, this);
        } catch (const std::system_error& e) {
            TRACE_MSG(name("Start").c_str(), "_beginthreadex failed %d\n", e.code().value());
            m_running.store(0);
            return RC_FAIL;
        }
        return RC_OK;
    }

    int Stop() {
        if (!m_running.load()) {
            TRACE_POS(name("Stop").c_str());
            return RC_NOT_STARTED;
        }
        // Joining our own thread would never return.
        if (m_worker_id.load() == std::this_thread::get_id()) {
            TRACE_POS(name("Stop").c_str());
            return RC_FAIL;
        }
        m_running.store(0);
        if (m_thread.joinable()) m_thread.join();
        m_worker_id.store(std::thread::id());
        return RC_OK;
    }

    bool IsRunning() const { return m_running.load() != 0; }

private:
    static std::string name(const char* member) {
        return "CThread<class " + type_name<T>() + ">::" + member;
    }

    void pause() {
        std::int32_t remaining = m_interval;
        while (m_running.load()) {
            if (remaining <= kSliceMs) {
                rt_sleep_ms(remaining);
                return;
            }
            rt_sleep_ms(kSliceMs);
            remaining -= kSliceMs;
        }
    }

    void entry() {
        m_worker_id.store(std::this_thread::get_id());
        if (m_object == nullptr) {
            TRACE_POS(name("ThreadFunc").c_str());
            return;
        }
        while (m_running.load()) {
            if (m_object->ThreadFunc(m_param) != 0) break;
            if (m_interval > 0) pause();
        }
        TRACE_MSG(name("ThreadFunc").c_str(), "quit thread object\n");
    }

    T* m_object = nullptr;
    std::thread m_thread;
    std::atomic<std::thread::id> m_worker_id{};
    std::uint32_t m_param = 0;
    std::atomic<std::uint8_t> m_running{0};
    std::int32_t m_interval = 0;
};
