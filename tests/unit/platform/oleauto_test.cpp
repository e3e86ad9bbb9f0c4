// What a client may rely on in the automation types the server hands out.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "platform/com/oleauto.h"

TEST(Bstr, LengthsCountCharactersAndTheTextIsTerminated) {
    BSTR s = SysAllocStringLen(OLESTR("abcdef"), 4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 4u);
    EXPECT_EQ(SysStringByteLen(s), 8u);
    EXPECT_EQ(s[3], OLESTR("d")[0]);
    EXPECT_EQ(s[4], 0);
    SysFreeString(s);

    BSTR zeros = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(SysStringLen(zeros), 3u);
    EXPECT_EQ(zeros[3], 0);
    SysFreeString(zeros);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(SafeArray, AVectorOfDoublesHasItsBoundsAndIsLockedWhileAccessed) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_R8, 0, 800);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(SafeArrayGetDim(a), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(a), 8u);
    LONG lo = -1, hi = -1;
    EXPECT_EQ(SafeArrayGetLBound(a, 1, &lo), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(a, 1, &hi), S_OK);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 799);
    EXPECT_EQ(SafeArrayGetLBound(a, 2, &lo), DISP_E_BADINDEX);
    VARTYPE vt = 0;
    EXPECT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
    EXPECT_EQ(vt, VT_R8);

    void* p = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, &p), S_OK);
    auto* values = static_cast<double*>(p);
    EXPECT_EQ(values[0], 0.0); // new arrays are zeroed
    values[799] = 2.5;
    EXPECT_EQ(a->cLocks, 1u);
    EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(a), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(a), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, BoundsOfSeveralDimensionsAreKeptLastDimensionFirst) {
    SAFEARRAYBOUND bounds[2] = {{3, 1}, {4, -2}};
    SAFEARRAY* a = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->rgsabound[0].cElements, 4u);
    EXPECT_EQ(a->rgsabound[1].cElements, 3u);
    LONG v = 0;
    SafeArrayGetLBound(a, 1, &v);
    EXPECT_EQ(v, 1);
    SafeArrayGetUBound(a, 1, &v);
    EXPECT_EQ(v, 3);
    SafeArrayGetLBound(a, 2, &v);
    EXPECT_EQ(v, -2);
    SafeArrayGetUBound(a, 2, &v);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

TEST(Variant, ClearingReleasesWhatTheVariantOwns) {
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);

    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(OLESTR("volts"));
    EXPECT_EQ(VariantClear(&v), S_OK); // the string is freed (leak check)
    EXPECT_EQ(v.vt, VT_EMPTY);

    // An array of strings frees every string with the array.
    SAFEARRAY* names = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(names, nullptr);
    void* p = nullptr;
    SafeArrayAccessData(names, &p);
    static_cast<BSTR*>(p)[0] = SysAllocString(OLESTR("A"));
    static_cast<BSTR*>(p)[1] = SysAllocString(OLESTR("B"));
    SafeArrayUnaccessData(names);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = names;
    EXPECT_EQ(VariantClear(&v), S_OK);

    SAFEARRAY* samples = SafeArrayCreateVector(VT_R8, 0, 4);
    v.vt = VT_ARRAY | VT_R8;
    v.parray = samples;
    SafeArrayAccessData(samples, &p);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED); // nothing is freed
    SafeArrayUnaccessData(samples);
    v.vt = VT_ARRAY | VT_R8;
    v.parray = samples;
    EXPECT_EQ(VariantClear(&v), S_OK);
    v.vt = 15; // no such type
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
}

TEST(Variant, LayoutIsTheSystemsOwn) {
    VARIANT v;
    EXPECT_EQ(sizeof(VARIANT), sizeof(void*) == 8 ? 24u : 16u);
    EXPECT_EQ(reinterpret_cast<char*>(&v.dblVal) - reinterpret_cast<char*>(&v), 8);
    EXPECT_EQ(sizeof(SAFEARRAYBOUND), 8u);
    EXPECT_EQ(offsetof(SAFEARRAY, pvData), sizeof(void*) == 8 ? 16u : 12u);
}
