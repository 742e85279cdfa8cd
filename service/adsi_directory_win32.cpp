#include "adsi_directory_win32.h"

#include <activeds.h>

#include <type_traits>
#include <utility>

#include "failure_win32.h"
#include "system_library_win32.h"
#include "win32_raii.h"

namespace tarnwick {

using Microsoft::WRL::ComPtr;

namespace {

// Invoke's arguments, last to first as Invoke expects them, cleared on destruction.
class InvokeArguments {
public:
    explicit InvokeArguments(const std::vector<DirectoryValue>& values) : items_(values.size()) {
        for (VARIANT& item : items_) VariantInit(&item);
        for (std::size_t i = 0; i < values.size(); ++i) Assign(items_[values.size() - 1 - i], values[i]);
    }
    InvokeArguments(const InvokeArguments&) = delete;
    InvokeArguments& operator=(const InvokeArguments&) = delete;
    ~InvokeArguments() {
        for (VARIANT& item : items_) VariantClear(&item);
    }

    VARIANT* Data() { return items_.empty() ? nullptr : items_.data(); }
    UINT Count() const { return static_cast<UINT>(items_.size()); }

private:
    static void Assign(VARIANT& target, const DirectoryValue& value) {
        if (const auto* number = std::get_if<std::int32_t>(&value)) {
            target.vt = VT_I4;
            target.lVal = *number;
            return;
        }
        const std::wstring& text = std::get<std::wstring>(value);
        UniqueBstr owned(text.data(), static_cast<UINT>(text.size()));
        if (!owned) throw FailureFromHresult(E_OUTOFMEMORY);
        target.vt = VT_BSTR;
        target.bstrVal = owned.Release();
    }

    std::vector<VARIANT> items_;
};

// The EXCEPINFO of one Invoke; owns the texts the callee allocated in it.
class ExceptionInfo {
public:
    ExceptionInfo() : info_{} {}
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    ~ExceptionInfo() {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }

    EXCEPINFO* Put() { return &info_; }

    // The member's own failure: DISP_E_EXCEPTION only says that there is one.
    Failure ToFailure() {
        if (info_.pfnDeferredFillIn) {
            // When the fill-in fails the fields keep what the callee already set.
            (void)info_.pfnDeferredFillIn(&info_);
            info_.pfnDeferredFillIn = nullptr;
        }
        const HRESULT code = ExceptionCode(info_.scode, info_.wCode);
        if (SysStringLen(info_.bstrDescription) != 0)
            return Failure(static_cast<std::int32_t>(code),
                           std::wstring(info_.bstrDescription, SysStringLen(info_.bstrDescription)));
        return FailureFromHresult(code);
    }

private:
    EXCEPINFO info_;
};

DISPID LookUpMemberId(IDispatch& object, const std::wstring& member) {
    std::wstring name = member;  // GetIDsOfNames takes a writable name
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) throw FailureFromHresult(hr);
    return id;
}

void Invoke(IDispatch& object, DISPID id, WORD flags, const std::vector<DirectoryValue>& arguments,
            VARIANT* result) {
    InvokeArguments invokeArguments(arguments);
    DISPID propertyPut = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{};
    parameters.rgvarg = invokeArguments.Data();
    parameters.cArgs = invokeArguments.Count();
    if (flags == DISPATCH_PROPERTYPUT) {
        // A property write passes its value as the one named argument.
        parameters.rgdispidNamedArgs = &propertyPut;
        parameters.cNamedArgs = 1;
    }
    ExceptionInfo exception;
    UINT argumentError = 0;
    const HRESULT hr = object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result,
                                     exception.Put(), &argumentError);
    if (hr == DISP_E_EXCEPTION) throw exception.ToFailure();
    if (FAILED(hr)) throw FailureFromHresult(hr);
}

DirectoryValue ToDirectoryValue(const VARIANT& value) {
    switch (value.vt) {
    case VT_BSTR:
        return std::wstring(value.bstrVal ? value.bstrVal : L"", SysStringLen(value.bstrVal));
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT: {
        UniqueVariant number;
        // The source is only read; older SDK headers declare it non-const.
        const HRESULT hr = VariantChangeType(number.Put(), const_cast<VARIANT*>(&value), 0, VT_I4);
        if (FAILED(hr)) throw FailureFromHresult(hr);
        return static_cast<std::int32_t>(number->lVal);
    }
    default:
        throw FailureFromHresult(DISP_E_TYPEMISMATCH);
    }
}

}  // namespace

DispatchObject::DispatchObject(ComPtr<IDispatch> object) : object_(std::move(object)) {}

DISPID DispatchObject::MemberId(const std::wstring& member) {
    for (const auto& [name, id] : memberIds_)
        if (name == member) return id;
    const DISPID id = LookUpMemberId(*object_.Get(), member);
    memberIds_.emplace_back(member, id);
    return id;
}

DirectoryValue DispatchObject::Get(const std::wstring& property) {
    UniqueVariant result;
    Invoke(*object_.Get(), MemberId(property), DISPATCH_PROPERTYGET, {}, result.Put());
    return ToDirectoryValue(*result);
}

void DispatchObject::Put(const std::wstring& property, const DirectoryValue& value) {
    Invoke(*object_.Get(), MemberId(property), DISPATCH_PROPERTYPUT, {value}, nullptr);
}

void DispatchObject::Call(const std::wstring& method) {
    Invoke(*object_.Get(), MemberId(method), DISPATCH_METHOD, {}, nullptr);
}

std::unique_ptr<DirectoryObject> DispatchObject::CallForObject(
    const std::wstring& method, const std::vector<DirectoryValue>& arguments) {
    UniqueVariant result;
    Invoke(*object_.Get(), MemberId(method), DISPATCH_METHOD, arguments, result.Put());
    ComPtr<IDispatch> found;
    if (result->vt == VT_DISPATCH && result->pdispVal) {
        found = result->pdispVal;
    } else if (result->vt == VT_UNKNOWN && result->punkVal) {
        const HRESULT hr = result->punkVal->QueryInterface(IID_PPV_ARGS(found.GetAddressOf()));
        if (FAILED(hr)) throw FailureFromHresult(hr);
    } else {
        throw FailureFromHresult(DISP_E_TYPEMISMATCH);
    }
    return std::make_unique<DispatchObject>(std::move(found));
}

std::unique_ptr<DirectoryObject> AdsiDirectory::Bind(const std::wstring& path) {
    static_assert(std::is_same_v<GetObjectFn, decltype(&ADsGetObject)>);
    if (!getObject_) {
        // activeds.dll is not one of the system's known DLLs: imported, it
        // would be taken from the program's own folder first.
        UniqueHmodule module = LoadFromSystemFolder(L"activeds.dll");
        if (!module) throw FailureFromLastError();
        const auto found = FindFunction<GetObjectFn>(module.Get(), "ADsGetObject");
        if (!found) throw FailureFromLastError();
        getObject_ = found;
        activeDs_ = std::move(module);
    }
    ComPtr<IDispatch> object;
    const HRESULT hr = getObject_(path.c_str(), IID_PPV_ARGS(object.GetAddressOf()));
    if (FAILED(hr)) throw FailureFromHresult(hr);
    return std::make_unique<DispatchObject>(std::move(object));
}

}  // namespace tarnwick
