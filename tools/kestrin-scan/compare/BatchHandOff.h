#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace kestrin {

// Hands batches made on one thread to `use` on a thread of its own, a few at a time: the maker
// waits while `kInFlight` are unused, and gets used batches back to fill again, so that their
// memory is reused rather than taken fresh. Once the maker closes the hand-off, `last` runs on
// that thread too. Where no thread can be started, each batch is used as it is handed over, and
// `last` when the hand-off is closed.
template <typename Batch>
class BatchHandOff {
public:
    BatchHandOff(std::function<void(Batch&)> use, std::function<void()> last)
        : use_(std::move(use)), last_(std::move(last)) {
        try {
            user_ = std::thread([this] { UseAll(); });
        } catch (const std::system_error&) {
            inline_ = true;
        }
    }
    BatchHandOff(const BatchHandOff&) = delete;
    BatchHandOff& operator=(const BatchHandOff&) = delete;
    // Unclosed, the batches not used yet are dropped and `last` does not run: the maker gave up.
    ~BatchHandOff() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            abandoned_ = !closed_;
            closed_ = true;
        }
        changed_.notify_all();
        if (user_.joinable()) {
            user_.join();
        }
    }

    // Hands `batch` over and leaves in it a used one, emptied by `clear`, or an empty one.
    void Hand(Batch& batch, const std::function<void(Batch&)>& clear) {
        if (inline_) {
            Use(batch);
            clear(batch);
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return waiting_.size() < kInFlight; });
        waiting_.push_back(std::move(batch));
        batch = Batch();
        if (!used_.empty()) {
            batch = std::move(used_.back());
            used_.pop_back();
        }
        changed_.notify_all();
        lock.unlock();
        clear(batch);
    }

    // No batch follows: `last` runs once the ones handed over are used.
    void Close() {
        if (inline_) {
            if (!closed_) {
                closed_ = true;
                Last();
            }
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
    }

    // Returns once `last` has run, after Close; what `use` or `last` threw is thrown here. Waiting
    // again returns at once.
    void Wait() {
        if (user_.joinable()) {
            user_.join();
        }
        if (failure_) {
            std::rethrow_exception(std::exchange(failure_, nullptr));
        }
    }

private:
    static constexpr std::size_t kInFlight = 4;

    // After a failure the rest is only taken, so that the maker never waits for good.
    void Use(Batch& batch) {
        if (failure_) {
            return;
        }
        try {
            use_(batch);
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    void Last() {
        if (failure_ || !last_) {
            return;
        }
        try {
            last_();
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    void UseAll() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            changed_.wait(lock, [&] { return !waiting_.empty() || closed_; });
            if (abandoned_) {
                return;
            }
            if (waiting_.empty()) {
                break;
            }
            Batch batch = std::move(waiting_.front());
            waiting_.pop_front();
            changed_.notify_all();
            lock.unlock();
            Use(batch);
            lock.lock();
            used_.push_back(std::move(batch));
        }
        lock.unlock();
        Last();
    }

    std::function<void(Batch&)> use_;
    std::function<void()> last_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> waiting_;
    std::vector<Batch> used_;
    bool closed_ = false;
    bool abandoned_ = false;
    bool inline_ = false;
    std::exception_ptr failure_;  // written by the using thread only until it is joined
    std::thread user_;
};

}  // namespace kestrin
