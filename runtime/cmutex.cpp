#include "runtime/cmutex.h"

#include "runtime/trace.h"

CMutex::~CMutex() {
    // Like the platform object it stands for, the lock is not closed here;
    // its storage is part of this object, so nothing is left behind.
    m_created = 0;
    m_handle = nullptr;
}

int CMutex::Create() {
    if (m_created) {
        TRACE_POS("CMutex::Create");
        return 1;
    }
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    int err = pthread_mutex_init(&m_storage, &attr);
    pthread_mutexattr_destroy(&attr);
    if (err != 0) {
        TRACE_MSG("CMutex::Create", "CreateMutex failed %d\n", err);
        return 1;
    }
    m_handle = &m_storage;
    m_created = 1;
    return 0;
}

int CMutex::Close() {
    if (!m_created) {
        TRACE_POS("CMutex::Close");
        return 1;
    }
    if (m_handle) pthread_mutex_destroy(m_handle);
    m_handle = nullptr;
    m_created = 0;
    return 0;
}

int CMutex::Wait() {
    if (!m_created) {
        TRACE_POS("CMutex::Wait");
        return 1;
    }
    return pthread_mutex_lock(m_handle) == 0 ? 0 : 1;
}

int CMutex::Release() {
    if (!m_created) {
        TRACE_POS("CMutex::Release");
        return 1;
    }
    // A recursive mutex reports EPERM when the caller does not own it.
    if (pthread_mutex_unlock(m_handle) != 0) {
        TRACE_POS("CMutex::Release");
        return 1;
    }
    return 0;
}

CAutoMutex::CAutoMutex(CMutex* mutex) : m_mutex(mutex) {
    if (m_mutex == nullptr) {
        TRACE_POS("CAutoMutex::CAutoMutex");
        return;
    }
    m_mutex->Wait();
}

CAutoMutex::~CAutoMutex() {
    if (m_mutex) {
        m_mutex->Release();
        m_mutex = nullptr;
    }
}
