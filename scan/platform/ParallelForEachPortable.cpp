// The pool on platforms without a system thread pool: plain threads, started per call.
#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

#include "scan/platform/ParallelForEach.h"
#include "scan/platform/TaskClaims.h"

namespace kestrin {

void ParallelForEach(std::size_t count, unsigned hardwareThreads,
                     const std::function<void(std::size_t)>& task) {
    if (hardwareThreads <= 1 || count < 2) {
        RunInOrder(count, task);
        return;
    }
    TaskClaims claims(count, task);
    std::vector<std::thread> workers;
    const std::size_t helpers = std::min<std::size_t>(hardwareThreads, count) - 1;
    try {
        for (std::size_t i = 0; i < helpers; ++i) {
            workers.emplace_back([&claims] { claims.RunUntilDone(); });
        }
    } catch (const std::system_error&) {
        // Fewer threads than asked for: the ones that did start and this thread share the work.
    }
    claims.RunUntilDone();
    for (std::thread& worker : workers) {
        worker.join();
    }
    claims.RethrowFirstError();
}

}  // namespace kestrin
