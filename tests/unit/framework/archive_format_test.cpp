// The stored form of values, counted strings and objects, byte for byte, and
// loading it back.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <tuple>

#include "stored_shapes.h"
#include "support/bytes.h"

namespace {

// The tag of a class seen for the first time: FFFF, schema, name length, name.
Bytes NewClass(const std::string& name, uint16_t schema) {
    return Cat({Le16(0xFFFF), Le16(schema), Le16(static_cast<uint16_t>(name.size())),
                Bytes(name.begin(), name.end())});
}

Bytes Store(const std::function<void(CArchive&)>& write) {
    Bytes out;
    CArchive ar(out);
    write(ar);
    return out;
}

using Owned = std::unique_ptr<CObject>;

template <typename T> T* As(CObject* o) {
    T* t = dynamic_cast<T*>(o);
    EXPECT_NE(t, nullptr);
    return t;
}

} // namespace

TEST(ArchiveValues, IntegersAndFloatsAreLittleEndianAndComeBackBitForBit) {
    Bytes data = Store([](CArchive& ar) {
        ar << uint8_t{0xA5} << uint16_t{0x1234} << int16_t{-2} << uint32_t{0xDEADBEEF}
           << int32_t{-100000} << uint64_t{0x0102030405060708} << 1.5 << -0.25f;
    });
    EXPECT_EQ(data, Cat({{0xA5},
                         {0x34, 0x12},
                         {0xFE, 0xFF},
                         {0xEF, 0xBE, 0xAD, 0xDE},
                         {0x60, 0x79, 0xFE, 0xFF},
                         {8, 7, 6, 5, 4, 3, 2, 1},
                         {0, 0, 0, 0, 0, 0, 0xF8, 0x3F},
                         {0x00, 0x00, 0x80, 0xBE}}));

    CArchive ar(data.data(), data.size());
    std::tuple<uint8_t, uint16_t, int16_t, uint32_t, int32_t, uint64_t, double, float> read;
    std::apply([&](auto&... v) { (ar >> ... >> v); }, read);
    EXPECT_EQ(ar.Remaining(), 0u);
    // What was read stores as the same bytes.
    EXPECT_EQ(
        Store([&](CArchive& out) { std::apply([&](auto... v) { (out << ... << v); }, read); }),
        data);
}

