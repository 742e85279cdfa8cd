// The in-process server: one class, the WinNT namespace object that the
// directory service creates through the ProgID registered for "WinNT:".

#include <windows.h>
#include <objbase.h>

#include <atomic>

#include "module_lock.h"
#include "winnt_objects.h"

namespace tarnwick::bench {

namespace {

// {28447747-A1D6-4B94-9F54-05583A7954B6}, registered by register.sh.
constexpr CLSID kNamespaceClsid = {
    0x28447747, 0xa1d6, 0x4b94, {0x9f, 0x54, 0x05, 0x58, 0x3a, 0x79, 0x54, 0xb6}};

// COM asks the DLL, not an object, whether it may be unloaded: the count has
// to live at module level.
std::atomic<long> moduleLocks{0};

class NamespaceFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static; its references only keep the module loaded.
    STDMETHODIMP_(ULONG) AddRef() override {
        LockModule();
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override {
        UnlockModule();
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        IADsOpenDSObject* created = CreateNamespace();
        const HRESULT hr = created->QueryInterface(riid, object);
        created->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }
};

NamespaceFactory factory;

}  // namespace

void LockModule() { ++moduleLocks; }
void UnlockModule() { --moduleLocks; }

}  // namespace tarnwick::bench

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, tarnwick::bench::kNamespaceClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return tarnwick::bench::factory.QueryInterface(riid, object);
}

STDAPI DllCanUnloadNow() { return tarnwick::bench::moduleLocks == 0 ? S_OK : S_FALSE; }
