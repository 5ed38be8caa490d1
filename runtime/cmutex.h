#pragma once

#include <pthread.h>

#include <atomic>

// A recursive mutex with explicit life: Create before use, Close when done.
// Misuse (create twice, use or close before create) is answered with 1 and a
// position line, and leaves the state as it was. The owner may take it again
// and must release it as many times. The lock lives inside the object, so an
// owner that forgets Close leaks nothing.
class CMutex {
public:
    CMutex() = default;
    ~CMutex();
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    int Create();
    int Close();
    int Wait();
    int Release();

private:
    std::atomic<int> m_created{0};
    pthread_mutex_t* m_handle = nullptr;
    pthread_mutex_t m_storage;
};

// Holds a CMutex for one block. A null pointer holds nothing.
class CAutoMutex {
public:
    explicit CAutoMutex(CMutex* mutex);
    ~CAutoMutex();
    CAutoMutex(const CAutoMutex&) = delete;
    CAutoMutex& operator=(const CAutoMutex&) = delete;

private:
    CMutex* m_mutex = nullptr;
};
