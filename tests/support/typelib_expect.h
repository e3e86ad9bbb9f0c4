// What the type library holds, as a client such as LabVIEW reads it, and the
// checks that any loaded copy of it (the .tlb file, the module's resource in
// each language) must pass.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace kobtlb {

inline GUID Guid(const wchar_t* text) {
    GUID g{};
    EXPECT_EQ(CLSIDFromString(const_cast<LPOLESTR>(text), &g), S_OK) << text;
    return g;
}

inline std::wstring Str(BSTR b) {
    std::wstring s = b ? std::wstring(b, SysStringLen(b)) : std::wstring();
    SysFreeString(b);
    return s;
}

inline ITypeInfo* Info(ITypeLib* lib, const GUID& g) {
    ITypeInfo* p = nullptr;
    EXPECT_EQ(lib->GetTypeInfoOfGuid(g, &p), S_OK);
    return p;
}

inline ITypeInfo* InfoNamed(ITypeLib* lib, const wchar_t* name) {
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        BSTR n = nullptr;
        if (lib->GetDocumentation(static_cast<INT>(i), &n, nullptr, nullptr, nullptr) == S_OK &&
            Str(n) == name) {
            ITypeInfo* p = nullptr;
            EXPECT_EQ(lib->GetTypeInfo(i, &p), S_OK);
            return p;
        }
    }
    return nullptr;
}

struct Method {
    const wchar_t* name;
    std::vector<const wchar_t*> params;
    const wchar_t* help; // nullptr: none given
};

struct Iface {
    const wchar_t* name;
    const wchar_t* iid;
    const wchar_t* help;
    std::vector<Method> methods;
};

inline const std::vector<Iface>& Interfaces() {
    static const std::vector<Iface> all = {
        {L"IKobaltix",
         L"{F21ECEDC-A01B-4D4E-AC34-6BD01367491B}",
         L"Kobaltix Interface",
         {{L"Connect", {}, L"Connects the Interface"},
          {L"Disconnect", {}, L"Disconnects the Interface"},
          {L"Version", {L"Version"}, L"Gets Version String"},
          {L"ComErrorFlags", {L"ReportError", L"Fail"}, L"Define error flags"},
          {L"CreateScope", {L"Scope"}, L"Creates a Scope"},
          {L"CreateMeter", {L"Meter"}, L"Creates a Multimeter"},
          {L"CreateFuncGen", {L"FuncGen"}, L"Creates a Function Generator"},
          {L"CreatePowerSupply", {L"ThreePhaseGen"}, L"Creates a Three Phase Generator"},
          {L"CreateDigIO", {L"DigIO"}, L"Creates a Digital IO"},
          {L"CreateRelays", {L"Relays"}, L"Creates Relays"}}},
        {L"IScope",
         L"{0B23DE3C-18AA-4FB1-9739-6B303A8F878F}",
         nullptr,
         {{L"Input", {L"RangeA", L"CouplingA", L"RangeB", L"CouplingB"}, nullptr},
          {L"Timing", {L"Prescale", L"Online", L"Vals"}, nullptr},
          {L"Trigger", {L"Trigger", L"Chn", L"Post"}, nullptr},
          {L"TriggerLevel", {L"Level"}, nullptr},
          {L"Status", {L"Status"}, nullptr},
          {L"Start", {}, nullptr},
          {L"Stop", {}, nullptr},
          {L"Read", {L"ChnA", L"ChnB"}, nullptr},
          {L"ReadOnline", {L"ChnA", L"ChnB"}, nullptr},
          {L"GetTiming", {L"Delta", L"Total", L"Online"}, nullptr}}},
        {L"IMeter",
         L"{475B6EA1-D469-490F-B000-936EFB129435}",
         nullptr,
         {{L"Config", {L"RangeA", L"CouplingA", L"RangeB", L"CouplingB"}, nullptr},
          {L"ConfigA", {L"Range", L"Coupling"}, nullptr},
          {L"ConfigB", {L"Range", L"Coupling"}, nullptr},
          {L"Timing", {L"Time", L"BufferSize"}, nullptr},
          {L"Status", {L"Status"}, nullptr},
          {L"Start", {}, nullptr},
          {L"Stop", {}, nullptr},
          {L"ReadA", {L"Type", L"Value"}, nullptr},
          {L"ReadB", {L"Type", L"Value"}, nullptr}}},
        {L"IFuncGen",
         L"{FB0841DE-8637-496C-9B23-22282F35FDE6}",
         nullptr,
         {{L"Config",
           {L"Enable", L"Frequency", L"Amplitude", L"Range", L"Waveform"},
           L"Configures the generator"},
          {L"Enable", {L"bEnable"}, L"Enables or disables the function generator"},
          {L"Frequency", {L"dFreq"}, L"Sets the frequency"},
          {L"Amplitude", {L"sAmp"}, L"Configures the amplitude"},
          {L"OutRange", {L"byRange"}, L"Configures the output range"},
          {L"Formula", {L"Formula"}, L"Sets the formula"},
          {L"Waveform", {L"eFunc"}, L"Defines output function"},
          {L"UserTable", {L"Table"}, L"Write the user table"},
          {L"Timing", {L"Samples", L"Prescale"}, L"Defines the timing for the output function"}}},
        {L"IPowerSupply",
         L"{641B5205-6FCC-45AB-A6D8-683206A61500}",
         nullptr,
         {{L"Enable", {L"Enable"}, L"Enables or disables the function generator"},
          {L"Frequency", {L"Frequency"}, L"Sets the frequency"},
          {L"Amplitude", {L"Amp1", L"Amp2", L"Amp3"}, L"Configures the amplitude"},
          {L"Formula", {L"Formula"}, L"Sets the formula"},
          {L"Waveform", {L"e3Func"}, L"Defines the output function"},
          {L"Clock", {L"Clock"}, L"Sets the clock frequency"},
          {L"Phase23", {L"Deg2", L"Deg3"}, L"method Phase23"},
          {L"UserTable", {L"Table"}, L"Write the user table"}}},
        {L"IDigIO",
         L"{91204651-EA8A-40F3-B15C-93B864B7FF1B}",
         nullptr,
         {{L"In", {L"Status"}, L"Reads the digital inputs"},
          {L"Out", {L"Status"}, L"Writes the digital outputs"},
          {L"Timing", {L"Timer", L"Count", L"Online"}, L"Sets the timing"},
          {L"Trigger", {L"TriggerMask", L"Trigger"}, L"Configures the trigger"},
          {L"Pattern", {L"Table"}, L"Defines the output pattern"},
          {L"Start", {}, L"Starts the measurement"},
          {L"Stop", {}, L"Stops the measurement"},
          {L"Status", {L"eStatus"}, L"Returns the status"},
          {L"Read", {L"Data"}, L"Reads analyser memory"},
          {L"ReadOnline", {L"Data"}, L"Reads the online values."}}},
        {L"IRelays",
         L"{CA210D9F-554C-465E-AAEE-D2C9E6A87377}",
         nullptr,
         {{L"Status", {L"Status"}, L"Returns the current status of the relays"},
          {L"Set", {L"Status"}, L"Set the status of the relais"}}},
    };
    return all;
}

