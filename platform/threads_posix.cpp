#include "platform/threads.h"

#include <pthread.h>

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

Worker::Worker() : impl_(new Impl) {}

Worker::~Worker()
{
    join();
}

bool Worker::start(std::function<void()> work)
{
    join();
    impl_->work = std::move(work);
    impl_->running = pthread_create(&impl_->thread, NULL, runWork, impl_.get()) == 0;
    return impl_->running;
}

void Worker::join()
{
    if (impl_->running) {
        pthread_join(impl_->thread, NULL);
        impl_->running = false;
    }
}
