// A small thread pool with task groups whose waiters help.
//
// A picture's task waits for its rungs, and a rung waits for the bands of its
// score, all on the same pool. A waiting thread therefore runs its own group's
// queued tasks instead of sleeping, so nesting cannot starve the pool, and it
// runs only its own group's, so a waiter never starts a second picture and the
// number of pictures in memory stays at the number of threads.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ladder {

class TaskGroup;

class ThreadPool {
public:
    // `workers` threads of its own; the threads that wait on groups add to them.
    explicit ThreadPool(unsigned workers);
    ~ThreadPool();
    ThreadPool(const ThreadPool &) = delete;
    ThreadPool &operator=(const ThreadPool &) = delete;

    // Threads that can run tasks at once: the workers and one waiter.
    unsigned concurrency() const { return unsigned(workers_.size()) + 1; }

    // The number of workers that, with the calling thread, uses every core.
    static unsigned defaultWorkers();

private:
    friend class TaskGroup;
    struct Task {
        std::function<void()> fn;
        TaskGroup *group;
    };
    void push(Task task, bool urgent);
    void work(std::stop_token stop);
    void finish(TaskGroup *group, std::exception_ptr error);

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<Task> queue_;
    std::vector<std::jthread> workers_;
};

class TaskGroup {
public:
    // Urgent groups go to the front of the queue: work that someone already
    // waits for comes before starting something new.
    explicit TaskGroup(ThreadPool &pool, bool urgent = true) : pool_(pool), urgent_(urgent) {}
    ~TaskGroup();
    TaskGroup(const TaskGroup &) = delete;
    TaskGroup &operator=(const TaskGroup &) = delete;

    void run(std::function<void()> fn);
    // Runs this group's queued tasks, waits for the rest; rethrows the first
    // exception a task threw.
    void wait();

private:
    friend class ThreadPool;
    ThreadPool &pool_;
    bool urgent_;
    int pending_ = 0;  // guarded by the pool's mutex
    std::exception_ptr error_;
};

// Runs body(i) for i in [0, count) on the pool and waits.
void parallelFor(ThreadPool &pool, int count, const std::function<void(int)> &body);

}  // namespace ladder