// The library's identity and the class with its seven interfaces.
inline void ExpectLibraryAndClass(ITypeLib* lib) {
    TLIBATTR* pAttr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&pAttr), S_OK);
    EXPECT_TRUE(IsEqualGUID(pAttr->guid, Guid(L"{8D89597B-2429-4F22-828F-02E7AFFAA018}")));
    EXPECT_EQ(pAttr->wMajorVerNum, 1);
    EXPECT_EQ(pAttr->wMinorVerNum, 0);
    EXPECT_EQ(pAttr->lcid, 0u); // language neutral: one registration serves every locale
    EXPECT_EQ(pAttr->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    lib->ReleaseTLibAttr(pAttr);

    BSTR name = nullptr;
    BSTR help = nullptr;
    ASSERT_EQ(lib->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(Str(name), L"KobLabVIEW");
    EXPECT_EQ(Str(help), L"MERIX-TANDA Kobaltix for LabVIEW");

    // The class answers all seven interfaces, the root one by default.
    ITypeInfo* pClass = Info(lib, Guid(L"{D20CF633-A2EE-42F9-84DB-D1FA05CF8C42}"));
    ASSERT_NE(pClass, nullptr);
    TYPEATTR* pType = nullptr;
    ASSERT_EQ(pClass->GetTypeAttr(&pType), S_OK);
    EXPECT_EQ(pType->typekind, TKIND_COCLASS);
    EXPECT_TRUE(pType->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(pType->cImplTypes, 7);
    std::vector<std::wstring> impl;
    for (UINT i = 0; i < pType->cImplTypes; ++i) {
        HREFTYPE ref = 0;
        ITypeInfo* pImpl = nullptr;
        ASSERT_EQ(pClass->GetRefTypeOfImplType(i, &ref), S_OK);
        ASSERT_EQ(pClass->GetRefTypeInfo(ref, &pImpl), S_OK);
        BSTR n = nullptr;
        pImpl->GetDocumentation(MEMBERID_NIL, &n, nullptr, nullptr, nullptr);
        impl.push_back(Str(n));
        INT flags = 0;
        pClass->GetImplTypeFlags(i, &flags);
        EXPECT_EQ((flags & IMPLTYPEFLAG_FDEFAULT) != 0, i == 0) << impl.back();
        pImpl->Release();
    }
    EXPECT_EQ(impl, (std::vector<std::wstring>{L"IKobaltix", L"IScope", L"IFuncGen",
                                               L"IPowerSupply", L"IDigIO", L"IRelays", L"IMeter"}));
    pClass->ReleaseTypeAttr(pType);
    name = help = nullptr;
    pClass->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr);
    EXPECT_EQ(Str(name), L"Kobaltix");
    EXPECT_EQ(Str(help), L"MERIX-TANDA Kobaltix for LabVIEW");
    pClass->Release();
}

// Each interface: its identifier, IUnknown as base, flags 0x180, and its
// methods in slot order with their parameter names and help strings.
inline void ExpectInterfaces(ITypeLib* lib) {
    for (const Iface& it : Interfaces()) {
        SCOPED_TRACE(std::string(it.name, it.name + wcslen(it.name)));
        ITypeInfo* pInfo = Info(lib, Guid(it.iid));
        ASSERT_NE(pInfo, nullptr);
        BSTR name = nullptr;
        BSTR help = nullptr;
        pInfo->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr);
        EXPECT_EQ(Str(name), it.name);
        std::wstring h = Str(help);
        EXPECT_EQ(h, it.help ? it.help : L"");

        TYPEATTR* pType = nullptr;
        ASSERT_EQ(pInfo->GetTypeAttr(&pType), S_OK);
        EXPECT_EQ(pType->typekind, TKIND_INTERFACE);
        EXPECT_EQ(pType->wTypeFlags, 0x180);
        EXPECT_EQ(pType->cImplTypes, 1);
        EXPECT_EQ(pType->cFuncs, it.methods.size());
        EXPECT_EQ(pType->cbSizeVft, (3 + it.methods.size()) * sizeof(void*));
        const UINT nFuncs = pType->cFuncs;
        pInfo->ReleaseTypeAttr(pType);

        HREFTYPE ref = 0;
        ITypeInfo* pBase = nullptr;
        ASSERT_EQ(pInfo->GetRefTypeOfImplType(0, &ref), S_OK);
        ASSERT_EQ(pInfo->GetRefTypeInfo(ref, &pBase), S_OK);
        TYPEATTR* pBaseType = nullptr;
        ASSERT_EQ(pBase->GetTypeAttr(&pBaseType), S_OK);
        EXPECT_TRUE(IsEqualGUID(pBaseType->guid, IID_IUnknown));
        pBase->ReleaseTypeAttr(pBaseType);
        pBase->Release();

        for (UINT i = 0; i < nFuncs && i < it.methods.size(); ++i) {
            const Method& m = it.methods[i];
            FUNCDESC* pFunc = nullptr;
            ASSERT_EQ(pInfo->GetFuncDesc(i, &pFunc), S_OK);
            EXPECT_EQ(pFunc->funckind, FUNC_PUREVIRTUAL);
            EXPECT_EQ(pFunc->callconv, CC_STDCALL);
            EXPECT_EQ(pFunc->elemdescFunc.tdesc.vt, VT_HRESULT);
            EXPECT_EQ(pFunc->oVft, static_cast<SHORT>((3 + i) * sizeof(void*)));
            EXPECT_EQ(pFunc->cParams, static_cast<SHORT>(m.params.size()));

            BSTR names[8] = {};
            UINT got = 0;
            ASSERT_EQ(pInfo->GetNames(pFunc->memid, names, 8, &got), S_OK);
            std::vector<std::wstring> actual;
            for (UINT k = 0; k < got; ++k)
                actual.push_back(Str(names[k]));
            std::vector<std::wstring> expected{m.name};
            expected.insert(expected.end(), m.params.begin(), m.params.end());
            EXPECT_EQ(actual, expected);

            BSTR doc = nullptr;
            pInfo->GetDocumentation(pFunc->memid, nullptr, &doc, nullptr, nullptr);
            EXPECT_EQ(Str(doc), m.help ? m.help : L"") << actual.front();
            pInfo->ReleaseFuncDesc(pFunc);
        }
        pInfo->Release();
    }
}

