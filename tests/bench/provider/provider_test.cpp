// The stand-in WinNT provider, driven the way the program drives the real one:
// ADsGetObject for the computer, then members by name through IDispatch.

#include <windows.h>
#include <ole2.h>

#include <activeds.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "provider_config.h"
#include "services.h"
#include "win32_raii.h"

namespace tarnwick::bench {
namespace {

using Microsoft::WRL::ComPtr;

constexpr HRESULT kBadNetPath = static_cast<HRESULT>(0x80070035L);
constexpr HRESULT kNoSuchService = static_cast<HRESULT>(0x80070424L);
constexpr HRESULT kServiceDisabled = static_cast<HRESULT>(0x80070422L);
constexpr HRESULT kAlreadyRunning = static_cast<HRESULT>(0x80070420L);
constexpr HRESULT kNotStarted = static_cast<HRESULT>(0x80070426L);
constexpr HRESULT kDependentsRunning = static_cast<HRESULT>(0x8007041BL);
constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005L);

std::wstring LocalName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    EXPECT_TRUE(GetComputerNameW(name, &size));
    return name;
}

std::wstring ComputerPath(const std::wstring& name) { return L"WinNT://" + name + L",computer"; }

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The arguments of one call, in call order; cleared when the call is done.
class Args {
public:
    Args() = default;
    Args(const Args&) = delete;
    Args& operator=(const Args&) = delete;
    ~Args() {
        for (size_t i = 0; i < values.size(); ++i)
            if (std::find(borrowed.begin(), borrowed.end(), i) == borrowed.end())
                VariantClear(&values[i]);
    }
    Args& Text(const wchar_t* text) {
        VARIANT& value = Add(VT_BSTR);
        V_BSTR(&value) = SysAllocString(text);
        return *this;
    }
    Args& Int(LONG number) {
        V_I4(&Add(VT_I4)) = number;
        return *this;
    }
    Args& Short(SHORT number) {
        V_I2(&Add(VT_I2)) = number;
        return *this;
    }
    // A VARIANT the caller keeps owning (a by-reference one).
    Args& Borrowed(const VARIANT& value) {
        borrowed.push_back(values.size());
        values.push_back(value);
        return *this;
    }

    std::vector<VARIANT> values;

private:
    VARIANT& Add(VARTYPE type) {
        VARIANT value;
        VariantInit(&value);
        V_VT(&value) = type;
        values.push_back(value);
        return values.back();
    }
    std::vector<size_t> borrowed;
};

// What one late-bound call gave back.
struct Reply {
    HRESULT hr = E_UNEXPECTED;  // Invoke's (or GetIDsOfNames') own result
    HRESULT scode = S_OK;       // the member's code when hr is DISP_E_EXCEPTION
    std::wstring description;
    VARTYPE type = VT_EMPTY;
    LONG number = -1;           // a VT_I4 result
    ComPtr<IDispatch> object;   // a VT_DISPATCH result
};

// Calls `member` as a late-bound caller does: arguments reversed in rgvarg, a
// property write naming its value DISPID_PROPERTYPUT.
Reply Call(IDispatch* object, const wchar_t* member, WORD flags, const Args& args = Args()) {
    Reply reply;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    reply.hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(reply.hr)) return reply;
    std::vector<VARIANT> reversed(args.values.rbegin(), args.values.rend());
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    EXCEPINFO exception{};
    UINT argError = 0;
    UniqueVariant result;
    reply.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Put(),
                              &exception, &argError);
    reply.type = V_VT(&*result);
    if (reply.type == VT_I4) reply.number = V_I4(&*result);
    if (reply.type == VT_DISPATCH) reply.object = V_DISPATCH(&*result);
    if (reply.hr == DISP_E_EXCEPTION) {
        reply.scode = exception.scode;
        if (exception.bstrDescription) reply.description = exception.bstrDescription;
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return reply;
}

