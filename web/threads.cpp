#include "web/threads.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <pthread.h>
#endif

#ifdef _WIN32
struct Lock::Impl {
    CRITICAL_SECTION section;
};

Lock::Lock() : impl_(new Impl)
{
    InitializeCriticalSection(&impl_->section);
}

Lock::~Lock()
{
    DeleteCriticalSection(&impl_->section);
}

void Lock::lock()
{
    EnterCriticalSection(&impl_->section);
}

void Lock::unlock()
{
    LeaveCriticalSection(&impl_->section);
}

struct Worker::Impl {
    HANDLE thread = NULL;
    std::function<void()> work;
};

static unsigned __stdcall runWork(void* impl)
{
    static_cast<Worker::Impl*>(impl)->work();
    return 0;
}
#else
struct Lock::Impl {
    pthread_mutex_t mutex;
};

Lock::Lock() : impl_(new Impl)
{
    pthread_mutex_init(&impl_->mutex, NULL);
}

Lock::~Lock()
{
    pthread_mutex_destroy(&impl_->mutex);
}

void Lock::lock()
{
    pthread_mutex_lock(&impl_->mutex);
}

void Lock::unlock()
{
    pthread_mutex_unlock(&impl_->mutex);
}

struct Worker::Impl {
    bool running = false;
    pthread_t thread;
    std::function<void()> work;
};

static void* runWork(void* impl)
{
    static_cast<Worker::Impl*>(impl)->work();
    return NULL;
}
#endif

Worker::Worker() : impl_(new Impl) {}

Worker::~Worker()
{
    join();
}

bool Worker::start(std::function<void()> work)
{
    join();
    impl_->work = std::move(work);
#ifdef _WIN32
    impl_->thread = (HANDLE)_beginthreadex(NULL, 0, runWork, impl_.get(), 0, NULL);
    return impl_->thread != NULL;
#else
    impl_->running = pthread_create(&impl_->thread, NULL, runWork, impl_.get()) == 0;
    return impl_->running;
#endif
}

void Worker::join()
{
#ifdef _WIN32
    if (impl_->thread != NULL) {
        WaitForSingleObject(impl_->thread, INFINITE);
        CloseHandle(impl_->thread);
        impl_->thread = NULL;
    }
#else
    if (impl_->running) {
        pthread_join(impl_->thread, NULL);
        impl_->running = false;
    }
#endif
}
