#include "winnt_objects.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench_settings.h"
#include "dispatch_object.h"
#include "provider_config.h"
#include "service_handle.h"

namespace tarnwick::bench {

namespace {

// Bad network path: what the real provider answers for a computer it cannot reach.
constexpr HRESULT kBadPath = HRESULT_FROM_WIN32(ERROR_BAD_NETPATH);
// E_ADS_UNKNOWN_OBJECT: a class the container does not hold.
constexpr HRESULT kUnknownClass = static_cast<HRESULT>(0x80005004L);

HRESULT LastError() { return HRESULT_FROM_WIN32(GetLastError()); }

bool EqualNoCase(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// One connection to the service manager for the whole process, opened on
// first use: under Wine each connection costs several milliseconds, which
// would otherwise be added to every call the program under test makes and
// distort what the bench measures.
HRESULT Manager(SC_HANDLE& manager) {
    static const UniqueServiceHandle shared(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    manager = shared.Get();
    return manager ? S_OK : HRESULT_FROM_WIN32(ERROR_SERVICE_NOT_ACTIVE);
}

HRESULT OpenNamedService(const std::wstring& name, DWORD access, UniqueServiceHandle& service) {
    SC_HANDLE manager = nullptr;
    if (const HRESULT hr = Manager(manager); FAILED(hr)) return hr;
    service.Reset(OpenServiceW(manager, name.c_str(), access));
    return service ? S_OK : LastError();
}

// The services `name` depends on, as the manager's database holds them
// (services by name, groups prefixed with SC_GROUP_IDENTIFIER), as a list of
// null-terminated names ending in an empty one. Read from the registry because
// Wine's QueryServiceConfig leaves the dependencies out.
std::wstring DependenciesOf(const std::wstring& name) {
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
    std::wstring list;
    for (const auto& [value, prefix] : {std::pair{L"DependOnService", L""},
                                        std::pair{L"DependOnGroup", L"+"}}) {
        DWORD size = 0;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_MULTI_SZ, nullptr,
                         nullptr, &size) != ERROR_SUCCESS)
            continue;
        std::vector<wchar_t> names(size / sizeof(wchar_t) + 2, L'\0');
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_MULTI_SZ, nullptr,
                         names.data(), &size) != ERROR_SUCCESS)
            continue;
        for (const wchar_t* entry = names.data(); *entry; entry += wcslen(entry) + 1)
            list += prefix + std::wstring(entry) + L'\0';
    }
    return list + L'\0';
}

// Windows' service control manager refuses to stop a service while services
// that depend on it are not stopped; Wine's stops it anyway, and Wine's
// EnumDependentServices reports none, so look through the active services.
HRESULT RefuseWhileDependentsActive(const std::wstring& name) {
    SC_HANDLE manager = nullptr;
    if (const HRESULT hr = Manager(manager); FAILED(hr)) return hr;
    std::vector<BYTE> buffer;
    DWORD needed = 0;
    DWORD count = 0;
    for (;;) {
        DWORD resume = 0;
        if (EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32,
                                  SERVICE_ACTIVE, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  &needed, &count, &resume, nullptr))
            break;
        if (GetLastError() != ERROR_MORE_DATA) return LastError();
        buffer.resize(buffer.size() + needed);
    }
    const auto* active = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const std::wstring dependencies = DependenciesOf(active[i].lpServiceName);
        for (const wchar_t* entry = dependencies.c_str(); *entry; entry += wcslen(entry) + 1)
            if (EqualNoCase(entry, name.c_str()))
                return HRESULT_FROM_WIN32(ERROR_DEPENDENT_SERVICES_RUNNING);
    }
    return S_OK;
}

enum ServiceMember : DISPID { kStatus = 1, kStartType, kSetInfo, kStart, kStop };

