#pragma once

// Late-bound dispatch by member name, shaped like what a type library gives a
// real directory provider's objects: GetIDsOfNames by name (any case), Invoke
// that coerces the arguments to the member's parameter types, and a failing
// member reported as DISP_E_EXCEPTION with its HRESULT in EXCEPINFO.scode.
// Every Invoke, and every lookup of an unknown name, goes to the journal.

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <string>
#include <vector>

#include "module_lock.h"
#include "win32_raii.h"

namespace tarnwick::bench {

struct Member {
    const wchar_t* name;
    DISPID id;
    WORD kinds;                     // DISPATCH_METHOD | DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT
    std::vector<VARTYPE> params;    // method parameters, in call order
    VARTYPE putType = VT_EMPTY;     // the value type of a property write
};

// What an object offers to the dispatch layer.
class MemberHandler {
public:
    virtual std::wstring JournalObject() const = 0;
    virtual const std::vector<Member>& Members() const = 0;
    // `kind` is the one DISPATCH_* flag the call resolved to; `args` are already
    // coerced to the declared types, in call order. A failure is the member's.
    virtual HRESULT CallMember(const Member& member, WORD kind, std::vector<UniqueVariant>& args,
                               VARIANT* result) = 0;

protected:
    ~MemberHandler() = default;
};

HRESULT LookUpNames(MemberHandler& handler, REFIID riid, LPOLESTR* names, UINT count,
                    DISPID* ids);
HRESULT InvokeMember(MemberHandler& handler, DISPID id, REFIID riid, WORD flags,
                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argError);

// A reference-counted object exposing `Interface` (IDispatch or an interface
// derived from it) and IDispatch through the member table of the subclass.
template <typename Interface>
class DispatchObject : public Interface, protected MemberHandler {
public:
    explicit DispatchObject(const IID& iid) : iid_(iid) { LockModule(); }
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;
    virtual ~DispatchObject() { UnlockModule(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, iid_)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_INVALIDARG;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                               DISPID* ids) override {
        return LookUpNames(*this, riid, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
        return InvokeMember(*this, id, riid, flags, params, result, exception, argError);
    }

private:
    IID iid_;
    std::atomic<ULONG> references_{1};
};

}  // namespace tarnwick::bench
