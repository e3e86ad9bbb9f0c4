// What the type library holds, as a client such as LabVIEW reads it: one
// line per library, class, interface, method and enumeration, so that any
// loaded copy (the .tlb file, the module's resource in each language) is
// compared with one expected text.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <utility>

#include "support/own_dialogs.h"

namespace kobtlb {

inline GUID Guid(const wchar_t* text) {
    GUID g{};
    CLSIDFromString(const_cast<LPOLESTR>(text), &g);
    return g;
}

// The text of a BSTR, which is freed.
inline std::string Str(BSTR b) {
    std::string s = b ? owndlg::Utf8(b) : std::string();
    SysFreeString(b);
    return s;
}

inline std::string Text(const GUID& g) {
    wchar_t buf[40] = {};
    StringFromGUID2(g, buf, 40);
    return owndlg::Utf8(buf);
}

// Name and help string of a member (MEMBERID_NIL: of the type itself).
inline std::string Doc(ITypeInfo* info, MEMBERID id) {
    BSTR name = nullptr;
    BSTR help = nullptr;
    info->GetDocumentation(id, &name, &help, nullptr, nullptr);
    std::string h = Str(help);
    return Str(name) + (h.empty() ? "" : " \"" + h + "\"");
}

inline std::string TypeName(ITypeInfo* info, const TYPEDESC& t) {
    if (t.vt == VT_PTR) {
        return TypeName(info, *t.lptdesc) + "*";
    }
    if (t.vt == VT_USERDEFINED) {
        ITypeInfo* ref = nullptr;
        if (info->GetRefTypeInfo(t.hreftype, &ref) != S_OK) {
            return "?";
        }
        BSTR name = nullptr;
        ref->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
        ref->Release();
        return Str(name);
    }
    static const std::pair<VARTYPE, const char*> names[] = {
        {VT_UI1, "BYTE"},  {VT_UI2, "WORD"},  {VT_I2, "SHORT"},        {VT_I4, "LONG"},
        {VT_R8, "DOUBLE"}, {VT_BSTR, "BSTR"}, {VT_VARIANT, "VARIANT"}, {VT_HRESULT, "HRESULT"}};
    for (const auto& [vt, name] : names) {
        if (vt == t.vt) {
            return name;
        }
    }
    return "vt" + std::to_string(t.vt);
}

inline void DumpFunctions(ITypeInfo* info, const TYPEATTR& attr, std::string& out) {
    for (UINT i = 0; i < attr.cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        if (info->GetFuncDesc(i, &f) != S_OK) {
            out += "  no method " + std::to_string(i) + "\n";
            continue;
        }
        BSTR names[8] = {};
        UINT got = 0;
        info->GetNames(f->memid, names, 8, &got);
        out += "  " + std::to_string(f->oVft / static_cast<SHORT>(sizeof(void*))) + " " +
               Str(names[0]) + "(";
        for (SHORT k = 0; k < f->cParams; ++k) {
            const ELEMDESC& e = f->lprgelemdescParam[k];
            const USHORT flags = e.paramdesc.wParamFlags;
            out += std::string(k ? ", " : "") + (flags & PARAMFLAG_FIN ? "in " : "") +
                   (flags & PARAMFLAG_FOUT ? "out " : "") +
                   (flags & PARAMFLAG_FRETVAL ? "retval " : "") + TypeName(info, e.tdesc) + " " +
                   (k + 1u < got ? Str(names[k + 1]) : "?");
        }
        out += ") " + TypeName(info, f->elemdescFunc.tdesc);
        if (f->funckind != FUNC_PUREVIRTUAL || f->callconv != CC_STDCALL) {
            out += " not pure stdcall";
        }
        std::string doc = Doc(info, f->memid);
        out += doc.substr(doc.find(' ') == std::string::npos ? doc.size() : doc.find(' ')) + "\n";
        info->ReleaseFuncDesc(f);
    }
}

inline void DumpType(ITypeInfo* info, std::string& out) {
    TYPEATTR* attr = nullptr;
    if (info->GetTypeAttr(&attr) != S_OK) {
        out += "no attributes\n";
        return;
    }
    switch (attr->typekind) {
    case TKIND_COCLASS:
        out += "coclass " + Doc(info, MEMBERID_NIL) + " " + Text(attr->guid) +
               (attr->wTypeFlags & TYPEFLAG_FCANCREATE ? " creatable" : "") + "\n";
        for (UINT i = 0; i < attr->cImplTypes; ++i) {
            HREFTYPE ref = 0;
            ITypeInfo* impl = nullptr;
            INT flags = 0;
            info->GetRefTypeOfImplType(i, &ref);
            info->GetImplTypeFlags(i, &flags);
            if (info->GetRefTypeInfo(ref, &impl) == S_OK) {
                out += "  implements " + Doc(impl, MEMBERID_NIL) +
                       (flags & IMPLTYPEFLAG_FDEFAULT ? " default" : "") + "\n";
                impl->Release();
            }
        }
        break;
    case TKIND_INTERFACE: {
        out += "interface " + Doc(info, MEMBERID_NIL) + " " + Text(attr->guid) + " flags " +
               std::to_string(attr->wTypeFlags) + " slots " +
               std::to_string(attr->cbSizeVft / sizeof(void*));
        HREFTYPE ref = 0;
        ITypeInfo* base = nullptr;
        if (attr->cImplTypes == 1 && info->GetRefTypeOfImplType(0, &ref) == S_OK &&
            info->GetRefTypeInfo(ref, &base) == S_OK) {
            out += " : " + Doc(base, MEMBERID_NIL);
            base->Release();
        }
        out += "\n";
        DumpFunctions(info, *attr, out);
        break;
    }
    case TKIND_ENUM:
        out += "enum " + Doc(info, MEMBERID_NIL) + " size " + std::to_string(attr->cbSizeInstance);
        for (UINT i = 0; i < attr->cVars; ++i) {
            VARDESC* v = nullptr;
            if (info->GetVarDesc(i, &v) != S_OK) {
                continue;
            }
            VARIANT value;
            VariantInit(&value);
            if (v->varkind == VAR_CONST) {
                VariantChangeType(&value, v->lpvarValue, 0, VT_I4);
            }
            out += " " + Doc(info, v->memid) + "=" + std::to_string(V_I4(&value));
            info->ReleaseVarDesc(v);
        }
        out += "\n";
        break;
    default:
        out += "type " + Doc(info, MEMBERID_NIL) + " kind " + std::to_string(attr->typekind) + "\n";
    }
    info->ReleaseTypeAttr(attr);
}

inline std::string Dump(ITypeLib* lib) {
    std::string out;
    TLIBATTR* attr = nullptr;
    if (lib->GetLibAttr(&attr) == S_OK) {
        BSTR name = nullptr;
        BSTR help = nullptr;
        lib->GetDocumentation(-1, &name, &help, nullptr, nullptr);
        out += "library " + Str(name) + " \"" + Str(help) + "\" " + Text(attr->guid) + " " +
               std::to_string(attr->wMajorVerNum) + "." + std::to_string(attr->wMinorVerNum) +
               " lcid " + std::to_string(attr->lcid) +
               (attr->syskind == (sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32) ? ""
                                                                              : " other syskind") +
               "\n";
        lib->ReleaseTLibAttr(attr);
    }
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        ITypeInfo* info = nullptr;
        if (lib->GetTypeInfo(i, &info) == S_OK) {
            DumpType(info, out);
            info->Release();
        }
    }
    return out;
}

