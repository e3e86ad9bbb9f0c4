// What a client may rely on in the automation types the server hands out.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "platform/com/oleauto.h"

TEST(Bstr, LengthsCountCharactersAndTheTextIsTerminated) {
    BSTR s = SysAllocStringLen(OLESTR("abcdef"), 4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 4u);
    EXPECT_EQ(SysStringByteLen(s), 8u);
    EXPECT_EQ(s[3], OLESTR("d")[0]);
    EXPECT_EQ(s[4], 0);
    SysFreeString(s);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
}

TEST(SafeArray, BoundsAreKeptLastDimensionFirstAndDataIsLockedWhileAccessed) {
    SAFEARRAYBOUND bounds[2] = {{3, 1}, {4, -2}};
    SAFEARRAY* a = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->rgsabound[0].cElements, 4u);
    EXPECT_EQ(a->rgsabound[1].cElements, 3u);
    // Lower and upper bound of dimensions 1 and 2; there is no dimension 3.
    LONG v[4] = {};
    EXPECT_EQ(SafeArrayGetLBound(a, 1, &v[0]) | SafeArrayGetUBound(a, 1, &v[1]) |
                  SafeArrayGetLBound(a, 2, &v[2]) | SafeArrayGetUBound(a, 2, &v[3]),
              S_OK);
    EXPECT_EQ(std::vector<LONG>(v, v + 4), (std::vector<LONG>{1, 3, -2, 1}));
    EXPECT_EQ(SafeArrayGetUBound(a, 3, &v[0]), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);

    a = SafeArrayCreateVector(VT_R8, 0, 800);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(SafeArrayGetElemsize(a), 8u);
    VARTYPE vt = 0;
    EXPECT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
    EXPECT_EQ(vt, VT_R8);
    void* p = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, &p), S_OK);
    EXPECT_EQ(static_cast<double*>(p)[799], 0.0); // new arrays are zeroed
    EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnaccessData(a), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(a), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

TEST(Variant, ClearingReleasesWhatTheVariantOwns) {
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
    // An array of strings frees every string with the array (leak check).
    SAFEARRAY* names = SafeArrayCreateVector(VT_BSTR, 0, 2);
    ASSERT_NE(names, nullptr);
    void* p = nullptr;
    SafeArrayAccessData(names, &p);
    static_cast<BSTR*>(p)[1] = SysAllocString(OLESTR("B"));
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = names;
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED); // nothing is freed
    SafeArrayUnaccessData(names);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = names;
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    v.vt = 15; // no such type
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
    // The layout is the system's own.
    EXPECT_EQ(sizeof(VARIANT), sizeof(void*) == 8 ? 24u : 16u);
    EXPECT_EQ(reinterpret_cast<char*>(&v.dblVal) - reinterpret_cast<char*>(&v), 8);
    EXPECT_EQ(offsetof(SAFEARRAY, pvData), sizeof(void*) == 8 ? 16u : 12u);
}
