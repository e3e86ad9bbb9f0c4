// Loading refuses damaged and hostile files with an archive exception,
// never reads past the end and leaves no object behind.
#include <gtest/gtest.h>

#include <memory>

#include "archive_bytes.h"
#include "stored_shapes.h"

namespace {

using Owned = std::unique_ptr<CObject>;
using Cause = CArchiveException::Cause;

// A document as a loader of this system would store it: a version, a
// title, objects of several classes (nested, repeated, null) and a list.
Bytes StoreDocument() {
    CGroup group;
    group.m_nColour = 0x00FF00;
    auto* inner = new CGroup;
    inner->Add(new CRing(1, 2, 3.5)).Add(nullptr);
    group.Add(new CDot(-5, 5)).Add(new CLabel(u"caption \u00e4", 9)).Add(inner);
    CNote note;
    note.m_nValue = 42;
    CLabel label(WString(300, u'L'));
    CDot a(1, 1);
    CDot b(2, 2);
    return Store([&](CArchive& ar) {
        ar << uint32_t{3} << WString(u"KobLabVIEW");
        ar.WriteObject(&group);
        ar.WriteObject(&group);
        ar.WriteObject(&note);
        ar.WriteObject(&label);
        WriteObjectArray(ar, {&a, nullptr, &b});
        ar << 2.75;
    });
}

// Reads the document back and checks what it holds.
void ReadDocument(CArchive& ar) {
    uint32_t version = 0;
    WString title;
    ar >> version >> title;
    Owned group(ar.ReadObject(RUNTIME_CLASS(CGroup)));
    CObject* again = ar.ReadObject(RUNTIME_CLASS(CShape));
    Owned note(ar.ReadObject(nullptr));
    Owned label(ar.ReadObject(RUNTIME_CLASS(CLabel)));
    std::vector<Owned> list;
    for (CObject* o : ReadObjectArray(ar, RUNTIME_CLASS(CDot))) {
        list.emplace_back(o);
    }
    double tail = 0;
    ar >> tail;

    EXPECT_EQ(version, 3u);
    EXPECT_EQ(title, u"KobLabVIEW");
    EXPECT_EQ(again, group.get());
    auto* g = dynamic_cast<CGroup*>(group.get());
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->m_members.size(), 3u);
    EXPECT_EQ(dynamic_cast<CLabel*>(g->m_members[1])->m_strText, u"caption \u00e4");
    auto* inner = dynamic_cast<CGroup*>(g->m_members[2]);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(dynamic_cast<CRing*>(inner->m_members[0])->m_dRadius, 3.5);
    EXPECT_EQ(dynamic_cast<CNote*>(note.get())->m_nValue, 42u);
    EXPECT_EQ(dynamic_cast<CLabel*>(label.get())->m_strText.size(), 300u);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_FALSE(list[1]);
    EXPECT_EQ(dynamic_cast<CDot*>(list[2].get())->m_nX, 2);
    EXPECT_EQ(tail, 2.75);
    EXPECT_EQ(CShape::Live(), 8);
}

} // namespace

TEST(ArchiveMalformed, EveryCutOfAGoodFileEndsInEndOfFileAndLeavesNothing) {
    Bytes doc = StoreDocument();
    ASSERT_EQ(CShape::Live(), 0);
    ASSERT_EQ(CauseOf(doc, ReadDocument), std::nullopt);
    ASSERT_EQ(CShape::Live(), 0);
    for (size_t n = 0; n < doc.size(); ++n) {
        Bytes cut(doc.begin(), doc.begin() + static_cast<long>(n));
        EXPECT_EQ(CauseOf(cut, ReadDocument), CArchiveException::endOfFile) << "cut at " << n;
        ASSERT_EQ(CShape::Live(), 0) << "cut at " << n;
    }
}

