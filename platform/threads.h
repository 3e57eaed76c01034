// A lock and a worker thread on the system's own calls: MinGW's default thread model
// (win32) has no std::thread or std::mutex.
#pragma once

#include <functional>
#include <memory>

class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void lock();
    void unlock();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Holds a lock for its scope.
class Hold {
public:
    explicit Hold(Lock& lock) : lock_(lock)
    {
        lock_.lock();
    }
    ~Hold()
    {
        lock_.unlock();
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    Lock& lock_;
};

// One thread at a time, started and joined.
class Worker {
public:
    Worker();
    ~Worker();   // joins
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    // Runs work on a new thread; false when none could be made. Joins the one before first.
    bool start(std::function<void()> work);
    void join();

    struct Impl;   // the system's thread and the work

private:
    std::unique_ptr<Impl> impl_;
};
