#include "platform/threads.h"

#include <process.h>
#include <windows.h>

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

Worker::Worker() : impl_(new Impl) {}

Worker::~Worker()
{
    join();
}

bool Worker::start(std::function<void()> work)
{
    join();
    impl_->work = std::move(work);
    impl_->thread = (HANDLE)_beginthreadex(NULL, 0, runWork, impl_.get(), 0, NULL);
    return impl_->thread != NULL;
}

void Worker::join()
{
    if (impl_->thread != NULL) {
        WaitForSingleObject(impl_->thread, INFINITE);
        CloseHandle(impl_->thread);
        impl_->thread = NULL;
    }
}