Reply Method(IDispatch* object, const wchar_t* member, const Args& args = Args()) {
    return Call(object, member, DISPATCH_METHOD, args);
}
Reply Get(IDispatch* object, const wchar_t* member) {
    return Call(object, member, DISPATCH_PROPERTYGET);
}
Reply Put(IDispatch* object, const wchar_t* member, const Args& value) {
    return Call(object, member, DISPATCH_PROPERTYPUT, value);
}

// A member failure as a type-library dispatch reports it.
testing::AssertionResult Raised(const Reply& reply, HRESULT code) {
    if (reply.hr == DISP_E_EXCEPTION && reply.scode == code) return testing::AssertionSuccess();
    char text[96];
    snprintf(text, sizeof text, "Invoke gave 0x%08lX with member code 0x%08lX, not 0x%08lX",
             static_cast<unsigned long>(reply.hr), static_cast<unsigned long>(reply.scode),
             static_cast<unsigned long>(code));
    return testing::AssertionFailure() << text;
}

class ProviderTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        ResetServices(Before());
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        journal_ = std::wstring(temp) + L"tarnwick_provider_journal.log";
        SetJournal(journal_);
    }

    virtual BenchSetup Before() { return {}; }

    ComPtr<IDispatch> BindLocal() {
        ComPtr<IDispatch> computer;
        const HRESULT hr = ADsGetObject(ComputerPath(LocalName()).c_str(), IID_IDispatch,
                                        reinterpret_cast<void**>(computer.GetAddressOf()));
        EXPECT_EQ(hr, S_OK);
        return computer;
    }

    ComPtr<IDispatch> Service(const wchar_t* name) {
        const ComPtr<IDispatch> computer = BindLocal();
        if (!computer) return nullptr;
        const Reply reply = Method(computer.Get(), L"GetObject", Args().Text(L"Service").Text(name));
        EXPECT_EQ(reply.hr, S_OK) << Narrow(name) << " lookup, member code " << std::hex << reply.scode;
        return reply.object;
    }

    LONG Status(IDispatch* service) {
        const Reply reply = Get(service, L"Status");
        EXPECT_EQ(reply.hr, S_OK);
        return reply.number;
    }

    // Polls the provider's Status until it reads `state`.
    bool StatusBecomes(IDispatch* service, LONG state) {
        const ULONGLONG end = GetTickCount64() + kServiceTimeoutMs;
        while (GetTickCount64() < end) {
            if (Get(service, L"Status").number == state) return true;
            Sleep(20);
        }
        return false;
    }

    ScopedComInit com_{COINIT_APARTMENTTHREADED};
    std::wstring journal_;
};

HRESULT BindPath(const std::wstring& path) {
    ComPtr<IDispatch> object;
    return ADsGetObject(path.c_str(), IID_IDispatch, reinterpret_cast<void**>(object.GetAddressOf()));
}

TEST_F(ProviderTest, BindsTheLocalComputerByNameAndNothingElse) {
    const std::wstring name = LocalName();
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(BindPath(ComputerPath(name)), S_OK);
    std::wstring lower = name;
    CharLowerW(lower.data());
    EXPECT_EQ(BindPath(L"WinNT://" + lower + L",Computer"), S_OK);

    EXPECT_EQ(BindPath(ComputerPath(L"NOT" + name)), kBadNetPath);
    EXPECT_EQ(BindPath(ComputerPath(L"")), kBadNetPath);
    EXPECT_EQ(BindPath(L"WinNT://" + name), kBadNetPath);
    EXPECT_EQ(BindPath(L"WinNT://" + name + L",user"), kBadNetPath);
    EXPECT_EQ(BindPath(L"WinNT:" + name + L",computer"), kBadNetPath);

    // The computer answers IUnknown and IDispatch, as a late-bound caller needs.
    const ComPtr<IDispatch> computer = BindLocal();
    ASSERT_TRUE(computer);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(computer.As(&unknown), S_OK);
    ComPtr<IUnknown> typed;
    EXPECT_EQ(computer->QueryInterface(IID_IADs, reinterpret_cast<void**>(typed.GetAddressOf())),
              E_NOINTERFACE);
}

