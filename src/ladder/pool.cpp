#include "pool.h"

#include <algorithm>
#include <utility>

namespace ladder {

ThreadPool::ThreadPool(unsigned workers)
{
    workers_.reserve(workers);
    for (unsigned i = 0; i < workers; ++i)
        workers_.emplace_back([this](std::stop_token stop) { work(stop); });
}

ThreadPool::~ThreadPool()
{
    for (auto &w : workers_)
        w.request_stop();
    changed_.notify_all();
    workers_.clear();  // joins
}

unsigned ThreadPool::defaultWorkers()
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return cores - 1;
}

void ThreadPool::push(Task task, bool urgent)
{
    {
        std::lock_guard lock(mutex_);
        ++task.group->pending_;
        if (urgent)
            queue_.push_front(std::move(task));
        else
            queue_.push_back(std::move(task));
    }
    changed_.notify_all();
}

void ThreadPool::finish(TaskGroup *group, std::exception_ptr error)
{
    {
        std::lock_guard lock(mutex_);
        if (error && !group->error_)
            group->error_ = error;
        --group->pending_;
    }
    changed_.notify_all();
}

static std::exception_ptr runTask(const std::function<void()> &fn)
{
    try {
        fn();
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

void ThreadPool::work(std::stop_token stop)
{
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            if (!changed_.wait(lock, stop, [this] { return !queue_.empty(); }))
                return;
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        finish(task.group, runTask(task.fn));
    }
}

TaskGroup::~TaskGroup()
{
    // A group must not outlive its tasks, even when the owner is unwinding.
    try {
        wait();
    } catch (...) {
    }
}

void TaskGroup::run(std::function<void()> fn)
{
    pool_.push({std::move(fn), this}, urgent_);
}

void TaskGroup::wait()
{
    std::unique_lock lock(pool_.mutex_);
    while (pending_ > 0) {
        auto it = std::find_if(pool_.queue_.begin(), pool_.queue_.end(),
                               [this](const ThreadPool::Task &t) { return t.group == this; });
        if (it == pool_.queue_.end()) {
            pool_.changed_.wait(lock);
            continue;
        }
        ThreadPool::Task task = std::move(*it);
        pool_.queue_.erase(it);
        lock.unlock();
        pool_.finish(this, runTask(task.fn));
        lock.lock();
    }
    if (error_) {
        std::exception_ptr e = std::exchange(error_, nullptr);
        std::rethrow_exception(e);
    }
}

void parallelFor(ThreadPool &pool, int count, const std::function<void(int)> &body)
{
    TaskGroup group(pool);
    for (int i = 0; i < count; ++i)
        group.run([&body, i] { body(i); });
    group.wait();
}

}  // namespace ladder