// The enumerations with their values, and the scope's status method
// returning its own.
inline void ExpectEnumerations(ITypeLib* lib) {
    struct Enum {
        const wchar_t* name;
        std::vector<std::pair<const wchar_t*, LONG>> values;
    };
    const std::vector<Enum> enums = {
        {L"ScopeStatus",
         {{L"SC_READY", 0},
          {L"SC_TRIGGER", 1},
          {L"SC_MEASURING", 2},
          {L"SC_MEASURED", 3},
          {L"SC_TRANSMITTED", 4},
          {L"SC_FAILURE", 128}}},
        {L"MeterStatus",
         {{L"MTR_READY", 0}, {L"MTR_MEASURING", 1}, {L"MTR_MEASURED", 2}, {L"MTR_FAILURE", 128}}},
        {L"DigStatus",
         {{L"DIG_READY", 0},
          {L"DIG_TRIGGER", 1},
          {L"DIG_MEASURING", 2},
          {L"DIG_MEASURED", 3},
          {L"DIG_TRANSMITTED", 4},
          {L"DIG_FAILURE", 128}}},
        {L"FGenFunction",
         {{L"FGEN_SIN", 0},
          {L"FGEN_TRI", 1},
          {L"FGEN_RECT", 2},
          {L"FGEN_TTL", 3},
          {L"FGEN_DC_POS", 4},
          {L"FGEN_DC_NEG", 5},
          {L"FGEN_FORMULA", 6},
          {L"FGEN_TABLE", 7}}},
        {L"P3Function",
         {{L"PH3_SIN", 0},
          {L"PH3_SIN3", 1},
          {L"PH3_RECT", 2},
          {L"PH3_PULSE", 3},
          {L"PH3_DC_POS", 4},
          {L"PH3_DC_NEG", 5},
          {L"PH3_FORMULA", 6},
          {L"PH3_TABLE", 7}}},
    };
    for (const Enum& en : enums) {
        SCOPED_TRACE(std::string(en.name, en.name + wcslen(en.name)));
        ITypeInfo* pInfo = InfoNamed(lib, en.name);
        ASSERT_NE(pInfo, nullptr);
        TYPEATTR* pType = nullptr;
        ASSERT_EQ(pInfo->GetTypeAttr(&pType), S_OK);
        EXPECT_EQ(pType->typekind, TKIND_ENUM);
        EXPECT_EQ(pType->cbSizeInstance, 4u);
        ASSERT_EQ(pType->cVars, en.values.size());
        for (UINT i = 0; i < pType->cVars; ++i) {
            VARDESC* pVar = nullptr;
            ASSERT_EQ(pInfo->GetVarDesc(i, &pVar), S_OK);
            BSTR n = nullptr;
            UINT got = 0;
            pInfo->GetNames(pVar->memid, &n, 1, &got);
            EXPECT_EQ(Str(n), en.values[i].first);
            ASSERT_EQ(pVar->varkind, VAR_CONST);
            VARIANT v;
            VariantInit(&v);
            ASSERT_EQ(VariantChangeType(&v, pVar->lpvarValue, 0, VT_I4), S_OK);
            EXPECT_EQ(v.lVal, en.values[i].second) << i;
            pInfo->ReleaseVarDesc(pVar);
        }
        pInfo->ReleaseTypeAttr(pType);
        pInfo->Release();
    }

    // The status methods return these enumerations.
    ITypeInfo* pScope = Info(lib, Guid(L"{0B23DE3C-18AA-4FB1-9739-6B303A8F878F}"));
    ASSERT_NE(pScope, nullptr);
    FUNCDESC* pFunc = nullptr;
    ASSERT_EQ(pScope->GetFuncDesc(4, &pFunc), S_OK);
    ITypeInfo* pRef = nullptr;
    ASSERT_EQ(pScope->GetRefTypeInfo(pFunc->lprgelemdescParam[0].tdesc.lptdesc->hreftype, &pRef),
              S_OK);
    BSTR n = nullptr;
    pRef->GetDocumentation(MEMBERID_NIL, &n, nullptr, nullptr, nullptr);
    EXPECT_EQ(Str(n), L"ScopeStatus");
    pRef->Release();
    pScope->ReleaseFuncDesc(pFunc);
    pScope->Release();
}

} // namespace kobtlb
