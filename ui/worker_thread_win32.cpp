#include "worker_thread_win32.h"

#include <windows.h>
#include <process.h>

#include <exception>

#include "failure_win32.h"
#include "message_pump_win32.h"
#include "win32_raii.h"

namespace tarnwick {

namespace {

struct WorkerStart {
    FunctionRef<void()>& work;
    std::exception_ptr failure;
};

unsigned __stdcall WorkerMain(void* argument) {
    WorkerStart& start = *static_cast<WorkerStart*>(argument);
    // Should COM refuse, the first bind fails and reports it; the directory
    // objects made here are all released before it is torn down, since each
    // handler drops its binding when it returns.
    const ScopedComInit com(COINIT_APARTMENTTHREADED);
    try {
        start.work();
    } catch (...) {
        start.failure = std::current_exception();  // thrown again on the windows' thread
    }
    return 0;
}

}  // namespace

void RunOnWorkerThread(FunctionRef<void()> work, FunctionRef<bool()> allMessages) {
    WorkerStart start{work, nullptr};
    // _beginthreadex rather than CreateThread: the thread uses the C runtime.
    const UniqueHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &WorkerMain, &start, 0, nullptr)));
    if (!thread) throw FailureFromLastError();
    WaitHandingOnMessages(thread.Get(), allMessages);
    if (start.failure) std::rethrow_exception(start.failure);
}

}  // namespace tarnwick
