#include "message_filter_win32.h"

#include "links.h"

namespace tarnwick {

namespace {

// Answers the calls COM makes while this thread waits for another process.
// One thread (the apartment's) calls it, so the count needs no lock.
class RetryingMessageFilter final : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object) return E_POINTER;
        if (id != IID_IUnknown && id != IID_IMessageFilter) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IMessageFilter*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // Calls into this program are handled as they come.
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    // -1 cancels the call; 100 or more waits that many milliseconds, then retries.
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD rejectType) override {
        const auto after = RetryRejectedCallAfter(rejectType == SERVERCALL_RETRYLATER, elapsedMs);
        return after ? *after : static_cast<DWORD>(-1);
    }
    // Messages that arrive meanwhile wait, except those the system must see.
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

private:
    ULONG references_ = 1;
};

}  // namespace

ScopedRetryingMessageFilter::ScopedRetryingMessageFilter() {
    Microsoft::WRL::ComPtr<IMessageFilter> filter;
    filter.Attach(new RetryingMessageFilter());
    // Refused outside a single-threaded apartment: deliberately, the calls
    // then go unfiltered and a busy shell's refusal fails them at once.
    registered_ = SUCCEEDED(CoRegisterMessageFilter(filter.Get(), previous_.GetAddressOf()));
}

ScopedRetryingMessageFilter::~ScopedRetryingMessageFilter() {
    if (registered_) CoRegisterMessageFilter(previous_.Get(), nullptr);
}

}  // namespace tarnwick
