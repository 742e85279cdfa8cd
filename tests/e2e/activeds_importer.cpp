// Imports ADsGetObject the ordinary way, as a program that trusts the loader's
// search order does, and binds once. The hardening test runs it beside a
// planted activeds.dll to show that the planting is live under the bench.

#include <windows.h>
#include <ole2.h>
#include <activeds.h>

int main() {
    IDispatch* object = nullptr;
    const HRESULT hr = ADsGetObject(L"WinNT://.", IID_IDispatch, reinterpret_cast<void**>(&object));
    if (object) object->Release();
    return SUCCEEDED(hr) ? 0 : 1;
}