TEST(ArchiveStrings, WideFormCarriesTheMarksAndTheShortestLength) {
    EXPECT_EQ(Store([](CArchive& ar) { ar << WString(); }), (Bytes{0xFF, 0xFE, 0xFF, 0x00}));
    EXPECT_EQ(Store([](CArchive& ar) { ar << WString(u"A\u00e9\u20ac"); }),
              (Bytes{0xFF, 0xFE, 0xFF, 0x03, 'A', 0, 0xE9, 0, 0xAC, 0x20}));

    // 254 characters still fit the length byte; 255 take FF and a WORD;
    // 0xFFFE and more take FF, FFFF and a DWORD.
    struct Case {
        size_t n;
        Bytes head;
    };
    const Case cases[] = {
        {254, {0xFF, 0xFE, 0xFF, 0xFE}},
        {255, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0x00}},
        {0xFFFD, {0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF}},
        {0xFFFE, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {0x10000, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        WString s(c.n, u'x');
        s.back() = u'y';
        Bytes data = Store([&](CArchive& ar) { ar << s; });
        ASSERT_EQ(data.size(), c.head.size() + 2 * c.n) << c.n;
        EXPECT_EQ(Bytes(data.begin(), data.begin() + static_cast<long>(c.head.size())), c.head)
            << c.n;
        CArchive ar(data.data(), data.size());
        EXPECT_EQ(ar.ReadString(), s) << c.n;
        EXPECT_EQ(ar.Remaining(), 0u);
    }
}

TEST(ArchiveStrings, EightBitFormsAreReadAsLatin1) {
    Bytes data = Cat({{3, 'a', 'b', 0xE9}, {0}});
    {
        CArchive ar(data.data(), data.size());
        EXPECT_EQ(ar.ReadString(), u"ab\u00e9");
        EXPECT_EQ(ar.ReadString(), u"");
        EXPECT_EQ(ar.Remaining(), 0u);
    }
    // 0xFFFF characters: FF, FFFF and a DWORD.
    Bytes big = Cat({{0xFF}, Le16(0xFFFF), Le32(0x10001), Bytes(0x10001, 'b')});
    {
        CArchive ar(big.data(), big.size());
        EXPECT_EQ(ar.ReadString(), WString(0x10001, u'b'));
        EXPECT_EQ(ar.Remaining(), 0u);
    }
}

TEST(ArchiveCounts, WordBelowFFFFElseFFFFAndDword) {
    const std::pair<size_t, Bytes> cases[] = {{0, Le16(0)},
                                              {0xFFFE, Le16(0xFFFE)},
                                              {0xFFFF, Cat({Le16(0xFFFF), Le32(0xFFFF)})},
                                              {0x12345, Cat({Le16(0xFFFF), Le32(0x12345)})}};
    for (const auto& [n, bytes] : cases) {
        Bytes data = Store([n = n](CArchive& ar) { ar.WriteCount(n); });
        EXPECT_EQ(data, bytes) << n;
        CArchive ar(data.data(), data.size());
        EXPECT_EQ(ar.ReadCount(), n);
    }
}

TEST(ArchiveObjects, ClassesAreNamedOnceAndObjectsReferredBackByIndex) {
    CDot dot(1, -1);
    CDot other(3, 4);
    CLabel label(u"Hi", 12);
    CRing ring(5, 6, 0.5);
    Bytes data = Store([&](CArchive& ar) {
        ar.WriteObject(&dot);
        ar.WriteObject(&dot);
        ar.WriteObject(nullptr);
        ar.WriteObject(&other);
        ar.WriteObject(&label);
        ar.WriteObject(&ring);
        ar.WriteObject(&other);
        ar.WriteObject(&label);
    });
    // Indices: CDot 1, dot 2, other 3, CLabel 4, label 5, CRing 6, ring 7.
    Bytes expected = Cat({NewClass("CDot", 1),
                          Le32(1),
                          Le32(0xFFFFFFFF), // dot
                          Le16(2),          // dot again
                          Le16(0),          // null
                          Le16(0x8001),
                          Le32(3),
                          Le32(4), // other, a known class
                          NewClass("CLabel", 2),
                          {0xFF, 0xFE, 0xFF, 2, 'H', 0, 'i', 0},
                          Le16(12),
                          NewClass("CRing", 1),
                          Le32(5),
                          Le32(6),
                          {0, 0, 0, 0, 0, 0, 0xE0, 0x3F},
                          Le16(3),
                          Le16(5)});
    EXPECT_EQ(data, expected);

    CArchive ar(data.data(), data.size());
    Owned a(ar.ReadObject(RUNTIME_CLASS(CShape)));
    CObject* again = ar.ReadObject(RUNTIME_CLASS(CShape));
    CObject* none = ar.ReadObject(RUNTIME_CLASS(CShape));
    Owned b(ar.ReadObject(RUNTIME_CLASS(CDot)));
    Owned c(ar.ReadObject(nullptr));
    Owned d(ar.ReadObject(RUNTIME_CLASS(CDot))); // a ring is a dot
    CObject* bAgain = ar.ReadObject(RUNTIME_CLASS(CDot));
    CObject* cAgain = ar.ReadObject(RUNTIME_CLASS(CLabel));
    EXPECT_EQ(ar.Remaining(), 0u);
    EXPECT_EQ(again, a.get());
    EXPECT_EQ(none, nullptr);
    // Classes, fields and back references all survive: stored again, the
    // loaded objects give the same bytes.
    EXPECT_EQ(
        Store([&](CArchive& out) {
            for (CObject* o : {a.get(), again, none, b.get(), c.get(), d.get(), bAgain, cAgain}) {
                out.WriteObject(o);
            }
        }),
        data);
    EXPECT_TRUE(d->IsKindOf(RUNTIME_CLASS(CShape)));
    EXPECT_FALSE(c->IsKindOf(RUNTIME_CLASS(CDot)));
}

TEST(ArchiveObjects, GroupsStoreTheirMembersAsAnObjectArray) {
    CGroup g;
    g.m_nColour = 7;
    auto* inner = new CGroup;
    inner->Add(new CLabel(u"in"));
    g.Add(new CDot(5, 6)).Add(nullptr).Add(inner).Add(new CDot(8, 9));
    Bytes data = Store([&](CArchive& ar) { ar.WriteObject(&g); });
    // The versionable class stores its schema without the flag. Indices:
    // CGroup 1, g 2, CDot 3, dot 4, inner 5, CLabel 6, label 7.
    EXPECT_EQ(data, Cat({NewClass("CGroup", 2),
                         Le32(7),
                         Le16(4), //
                         NewClass("CDot", 1),
                         Le32(5),
                         Le32(6), //
                         Le16(0), //
                         Le16(0x8001),
                         Le32(0),
                         Le16(1), // inner group
                         NewClass("CLabel", 2),
                         {0xFF, 0xFE, 0xFF, 2, 'i', 0, 'n', 0},
                         Le16(10), //
                         Le16(0x8003),
                         Le32(8),
                         Le32(9)}));

    int before = CShape::Live();
    {
        CArchive ar(data.data(), data.size());
        Owned loaded(ar.ReadObject(RUNTIME_CLASS(CGroup)));
        auto* lg = As<CGroup>(loaded.get());
        EXPECT_EQ(lg->m_nSchemaRead, 2u);
        EXPECT_EQ(Store([&](CArchive& out) { out.WriteObject(lg); }), data);
        EXPECT_EQ(CShape::Live(), before + 5);
    }
    EXPECT_EQ(CShape::Live(), before);
}

TEST(ArchiveObjects, OlderSchemasOfAVersionableClassAreReportedForEveryObject) {
    // Two schema-1 groups (no colour), the second naming its class by
    // index: both must be read as schema 1, not as the current schema.
    Bytes data = Cat({NewClass("CGroup", 1), Le16(1), NewClass("CDot", 1), Le32(1), Le32(2), //
                      Le16(0x8001), Le16(0)});
    CArchive ar(data.data(), data.size());
    Owned first(ar.ReadObject(RUNTIME_CLASS(CGroup)));
    Owned second(ar.ReadObject(RUNTIME_CLASS(CGroup)));
    EXPECT_EQ(ar.Remaining(), 0u);
    EXPECT_EQ(As<CGroup>(first.get())->m_nSchemaRead, 1u);
    EXPECT_EQ(As<CGroup>(second.get())->m_nSchemaRead, 1u);
    EXPECT_EQ(As<CGroup>(second.get())->m_nColour, 0u);
    ASSERT_EQ(As<CGroup>(first.get())->m_members.size(), 1u);
    EXPECT_EQ(As<CDot>(As<CGroup>(first.get())->m_members[0])->m_nY, 2);

    // A class that is not versionable gives no schema of its own.
    EXPECT_EQ(ar.GetObjectSchema(), 0xFFFFFFFFu);
}

TEST(ArchiveObjects, IndicesAbove7FFEUseTheLongForm) {
    // 0x7FFE dots: CDot is index 1, the dots 2 .. 0x7FFF.
    constexpr size_t kDots = 0x7FFE;
    std::vector<std::unique_ptr<CDot>> dots;
    for (size_t i = 0; i < kDots; ++i) {
        dots.push_back(std::make_unique<CDot>(static_cast<int32_t>(i), 0));
    }
    CLabel l1(u"a");
    CLabel l2(u"b");
    Bytes data = Store([&](CArchive& ar) {
        for (auto& d : dots) {
            ar.WriteObject(d.get());
        }
        ar.WriteObject(dots[kDots - 2].get()); // index 0x7FFE: still a WORD
        ar.WriteObject(dots[kDots - 1].get()); // index 0x7FFF
        ar.WriteObject(&l1);                   // CLabel 0x8000, l1 0x8001
        ar.WriteObject(&l2);                   // class index 0x8000
        ar.WriteObject(&l1);
        ar.WriteObject(dots[0].get());
    });
    Bytes tail = Cat({Le16(0x7FFE),
                      Le16(0x7FFF),
                      Le32(0x7FFF), //
                      NewClass("CLabel", 2),
                      {0xFF, 0xFE, 0xFF, 1, 'a', 0},
                      Le16(10), //
                      Le16(0x7FFF),
                      Le32(0x80008000),
                      {0xFF, 0xFE, 0xFF, 1, 'b', 0},
                      Le16(10), //
                      Le16(0x7FFF),
                      Le32(0x8001),
                      Le16(2)});
    ASSERT_GT(data.size(), tail.size());
    EXPECT_EQ(Bytes(data.end() - static_cast<long>(tail.size()), data.end()), tail);

    // Loaded and stored again, the objects give the same bytes.
    CArchive ar(data.data(), data.size());
    std::set<CObject*> seen;
    std::vector<Owned> owned;
    std::vector<CObject*> loaded;
    while (ar.Remaining() > 0) {
        CObject* o = ar.ReadObject(RUNTIME_CLASS(CShape));
        if (seen.insert(o).second) {
            owned.emplace_back(o);
        }
        loaded.push_back(o);
    }
    ASSERT_EQ(loaded.size(), kDots + 6);
    EXPECT_EQ(Store([&](CArchive& out) {
                  for (CObject* o : loaded) {
                      out.WriteObject(o);
                  }
              }),
              data);
}