TEST_F(ProviderTest, LooksUpServicesByClassAndName) {
    const ComPtr<IDispatch> computer = BindLocal();
    ASSERT_TRUE(computer);
    for (const wchar_t* name : kServiceNames) {
        const Reply reply = Method(computer.Get(), L"GetObject", Args().Text(L"Service").Text(name));
        EXPECT_EQ(reply.hr, S_OK) << Narrow(name);
        EXPECT_EQ(reply.type, VT_DISPATCH) << Narrow(name);
        EXPECT_TRUE(reply.object) << Narrow(name);
    }

    const Reply notThere =
        Method(computer.Get(), L"GetObject", Args().Text(L"Service").Text(L"NOSUCHSVC"));
    EXPECT_TRUE(Raised(notThere, kNoSuchService));
    EXPECT_FALSE(notThere.description.empty());
    EXPECT_FALSE(notThere.object);

    EXPECT_EQ(Method(computer.Get(), L"GetObject", Args().Text(L"User").Text(L"IISADMIN")).hr,
              DISP_E_EXCEPTION);

    // Callers that pass their strings by reference, directly or in a VARIANT.
    BSTR className = SysAllocString(L"service");
    BSTR serviceName = SysAllocString(L"W3SVC");
    VARIANT inner;
    V_VT(&inner) = VT_BSTR;
    V_BSTR(&inner) = serviceName;
    VARIANT byRefClass;
    V_VT(&byRefClass) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&byRefClass) = &className;
    VARIANT byRefVariant;
    V_VT(&byRefVariant) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&byRefVariant) = &inner;
    const Reply byRef = Method(computer.Get(), L"GetObject",
                               Args().Borrowed(byRefClass).Borrowed(byRefVariant));
    EXPECT_EQ(byRef.hr, S_OK);
    EXPECT_TRUE(byRef.object);
    const std::vector<JournalEntry> entries = ReadJournal(journal_);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().args,
              "VT_BYREF|VT_BSTR:\"service\",VT_BYREF|VT_VARIANT:VT_BSTR:\"W3SVC\"");
    SysFreeString(className);
    SysFreeString(serviceName);
}

