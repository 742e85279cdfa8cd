#pragma once

#include <windows.h>
#include <objidl.h>
#include <wrl/client.h>

namespace tarnwick {

// While it lives, a call this thread makes to another process's COM object
// (the desktop's shell) that the callee rejects because it is busy
// (RPC_E_CALL_REJECTED, "retry later") is made again, for up to
// kBusyShellBoundMs, instead of failing at once. The thread's previous filter
// is put back at the end. In a thread whose apartment cannot have a filter,
// calls go unfiltered, as before.
class ScopedRetryingMessageFilter {
public:
    ScopedRetryingMessageFilter();
    ScopedRetryingMessageFilter(const ScopedRetryingMessageFilter&) = delete;
    ScopedRetryingMessageFilter& operator=(const ScopedRetryingMessageFilter&) = delete;
    ~ScopedRetryingMessageFilter();

private:
    Microsoft::WRL::ComPtr<IMessageFilter> previous_;
    bool registered_ = false;
};

}  // namespace tarnwick