// The library as the clients were built against it.
inline const char kExpected[] =
    R"tlb(library KobLabVIEW "MERIX-TANDA Kobaltix for LabVIEW" {8D89597B-2429-4F22-828F-02E7AFFAA018} 1.0 lcid 0
coclass Kobaltix "MERIX-TANDA Kobaltix for LabVIEW" {D20CF633-A2EE-42F9-84DB-D1FA05CF8C42} creatable
  implements IKobaltix "Kobaltix Interface" default
  implements IScope
  implements IFuncGen
  implements IPowerSupply
  implements IDigIO
  implements IRelays
  implements IMeter
interface IKobaltix "Kobaltix Interface" {F21ECEDC-A01B-4D4E-AC34-6BD01367491B} flags 384 slots 13 : IUnknown
  3 Connect() HRESULT "Connects the Interface"
  4 Disconnect() HRESULT "Disconnects the Interface"
  5 Version(out retval BSTR* Version) HRESULT "Gets Version String"
  6 ComErrorFlags(in BYTE ReportError, in BYTE Fail) HRESULT "Define error flags"
  7 CreateScope(out retval IScope** Scope) HRESULT "Creates a Scope"
  8 CreateMeter(out retval IMeter** Meter) HRESULT "Creates a Multimeter"
  9 CreateFuncGen(out retval IFuncGen** FuncGen) HRESULT "Creates a Function Generator"
  10 CreatePowerSupply(out retval IPowerSupply** ThreePhaseGen) HRESULT "Creates a Three Phase Generator"
  11 CreateDigIO(out retval IDigIO** DigIO) HRESULT "Creates a Digital IO"
  12 CreateRelays(out retval IRelays** Relays) HRESULT "Creates Relays"
interface IScope {0B23DE3C-18AA-4FB1-9739-6B303A8F878F} flags 384 slots 13 : IUnknown
  3 Input(in BYTE RangeA, in BYTE CouplingA, in BYTE RangeB, in BYTE CouplingB) HRESULT
  4 Timing(in WORD Prescale, in BYTE Online, in WORD Vals) HRESULT
  5 Trigger(in BYTE Trigger, in BYTE Chn, in BYTE Post) HRESULT
  6 TriggerLevel(in SHORT Level) HRESULT
  7 Status(out retval ScopeStatus* Status) HRESULT
  8 Start() HRESULT
  9 Stop() HRESULT
  10 Read(out VARIANT* ChnA, out VARIANT* ChnB) HRESULT
  11 ReadOnline(out VARIANT* ChnA, out VARIANT* ChnB) HRESULT
  12 GetTiming(out DOUBLE* Delta, out DOUBLE* Total, out BYTE* Online) HRESULT