TEST(ArchiveMalformed, UnknownUnstorableAndUnexpectedClassesAreRefused) {
    auto one = [](const CRuntimeClass* expected) {
        return [expected](CArchive& ar) { Owned o(ar.ReadObject(expected)); };
    };
    auto shape = one(RUNTIME_CLASS(CShape));
    struct Case {
        const char* what;
        Bytes data;
        std::function<void(CArchive&)> read;
        Cause cause;
    };
    const Case cases[] = {
        {"unknown name", Cat({NewClass("CSquare", 1), D(0)}), shape, CArchiveException::badClass},
        {"name with a NUL", Cat({NewClass(std::string("CDot\0x", 6), 1), D(0), D(0)}), shape,
         CArchiveException::badClass},
        {"empty name", Cat({W(0xFFFF), W(1), W(0)}), shape, CArchiveException::badClass},
        {"name too long", Cat({NewClass(std::string(65, 'C'), 1), D(0)}), shape,
         CArchiveException::badClass},
        {"not storable", Cat({NewClass("CShape", 0xFFFF)}), shape, CArchiveException::badClass},
        {"the root", Cat({NewClass("CObject", 0xFFFF)}), one(nullptr), CArchiveException::badClass},
        {"another schema", Cat({NewClass("CDot", 2), D(0), D(0)}), shape,
         CArchiveException::badSchema},
        {"not a shape", Cat({NewClass("CNote", 1), D(0)}), shape, CArchiveException::badClass},
        {"not the class asked for", Cat({NewClass("CDot", 1), D(0), D(0)}),
         one(RUNTIME_CLASS(CLabel)), CArchiveException::badClass},
        {"a base of the class asked for", Cat({NewClass("CDot", 1), D(0), D(0)}),
         one(RUNTIME_CLASS(CRing)), CArchiveException::badClass},
        {"a note referred to as a shape", Cat({NewClass("CNote", 1), D(0), W(2)}),
         [](CArchive& ar) {
             Owned note(ar.ReadObject(nullptr));
             ar.ReadObject(RUNTIME_CLASS(CShape));
         },
         CArchiveException::badClass},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CauseOf(c.data, c.read), c.cause) << c.what;
        EXPECT_EQ(CShape::Live(), 0) << c.what;
    }
}

TEST(ArchiveMalformed, IndicesThatNameNothingOrTheWrongKindAreRefused) {
    auto two = [](CArchive& ar) {
        Owned first(ar.ReadObject(nullptr));
        ar.ReadObject(nullptr);
    };
    auto one = [](CArchive& ar) { Owned o(ar.ReadObject(nullptr)); };
    Bytes dot = Cat({NewClass("CDot", 1), D(0), D(0)}); // CDot 1, the dot 2
    struct Case {
        const char* what;
        Bytes data;
        std::function<void(CArchive&)> read;
    };
    const Case cases[] = {
        {"class index 0", W(0x8000), one},
        {"class in an empty file", W(0x8001), one},
        {"object in an empty file", W(1), one},
        {"object index naming a class", Cat({dot, W(1)}), two},
        {"class index naming an object", Cat({dot, W(0x8002)}), two},
        {"object not yet read", Cat({dot, W(3)}), two},
        {"class not yet read", Cat({dot, W(0x8003)}), two},
        {"long object index out of range", Cat({dot, W(0x7FFF), D(0x12345)}), two},
        {"long object index 0", Cat({dot, W(0x7FFF), D(0)}), two},
        {"long class index out of range", Cat({dot, W(0x7FFF), D(0x80001234)}), two},
        {"long class index naming an object", Cat({dot, W(0x7FFF), D(0x80000002)}), two},
        {"long index all ones", Cat({dot, W(0x7FFF), D(0xFFFFFFFF)}), two},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CauseOf(c.data, c.read), CArchiveException::badIndex) << c.what;
        EXPECT_EQ(CShape::Live(), 0) << c.what;
    }

    // The long forms are fine where they name something.
    Bytes good = Cat({dot, W(0x7FFF), D(0x80000001), D(7), D(8), W(0x7FFF), D(2)});
    CArchive ar(good.data(), good.size());
    Owned first(ar.ReadObject(RUNTIME_CLASS(CDot)));
    Owned second(ar.ReadObject(RUNTIME_CLASS(CDot)));
    EXPECT_EQ(dynamic_cast<CDot*>(second.get())->m_nY, 8);
    EXPECT_EQ(ar.ReadObject(RUNTIME_CLASS(CDot)), first.get());
}

