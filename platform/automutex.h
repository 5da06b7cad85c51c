// Scoped lock over a platform mutex. Does not own the mutex.
#pragma once

#include <mutex>

typedef std::recursive_mutex* MutexHandle;

class AutoMutex {
public:
    explicit AutoMutex(MutexHandle handle) : m_handle(handle) {
        if (m_handle) m_handle->lock();
    }
    AutoMutex(const AutoMutex&) = delete;
    AutoMutex& operator=(const AutoMutex&) = delete;
    virtual ~AutoMutex() {
        if (m_handle) m_handle->unlock();
    }

private:
    MutexHandle m_handle;
};