enum ScopeStatus size 4 SC_READY=0 SC_TRIGGER=1 SC_MEASURING=2 SC_MEASURED=3 SC_TRANSMITTED=4 SC_FAILURE=128
interface IMeter {475B6EA1-D469-490F-B000-936EFB129435} flags 384 slots 12 : IUnknown
  3 Config(in BYTE RangeA, in BYTE CouplingA, in BYTE RangeB, in BYTE CouplingB) HRESULT
  4 ConfigA(in BYTE Range, in BYTE Coupling) HRESULT
  5 ConfigB(in BYTE Range, in BYTE Coupling) HRESULT
  6 Timing(in WORD Time, in WORD BufferSize) HRESULT
  7 Status(out retval MeterStatus* Status) HRESULT
  8 Start() HRESULT
  9 Stop() HRESULT
  10 ReadA(in BYTE Type, out retval DOUBLE* Value) HRESULT
  11 ReadB(in BYTE Type, out retval DOUBLE* Value) HRESULT
enum MeterStatus size 4 MTR_READY=0 MTR_MEASURING=1 MTR_MEASURED=2 MTR_FAILURE=128
interface IFuncGen {FB0841DE-8637-496C-9B23-22282F35FDE6} flags 384 slots 12 : IUnknown
  3 Config(in BYTE Enable, in DOUBLE Frequency, in BYTE Amplitude, in BYTE Range, in FGenFunction Waveform) HRESULT "Configures the generator"
  4 Enable(in BYTE bEnable) HRESULT "Enables or disables the function generator"
  5 Frequency(in DOUBLE dFreq) HRESULT "Sets the frequency"
  6 Amplitude(in SHORT sAmp) HRESULT "Configures the amplitude"
  7 OutRange(in BYTE byRange) HRESULT "Configures the output range"
  8 Formula(in BSTR Formula) HRESULT "Sets the formula"
  9 Waveform(in FGenFunction eFunc) HRESULT "Defines output function"
  10 UserTable(in VARIANT* Table) HRESULT "Write the user table"
  11 Timing(in WORD Samples, in WORD Prescale) HRESULT "Defines the timing for the output function"
enum FGenFunction size 4 FGEN_SIN=0 FGEN_TRI=1 FGEN_RECT=2 FGEN_TTL=3 FGEN_DC_POS=4 FGEN_DC_NEG=5 FGEN_FORMULA=6 FGEN_TABLE=7
interface IPowerSupply {641B5205-6FCC-45AB-A6D8-683206A61500} flags 384 slots 11 : IUnknown
  3 Enable(in BYTE Enable) HRESULT "Enables or disables the function generator"
  4 Frequency(in BYTE Frequency) HRESULT "Sets the frequency"
  5 Amplitude(in BYTE Amp1, in BYTE Amp2, in BYTE Amp3) HRESULT "Configures the amplitude"
  6 Formula(in BSTR Formula) HRESULT "Sets the formula"
  7 Waveform(in P3Function e3Func) HRESULT "Defines the output function"
  8 Clock(in BYTE Clock) HRESULT "Sets the clock frequency"
  9 Phase23(in SHORT Deg2, in SHORT Deg3) HRESULT "method Phase23"
  10 UserTable(in VARIANT* Table) HRESULT "Write the user table"
enum P3Function size 4 PH3_SIN=0 PH3_SIN3=1 PH3_RECT=2 PH3_PULSE=3 PH3_DC_POS=4 PH3_DC_NEG=5 PH3_FORMULA=6 PH3_TABLE=7
interface IDigIO {91204651-EA8A-40F3-B15C-93B864B7FF1B} flags 384 slots 13 : IUnknown
  3 In(out retval WORD* Status) HRESULT "Reads the digital inputs"
  4 Out(in WORD Status) HRESULT "Writes the digital outputs"
  5 Timing(in WORD Timer, in WORD Count, in BYTE Online) HRESULT "Sets the timing"
  6 Trigger(in WORD TriggerMask, in WORD Trigger) HRESULT "Configures the trigger"
  7 Pattern(in VARIANT* Table) HRESULT "Defines the output pattern"
  8 Start() HRESULT "Starts the measurement"
  9 Stop() HRESULT "Stops the measurement"
  10 Status(out retval DigStatus* eStatus) HRESULT "Returns the status"
  11 Read(out VARIANT* Data) HRESULT "Reads analyser memory"
  12 ReadOnline(out VARIANT* Data) HRESULT "Reads the online values."
enum DigStatus size 4 DIG_READY=0 DIG_TRIGGER=1 DIG_MEASURING=2 DIG_MEASURED=3 DIG_TRANSMITTED=4 DIG_FAILURE=128
interface IRelays {CA210D9F-554C-465E-AAEE-D2C9E6A87377} flags 384 slots 5 : IUnknown
  3 Status(out retval BYTE* Status) HRESULT "Returns the current status of the relays"
  4 Set(in BYTE Status) HRESULT "Set the status of the relais"
)tlb";

} // namespace kobtlb