TEST_F(ProviderTest, RefusesWhatATypeLibraryWouldRefuse) {
    const ComPtr<IDispatch> computer = BindLocal();
    ASSERT_TRUE(computer);
    const ComPtr<IDispatch> w3svc = Service(L"W3SVC");
    ASSERT_TRUE(w3svc);

    EXPECT_EQ(Get(w3svc.Get(), L"Statu").hr, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(Get(computer.Get(), L"Status").hr, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(Get(w3svc.Get(), L"status").hr, S_OK);  // names in any case

    EXPECT_EQ(Method(computer.Get(), L"GetObject", Args().Text(L"Service")).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Put(w3svc.Get(), L"Status", Args().Int(4)).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Get(w3svc.Get(), L"Start").hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Put(w3svc.Get(), L"StartType", Args().Text(L"four")).hr, DISP_E_TYPEMISMATCH);

    // A property write whose value is not named DISPID_PROPERTYPUT.
    VARIANT four;
    V_VT(&four) = VT_I4;
    V_I4(&four) = 4;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(L"StartType");
    ASSERT_EQ(w3svc->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    DISPPARAMS unnamed{&four, nullptr, 1, 0};
    EXPECT_EQ(w3svc->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &unnamed,
                            nullptr, nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);

    // A late-bound VB caller reads properties and calls methods with both flags.
    EXPECT_EQ(Call(w3svc.Get(), L"Status", DISPATCH_METHOD | DISPATCH_PROPERTYGET).number,
              SERVICE_STOPPED);
}

TEST_F(ProviderTest, StatusFollowsTheServiceControlManager) {
    const ComPtr<IDispatch> iisAdmin = Service(L"IISADMIN");
    ASSERT_TRUE(iisAdmin);
    EXPECT_EQ(Status(iisAdmin.Get()), SERVICE_STOPPED);

    SetStartType(L"IISADMIN", SERVICE_DEMAND_START);
    StartAndWait(L"IISADMIN");
    EXPECT_EQ(Status(iisAdmin.Get()), SERVICE_RUNNING);
    PauseAndWait(L"IISADMIN");
    EXPECT_EQ(Status(iisAdmin.Get()), SERVICE_PAUSED);

    // A slow start shows as pending until the service reports running.
    SetBehaviour(L"W3SVC", ServiceBehaviour{5000});
    const ComPtr<IDispatch> w3svc = Service(L"W3SVC");
    ASSERT_TRUE(w3svc);
    ASSERT_EQ(Method(w3svc.Get(), L"Start").hr, S_OK);
    EXPECT_EQ(Status(w3svc.Get()), SERVICE_START_PENDING);
    EXPECT_TRUE(WaitForState(L"W3SVC", SERVICE_RUNNING));
    EXPECT_EQ(Status(w3svc.Get()), SERVICE_RUNNING);
}

TEST_F(ProviderTest, StartTypeIsStagedUntilSetInfoWritesIt) {
    const ComPtr<IDispatch> w3svc = Service(L"W3SVC");
    ASSERT_TRUE(w3svc);
    EXPECT_EQ(Get(w3svc.Get(), L"StartType").number, SERVICE_DEMAND_START);

    ASSERT_EQ(Put(w3svc.Get(), L"StartType", Args().Text(L"4")).hr, S_OK);
    EXPECT_EQ(QueryStartType(L"W3SVC"), kResetStartTypeOthers);
    EXPECT_EQ(Get(w3svc.Get(), L"StartType").number, SERVICE_DISABLED);
    ASSERT_EQ(Method(w3svc.Get(), L"SetInfo").hr, S_OK);
    EXPECT_EQ(QueryStartType(L"W3SVC"), SERVICE_DISABLED);
    // Writing the start type leaves the rest of the configuration alone.
    EXPECT_EQ(QueryConfig(L"W3SVC").dependencies, std::vector<std::wstring>{L"IISADMIN"});

    ASSERT_EQ(Put(w3svc.Get(), L"StartType", Args().Text(L"2")).hr, S_OK);
    ASSERT_EQ(Method(w3svc.Get(), L"SetInfo").hr, S_OK);
    EXPECT_EQ(QueryStartType(L"W3SVC"), SERVICE_AUTO_START);

    // Numbers are taken as well as texts.
    ASSERT_EQ(Put(w3svc.Get(), L"StartType", Args().Short(4)).hr, S_OK);
    ASSERT_EQ(Method(w3svc.Get(), L"SetInfo").hr, S_OK);
    EXPECT_EQ(QueryStartType(L"W3SVC"), SERVICE_DISABLED);
    ASSERT_EQ(Put(w3svc.Get(), L"StartType", Args().Int(3)).hr, S_OK);
    ASSERT_EQ(Method(w3svc.Get(), L"SetInfo").hr, S_OK);
    EXPECT_EQ(QueryStartType(L"W3SVC"), SERVICE_DEMAND_START);

    // The service's own start type stays as it was when nothing is staged.
    ASSERT_EQ(Method(w3svc.Get(), L"SetInfo").hr, S_OK);
    EXPECT_EQ(QueryStartType(L"W3SVC"), SERVICE_DEMAND_START);
}

TEST_F(ProviderTest, StartAndStopFailAsOnWindows) {
    const ComPtr<IDispatch> iisAdmin = Service(L"IISADMIN");
    const ComPtr<IDispatch> w3svc = Service(L"W3SVC");
    ASSERT_TRUE(iisAdmin && w3svc);

    const Reply disabled = Method(iisAdmin.Get(), L"Start");
    EXPECT_TRUE(Raised(disabled, kServiceDisabled));
    EXPECT_FALSE(disabled.description.empty());
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_STOPPED);
    EXPECT_TRUE(Raised(Method(iisAdmin.Get(), L"Stop"), kNotStarted));

    ASSERT_EQ(Put(iisAdmin.Get(), L"StartType", Args().Text(L"2")).hr, S_OK);
    ASSERT_EQ(Method(iisAdmin.Get(), L"SetInfo").hr, S_OK);
    ASSERT_EQ(Method(iisAdmin.Get(), L"Start").hr, S_OK);
    ASSERT_TRUE(StatusBecomes(iisAdmin.Get(), SERVICE_RUNNING));
    EXPECT_TRUE(Raised(Method(iisAdmin.Get(), L"Start"), kAlreadyRunning));

    // IISADMIN does not stop while a service that depends on it runs.
    ASSERT_EQ(Method(w3svc.Get(), L"Start").hr, S_OK);
    ASSERT_TRUE(StatusBecomes(w3svc.Get(), SERVICE_RUNNING));
    EXPECT_TRUE(Raised(Method(iisAdmin.Get(), L"Stop"), kDependentsRunning));
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);

    ASSERT_EQ(Method(w3svc.Get(), L"Stop").hr, S_OK);
    ASSERT_TRUE(StatusBecomes(w3svc.Get(), SERVICE_STOPPED));
    ASSERT_EQ(Method(iisAdmin.Get(), L"Stop").hr, S_OK);
    EXPECT_TRUE(StatusBecomes(iisAdmin.Get(), SERVICE_STOPPED));
}

class ProviderFaultTest : public ProviderTest {
protected:
    BenchSetup Before() override { return BenchSetup().Running(L"IISADMIN"); }
};

TEST_F(ProviderFaultTest, InjectedFaultsFailOnlyTheirCall) {
    InjectBindFault(kAccessDenied);
    EXPECT_EQ(BindPath(ComputerPath(LocalName())), kAccessDenied);
    InjectBindFault(S_OK);
    const ComPtr<IDispatch> computer = BindLocal();
    ASSERT_TRUE(computer);

    InjectFault(L"W3SVC", ServiceFault::Lookup, kAccessDenied);
    EXPECT_TRUE(Raised(Method(computer.Get(), L"GetObject", Args().Text(L"Service").Text(L"W3SVC")),
                       kAccessDenied));
    const ComPtr<IDispatch> iisAdmin = Service(L"IISADMIN");
    ASSERT_TRUE(iisAdmin);

    // Status fails the given number of times, then follows the service again.
    InjectStatusFaults(L"IISADMIN", 2, kAccessDenied);
    EXPECT_TRUE(Raised(Get(iisAdmin.Get(), L"Status"), kAccessDenied));
    EXPECT_EQ(PendingStatusFaults(L"IISADMIN"), 1u);
    EXPECT_TRUE(Raised(Get(iisAdmin.Get(), L"Status"), kAccessDenied));
    EXPECT_EQ(Status(iisAdmin.Get()), SERVICE_RUNNING);

    InjectFault(L"IISADMIN", ServiceFault::Stop, kAccessDenied);
    EXPECT_TRUE(Raised(Method(iisAdmin.Get(), L"Stop"), kAccessDenied));
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_RUNNING);

    InjectFault(L"IISADMIN", ServiceFault::SetInfo, kAccessDenied);
    ASSERT_EQ(Put(iisAdmin.Get(), L"StartType", Args().Text(L"4")).hr, S_OK);
    EXPECT_TRUE(Raised(Method(iisAdmin.Get(), L"SetInfo"), kAccessDenied));
    EXPECT_EQ(QueryStartType(L"IISADMIN"), SERVICE_AUTO_START);

    // A fault removed while the objects live no longer applies.
    InjectFault(L"IISADMIN", ServiceFault::Stop, S_OK);
    EXPECT_EQ(Method(iisAdmin.Get(), L"Stop").hr, S_OK);
    ASSERT_TRUE(WaitForState(L"IISADMIN", SERVICE_STOPPED));

    InjectFault(L"IISADMIN", ServiceFault::Start, kAccessDenied);
    EXPECT_TRUE(Raised(Method(iisAdmin.Get(), L"Start"), kAccessDenied));
    EXPECT_EQ(QueryState(L"IISADMIN"), SERVICE_STOPPED);
}

