#pragma once

#include <cstddef>
#include <functional>

namespace kestrin {

// Runs task(i) exactly once for every i in [0, count) and returns when all have finished. With
// at most one hardware thread or fewer than two tasks they run in order on the calling thread;
// otherwise pool threads and the calling thread claim tasks from a shared counter. When the pool
// cannot be had, the tasks run on the calling thread. No exception leaves a task on a pool
// thread: the first one thrown is rethrown here once every task has ended.
void ParallelForEach(std::size_t count, unsigned hardwareThreads,
                     const std::function<void(std::size_t)>& task);

}  // namespace kestrin
