#include "dispatch_object.h"

#include "bench_settings.h"
#include "failure_win32.h"

namespace tarnwick::bench {

namespace {

const Member* FindById(MemberHandler& handler, DISPID id) {
    for (const Member& member : handler.Members())
        if (member.id == id) return &member;
    return nullptr;
}

const Member* FindByName(MemberHandler& handler, const wchar_t* name) {
    for (const Member& member : handler.Members())
        if (CompareStringOrdinal(member.name, -1, name, -1, TRUE) == CSTR_EQUAL) return &member;
    return nullptr;
}

// The one kind a call resolves to, as a type library picks among a member's
// get, put and method entries; 0 when the member has none the flags allow.
WORD ResolveKind(const Member& member, WORD flags) {
    for (const WORD kind : {WORD{DISPATCH_PROPERTYPUT}, WORD{DISPATCH_METHOD},
                            WORD{DISPATCH_PROPERTYGET}})
        if ((flags & kind) && (member.kinds & kind)) return kind;
    return 0;
}

const char* KindName(WORD flags) {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return "put";
    if (flags & DISPATCH_METHOD) return "method";
    return "get";
}

// The arguments as the caller wrote them: positional ones come reversed in
// rgvarg, after the named ones.
std::string DescribeArguments(const DISPPARAMS& params) {
    std::string text;
    const auto append = [&](const VARIANT& arg) {
        if (!text.empty()) text += ",";
        text += DescribeVariant(arg);
    };
    for (UINT i = params.cArgs; i > params.cNamedArgs; --i) append(params.rgvarg[i - 1]);
    for (UINT i = 0; i < params.cNamedArgs && i < params.cArgs; ++i) append(params.rgvarg[i]);
    return text;
}

void FillException(EXCEPINFO* exception, HRESULT code) {
    if (!exception) return;
    *exception = EXCEPINFO{};
    exception->scode = code;
    const std::wstring description = SystemMessage(code);
    if (!description.empty()) exception->bstrDescription = SysAllocString(description.c_str());
}

}  // namespace

HRESULT LookUpNames(MemberHandler& handler, REFIID riid, LPOLESTR* names, UINT count,
                    DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids || count == 0) return E_INVALIDARG;
    HRESULT result = S_OK;
    const Member* member = FindByName(handler, names[0]);
    ids[0] = member ? member->id : DISPID_UNKNOWN;
    if (!member) {
        result = DISP_E_UNKNOWNNAME;
        Journal(handler.JournalObject(), names[0] ? names[0] : L"", "names", "", result);
    }
    // No member has named parameters.
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        result = DISP_E_UNKNOWNNAME;
    }
    return result;
}

HRESULT InvokeMember(MemberHandler& handler, DISPID id, REFIID riid, WORD flags,
                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argError) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!params || (params->cArgs && !params->rgvarg) ||
        (params->cNamedArgs && !params->rgdispidNamedArgs) || params->cNamedArgs > params->cArgs)
        return E_INVALIDARG;

    const std::string args = DescribeArguments(*params);
    const Member* member = FindById(handler, id);
    const std::wstring memberName = member ? member->name : L"#" + std::to_wstring(id);
    const WORD kind = member ? ResolveKind(*member, flags) : 0;
    const auto refuse = [&](HRESULT code) {
        Journal(handler.JournalObject(), memberName, KindName(flags), args, code);
        return code;
    };
    if (!kind) return refuse(DISP_E_MEMBERNOTFOUND);

    // A property write names its value DISPID_PROPERTYPUT; nothing else takes names.
    if (kind == DISPATCH_PROPERTYPUT) {
        if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return refuse(DISP_E_PARAMNOTFOUND);
    } else if (params->cNamedArgs != 0) {
        return refuse(DISP_E_NONAMEDARGS);
    }

    std::vector<VARTYPE> types;
    if (kind == DISPATCH_PROPERTYPUT) types.push_back(member->putType);
    if (kind == DISPATCH_METHOD) types = member->params;
    if (params->cArgs != types.size()) return refuse(DISP_E_BADPARAMCOUNT);

    // Coerce like a type library: by value, to the declared type ("4" -> 4).
    std::vector<UniqueVariant> coerced(types.size());
    for (size_t i = 0; i < types.size(); ++i) {
        const UINT index = kind == DISPATCH_PROPERTYPUT ? 0 : params->cArgs - 1 - static_cast<UINT>(i);
        VARIANT* target = coerced[i].Get();
        if (FAILED(VariantCopyInd(target, &params->rgvarg[index])) ||
            FAILED(VariantChangeType(target, target, 0, types[i]))) {
            if (argError) *argError = index;
            return refuse(DISP_E_TYPEMISMATCH);
        }
    }

    UniqueVariant value;
    const HRESULT code = handler.CallMember(*member, kind, coerced, value.Get());
    Journal(handler.JournalObject(), memberName, KindName(kind), args, code,
            SUCCEEDED(code) && kind == DISPATCH_PROPERTYGET ? DescribeVariant(*value) : "");
    if (FAILED(code)) {
        FillException(exception, code);
        return DISP_E_EXCEPTION;
    }
    if (result) {
        // Hand the value over without copying: the caller owns it now.
        *result = *value;
        V_VT(value.Get()) = VT_EMPTY;
    }
    return S_OK;
}

}  // namespace tarnwick::bench
