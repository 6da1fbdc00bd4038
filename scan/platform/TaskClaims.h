#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>

namespace kestrin {

// The tasks of one parallel for-each, claimed one at a time by whichever thread is free. Every
// claimed task runs once; an exception is kept (the first one) instead of escaping the thread.
class TaskClaims {
public:
    TaskClaims(std::size_t count, const std::function<void(std::size_t)>& task)
        : count_(count), task_(task) {}

    // Runs tasks until none is left.
    void RunUntilDone() noexcept {
        for (std::size_t i = next_.fetch_add(1); i < count_; i = next_.fetch_add(1)) {
            try {
                task_(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(errorLock_);
                if (!error_) {
                    error_ = std::current_exception();
                }
            }
        }
    }

    void RethrowFirstError() {
        if (error_) {
            std::rethrow_exception(error_);
        }
    }

private:
    std::size_t count_;
    const std::function<void(std::size_t)>& task_;
    std::atomic<std::size_t> next_{0};
    std::mutex errorLock_;
    std::exception_ptr error_;
};

// The order and the failure behaviour of the sequential path are those of the parallel one.
inline void RunInOrder(std::size_t count, const std::function<void(std::size_t)>& task) {
    TaskClaims claims(count, task);
    claims.RunUntilDone();
    claims.RethrowFirstError();
}

}  // namespace kestrin