TEST_F(ProviderTest, JournalRecordsEveryCallAsItArrives) {
    const std::wstring name = LocalName();
    EXPECT_EQ(BindPath(ComputerPath(L"ELSEWHERE")), kBadNetPath);
    const ComPtr<IDispatch> computer = BindLocal();
    ASSERT_TRUE(computer);
    ASSERT_EQ(ReadJournal(journal_).size(), 3u);  // written per call, readable at once

    const ComPtr<IDispatch> iisAdmin =
        Method(computer.Get(), L"GetObject", Args().Text(L"Service").Text(L"IISADMIN")).object;
    ASSERT_TRUE(iisAdmin);
    Put(iisAdmin.Get(), L"StartType", Args().Text(L"2"));
    Method(iisAdmin.Get(), L"SetInfo");
    Method(iisAdmin.Get(), L"Start");
    ASSERT_TRUE(WaitForState(L"IISADMIN", SERVICE_RUNNING));
    Get(iisAdmin.Get(), L"Status");
    Method(iisAdmin.Get(), L"Start");
    Put(iisAdmin.Get(), L"StartType", Args().Int(4));
    Get(iisAdmin.Get(), L"Missing");

    const std::string path = "VT_BSTR:\"WinNT://" + Narrow(name) + ",computer\"";
    const std::vector<std::vector<std::string>> expected = {
        {"bind", "OpenDSObject", "method", "VT_BSTR:\"WinNT://ELSEWHERE,computer\",VT_BSTR:null,VT_BSTR:null,VT_I4:1", "0x80070035"},
        {"bind", "OpenDSObject", "method", "VT_BSTR:\"WinNT://ELSEWHERE,computer\",VT_BSTR:null,VT_BSTR:null,VT_I4:0", "0x80070035"},
        {"bind", "OpenDSObject", "method", path + ",VT_BSTR:null,VT_BSTR:null,VT_I4:1", "0x00000000"},
        {"computer", "GetObject", "method", "VT_BSTR:\"Service\",VT_BSTR:\"IISADMIN\"", "0x00000000"},
        {"IISADMIN", "StartType", "put", "VT_BSTR:\"2\"", "0x00000000"},
        {"IISADMIN", "SetInfo", "method", "", "0x00000000"},
        {"IISADMIN", "Start", "method", "", "0x00000000"},
        {"IISADMIN", "Status", "get", "", "0x00000000 VT_I4:4"},
        {"IISADMIN", "Start", "method", "", "0x80070420"},
        {"IISADMIN", "StartType", "put", "VT_I4:4", "0x00000000"},
        {"IISADMIN", "Missing", "names", "", "0x80020006"},
    };
    const std::vector<JournalEntry> entries = ReadJournal(journal_);
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("journal line " + std::to_string(i + 1));
        const JournalEntry& entry = entries[i];
        EXPECT_EQ(entry.object, expected[i][0]);
        EXPECT_EQ(entry.member, expected[i][1]);
        EXPECT_EQ(entry.kind, expected[i][2]);
        EXPECT_EQ(entry.args, expected[i][3]);
        EXPECT_EQ(entry.result, expected[i][4]);
        if (i > 0) {
            EXPECT_GE(entry.ms, entries[i - 1].ms);
        }
    }

    SetJournal(L"");
    Get(iisAdmin.Get(), L"Status");
    EXPECT_EQ(ReadJournal(journal_).size(), expected.size());
}

// Leaves the prefix's services stopped for whatever runs next.
class StopServicesAtEnd : public testing::Environment {
public:
    void TearDown() override { ResetServices(); }
};
const testing::Environment* const stopServices =
    testing::AddGlobalTestEnvironment(new StopServicesAtEnd);

}  // namespace
}  // namespace tarnwick::bench