class ServiceObject final : public DispatchObject<IDispatch> {
public:
    explicit ServiceObject(std::wstring name) : DispatchObject(IID_IDispatch), name_(std::move(name)) {}

private:
    std::wstring JournalObject() const override { return name_; }

    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {
            {L"Status", kStatus, DISPATCH_PROPERTYGET, {}},
            {L"StartType", kStartType, DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT, {}, VT_I4},
            {L"SetInfo", kSetInfo, DISPATCH_METHOD, {}},
            {L"Start", kStart, DISPATCH_METHOD, {}},
            {L"Stop", kStop, DISPATCH_METHOD, {}},
        };
        return members;
    }

    HRESULT CallMember(const Member& member, WORD kind, std::vector<UniqueVariant>& args,
                       VARIANT* result) override {
        switch (member.id) {
            case kStatus: return Status(result);
            case kStartType:
                if (kind == DISPATCH_PROPERTYPUT) {
                    staged_ = V_I4(args[0].Get());
                    return S_OK;
                }
                return StartType(result);
            case kSetInfo: return SetInfo();
            case kStart: return Start();
            case kStop: return Stop();
            default: return DISP_E_MEMBERNOTFOUND;
        }
    }

    HRESULT Status(VARIANT* result) {
        if (const HRESULT fault = TakeStatusFault(name_); FAILED(fault)) return fault;
        UniqueServiceHandle service;
        if (const HRESULT hr = OpenNamedService(name_, SERVICE_QUERY_STATUS, service); FAILED(hr))
            return hr;
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service.Get(), &status)) return LastError();
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(status.dwCurrentState);
        return S_OK;
    }

    // The staged value until SetInfo writes it, as the real property cache does.
    HRESULT StartType(VARIANT* result) {
        if (!staged_) {
            UniqueServiceHandle service;
            if (const HRESULT hr = OpenNamedService(name_, SERVICE_QUERY_CONFIG, service); FAILED(hr))
                return hr;
            DWORD size = 0;
            QueryServiceConfigW(service.Get(), nullptr, 0, &size);
            std::vector<BYTE> config(size);
            auto* info = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data());
            if (size == 0 || !QueryServiceConfigW(service.Get(), info, size, &size))
                return LastError();
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(info->dwStartType);
            return S_OK;
        }
        V_VT(result) = VT_I4;
        V_I4(result) = *staged_;
        return S_OK;
    }

    HRESULT SetInfo() {
        if (const HRESULT fault = InjectedFault(name_, kFailSetInfoValue); FAILED(fault)) return fault;
        if (!staged_) return S_OK;
        UniqueServiceHandle service;
        if (const HRESULT hr = OpenNamedService(name_, SERVICE_CHANGE_CONFIG, service); FAILED(hr))
            return hr;
        // Wine's manager drops the dependencies of a change that does not name
        // them (Windows keeps them): name the current ones.
        const std::wstring dependencies = DependenciesOf(name_);
        if (!ChangeServiceConfigW(service.Get(), SERVICE_NO_CHANGE, static_cast<DWORD>(*staged_),
                                  SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                                  dependencies.c_str(), nullptr, nullptr, nullptr))
            return LastError();
        staged_.reset();
        return S_OK;
    }

    HRESULT Start() {
        if (const HRESULT fault = InjectedFault(name_, kFailStartValue); FAILED(fault)) return fault;
        UniqueServiceHandle service;
        if (const HRESULT hr = OpenNamedService(name_, SERVICE_START, service); FAILED(hr)) return hr;
        return StartServiceW(service.Get(), 0, nullptr) ? S_OK : LastError();
    }

    HRESULT Stop() {
        if (const HRESULT fault = InjectedFault(name_, kFailStopValue); FAILED(fault)) return fault;
        UniqueServiceHandle service;
        if (const HRESULT hr = OpenNamedService(name_, SERVICE_STOP, service); FAILED(hr)) return hr;
        if (const HRESULT hr = RefuseWhileDependentsActive(name_); FAILED(hr)) return hr;
        SERVICE_STATUS status{};
        return ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) ? S_OK : LastError();
    }

    std::wstring name_;
    std::optional<LONG> staged_;
};

enum ComputerMember : DISPID { kGetObject = 1 };

class ComputerObject final : public DispatchObject<IDispatch> {
public:
    ComputerObject() : DispatchObject(IID_IDispatch) {}

private:
    std::wstring JournalObject() const override { return L"computer"; }

    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {
            {L"GetObject", kGetObject, DISPATCH_METHOD, {VT_BSTR, VT_BSTR}},
        };
        return members;
    }

    HRESULT CallMember(const Member&, WORD, std::vector<UniqueVariant>& args,
                       VARIANT* result) override {
        const wchar_t* className = V_BSTR(args[0].Get()) ? V_BSTR(args[0].Get()) : L"";
        const std::wstring name = V_BSTR(args[1].Get()) ? V_BSTR(args[1].Get()) : L"";
        if (!EqualNoCase(className, L"Service")) return kUnknownClass;
        if (const HRESULT fault = InjectedFault(name, kFailLookupValue); FAILED(fault)) return fault;
        UniqueServiceHandle service;
        if (const HRESULT hr = OpenNamedService(name, SERVICE_QUERY_STATUS, service); FAILED(hr))
            return hr;
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = new ServiceObject(name);
        return S_OK;
    }
};

// The object the directory service creates for "WinNT:" paths. It binds the
// local computer only: Wine's service control manager accepts any computer
// name, so the name is checked here.
class NamespaceObject final : public DispatchObject<IADsOpenDSObject> {
public:
    NamespaceObject() : DispatchObject(IID_IADsOpenDSObject) {}

    STDMETHODIMP OpenDSObject(BSTR path, BSTR user, BSTR password, LONG flags,
                              IDispatch** object) override {
        const HRESULT hr = Bind(path, object);
        Journal(L"bind", L"OpenDSObject", "method",
                DescribeBstr(path) + "," + DescribeBstr(user) + "," + DescribeBstr(password) +
                    ",VT_I4:" + std::to_string(flags),
                hr);
        return hr;
    }

private:
    std::wstring JournalObject() const override { return L"bind"; }
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> none;
        return none;
    }
    HRESULT CallMember(const Member&, WORD, std::vector<UniqueVariant>&, VARIANT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    static HRESULT Bind(const wchar_t* path, IDispatch** object) {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (const HRESULT fault = InjectedFault({}, kFailBindValue); FAILED(fault)) return fault;

        // "WinNT://" name ",computer", the prefix and the class in any case.
        const std::wstring text = path ? path : L"";
        constexpr std::wstring_view prefix = L"WinNT://";
        constexpr std::wstring_view suffix = L",computer";
        if (text.size() <= prefix.size() + suffix.size() ||
            !EqualNoCase(text.substr(0, prefix.size()).c_str(), std::wstring(prefix).c_str()) ||
            !EqualNoCase(text.substr(text.size() - suffix.size()).c_str(),
                         std::wstring(suffix).c_str()))
            return kBadPath;
        const std::wstring name =
            text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());

        wchar_t local[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        if (!GetComputerNameW(local, &size)) return LastError();
        if (!EqualNoCase(name.c_str(), local)) return kBadPath;

        *object = new ComputerObject();
        return S_OK;
    }
};

}  // namespace

IADsOpenDSObject* CreateNamespace() { return new NamespaceObject(); }

}  // namespace tarnwick::bench