TEST(ArchiveMalformed, LengthsAndCountsBeyondTheDataAreRefusedBeforeAnythingIsMade) {
    auto str = [](CArchive& ar) { ar.ReadString(); };
    auto list = [](CArchive& ar) {
        for (CObject* o : ReadObjectArray(ar, nullptr)) {
            delete o;
        }
    };
    struct Case {
        const char* what;
        Bytes data;
        std::function<void(CArchive&)> read;
    };
    const Case cases[] = {
        {"8-bit byte length", {5, 'a', 'b'}, str},
        {"8-bit WORD length", Cat({{0xFF}, W(300), Bytes(299, 'x')}), str},
        {"8-bit DWORD length", Cat({{0xFF}, W(0xFFFF), D(0xFFFFFFFF), {'x'}}), str},
        {"wide byte length", {0xFF, 0xFE, 0xFF, 2, 'a', 0, 'b'}, str},
        {"wide DWORD length", Cat({{0xFF, 0xFE, 0xFF, 0xFF}, W(0xFFFF), D(0x80000000)}), str},
        {"wide mark cut short", {0xFF, 0xFE}, str},
        {"element count", Cat({W(3), W(0), W(0)}), list},
        {"long element count", Cat({W(0xFFFF), D(0xFFFFFFFF), W(0)}), list},
        {"count cut short", Cat({W(0xFFFF), W(0)}), list},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CauseOf(c.data, c.read), CArchiveException::endOfFile) << c.what;
    }
}

TEST(ArchiveMalformed, ADamagedMemberDeepInsideLeavesNoObjectAndFreesEachOnce) {
    // group { dot, group { dot, label cut short } }
    Bytes data = Cat({NewClass("CGroup", 2),
                      D(0),
                      W(2),
                      NewClass("CDot", 1),
                      D(1),
                      D(1), //
                      W(0x8001),
                      D(0),
                      W(2),
                      W(0x8003),
                      D(2),
                      D(2), //
                      NewClass("CLabel", 2),
                      {0xFF, 0xFE, 0xFF, 9, 'a', 0}});
    EXPECT_EQ(CauseOf(data, [](CArchive& ar) { Owned o(ar.ReadObject(RUNTIME_CLASS(CShape))); }),
              CArchiveException::endOfFile);
    EXPECT_EQ(CShape::Live(), 0);

    // The same at the top of a list.
    Bytes list = Cat({W(2), NewClass("CDot", 1), D(1), D(1), NewClass("CGroup", 2), D(0), W(1),
                      W(0x8001), D(5)});
    EXPECT_EQ(CauseOf(list, [](CArchive& ar) { ReadObjectArray(ar, nullptr); }),
              CArchiveException::endOfFile);
    EXPECT_EQ(CShape::Live(), 0);
}

TEST(ArchiveMalformed, ObjectsNestedBeyondAnyRealFileAreRefused) {
    // Groups in groups, the innermost holding a dot.
    auto nested = [](int levels) {
        Bytes b = Cat({NewClass("CGroup", 2), D(0), W(1)});
        const Bytes level = Cat({W(0x8001), D(0), W(1)});
        for (int i = 1; i < levels; ++i) {
            b.insert(b.end(), level.begin(), level.end());
        }
        return Cat({b, NewClass("CDot", 1), D(1), D(2)});
    };
    auto read = [](CArchive& ar) { Owned o(ar.ReadObject(RUNTIME_CLASS(CGroup))); };
    EXPECT_EQ(CauseOf(nested(255), read), std::nullopt);
    EXPECT_EQ(CShape::Live(), 0);
    EXPECT_EQ(CauseOf(nested(256), read), CArchiveException::generic);
    EXPECT_EQ(CShape::Live(), 0);
    EXPECT_EQ(CauseOf(nested(100000), read), CArchiveException::generic);
    EXPECT_EQ(CShape::Live(), 0);
}

