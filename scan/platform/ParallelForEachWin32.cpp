// The pool on Windows: one work object of the system thread pool, submitted once per helper.
#include <windows.h>

#include <algorithm>

#include "scan/platform/ParallelForEach.h"
#include "scan/platform/TaskClaims.h"

namespace kestrin {

namespace {

VOID CALLBACK RunClaims(PTP_CALLBACK_INSTANCE, PVOID context, PTP_WORK) {
    static_cast<TaskClaims*>(context)->RunUntilDone();
}

// Owns one thread-pool work object; closing waits for running callbacks and cancels the rest.
class PoolWork {
public:
    explicit PoolWork(TaskClaims& claims)
        : work_(CreateThreadpoolWork(&RunClaims, &claims, nullptr)) {}
    PoolWork(const PoolWork&) = delete;
    PoolWork& operator=(const PoolWork&) = delete;
    ~PoolWork() {
        if (work_ != nullptr) {
            WaitForThreadpoolWorkCallbacks(work_, TRUE);
            CloseThreadpoolWork(work_);
        }
    }
    bool IsValid() const { return work_ != nullptr; }
    void Submit() { SubmitThreadpoolWork(work_); }

private:
    PTP_WORK work_;
};

}  // namespace

void ParallelForEach(std::size_t count, unsigned hardwareThreads,
                     const std::function<void(std::size_t)>& task) {
    if (hardwareThreads <= 1 || count < 2) {
        RunInOrder(count, task);
        return;
    }
    TaskClaims claims(count, task);
    {
        PoolWork work(claims);
        if (work.IsValid()) {
            const std::size_t helpers = std::min<std::size_t>(hardwareThreads, count) - 1;
            for (std::size_t i = 0; i < helpers; ++i) {
                work.Submit();
            }
        }
        // Without a work object this thread runs every task itself.
        claims.RunUntilDone();
    }
    claims.RethrowFirstError();
}

}  // namespace kestrin