TEST(ArchiveMalformed, AnOwnedMemberCannotBeAnObjectReadBefore) {
    auto oneShape = [](CArchive& ar) { Owned o(ar.ReadObject(RUNTIME_CLASS(CShape))); };
    // Indices: CGroup 1, group 2, CDot 3, dot 4.
    Bytes twice = Cat({NewClass("CGroup", 2), D(0), W(2), NewClass("CDot", 1), D(1), D(1), W(4)});
    EXPECT_EQ(CauseOf(twice, oneShape), CArchiveException::badIndex);
    EXPECT_EQ(CShape::Live(), 0);

    Bytes itself = Cat({NewClass("CGroup", 2), D(0), W(1), W(2)});
    EXPECT_EQ(CauseOf(itself, oneShape), CArchiveException::badIndex);
    EXPECT_EQ(CShape::Live(), 0);

    // A dot read on its own, then a group that claims it as a member: the
    // group is refused, the dot stays the caller's.
    {
        Bytes taken =
            Cat({NewClass("CDot", 1), D(6), D(7), NewClass("CGroup", 2), D(0), W(1), W(2)});
        CArchive ar(taken.data(), taken.size());
        Owned dot(ar.ReadObject(RUNTIME_CLASS(CDot)));
        try {
            Owned g(ar.ReadObject(RUNTIME_CLASS(CGroup)));
            ADD_FAILURE() << "a member owned twice was accepted";
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, CArchiveException::badIndex);
        }
        EXPECT_EQ(CShape::Live(), 1);
        EXPECT_EQ(dynamic_cast<CDot*>(dot.get())->m_nY, 7);
    }

    // The same in a list at the top.
    Bytes list = Cat({W(2), NewClass("CDot", 1), D(1), D(1), W(2)});
    EXPECT_EQ(CauseOf(list, [](CArchive& a) { ReadObjectArray(a, nullptr); }),
              CArchiveException::badIndex);
    EXPECT_EQ(CShape::Live(), 0);
}

TEST(ArchiveMalformed, ObjectsOfAFailedReadCannotBeReferredToAfterwards) {
    // group { dot, an unknown class }, then a reference to that dot.
    Bytes data = Cat({NewClass("CGroup", 2), D(0), W(2), NewClass("CDot", 1), D(1), D(1),
                      NewClass("CSquare", 1), W(4)});
    CArchive ar(data.data(), data.size());
    try {
        Owned g(ar.ReadObject(nullptr));
        ADD_FAILURE() << "an unknown class was accepted";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::badClass);
    }
    EXPECT_EQ(CShape::Live(), 0);
    try {
        ar.ReadObject(nullptr);
        ADD_FAILURE() << "a deleted object was handed out";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::badIndex);
    }
}

TEST(ArchiveMalformed, StoringAndLoadingStayApartAndUnstorableObjectsAreNotWritten) {
    Bytes out;
    CArchive store(out);
    uint8_t b = 0;
    EXPECT_THROW(store >> b, CArchiveException);
    EXPECT_THROW(store.ReadObject(nullptr), CArchiveException);

    Bytes in = {1, 2, 3};
    CArchive load(in.data(), in.size());
    EXPECT_THROW(load << b, CArchiveException);
    EXPECT_THROW(load.WriteObject(nullptr), CArchiveException);
    load >> b;
    EXPECT_EQ(b, 1);

    CShape plain; // a shape of no storable class
    try {
        store.WriteObject(&plain);
        ADD_FAILURE() << "an unstorable object was written";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::badClass);
    }
    EXPECT_TRUE(out.empty());
}
