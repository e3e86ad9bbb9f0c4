// Controls read from crafted panel bytes: each takes exactly its fields,
// stores them back byte for byte, and refuses input that ends too soon or
// holds values it cannot show.
#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/fake_window.h"
#include "vi/controls/buttons.h"
#include "vi/controls/displays.h"
#include "vi/controls/gauge.h"
#include "vi/controls/seg7.h"
#include "vi/controls/toggles.h"

namespace {

// A counted string as stored: FF FE FF, the length, UTF-16 little-endian.
Bytes WStr(const std::u16string& s) {
    Bytes out{0xFF, 0xFE, 0xFF, static_cast<uint8_t>(s.size())};
    for (char16_t c : s)
        out = Cat({out, Le16(c)});
    return out;
}

// Rectangle (1, 2, right, bottom), id 7, flags 0x11.
Bytes Base(uint32_t right = 30, uint32_t bottom = 40) {
    return Cat({Le32(1), Le32(2), Le32(right), Le32(bottom), Le32(7), Le32(0x11)});
}
const Bytes kBase = Base();
// Font record, height -12, weight 700, italic, then the face.
const Bytes kFontHead =
    Cat({Le32(0xFFFFFFF4), Le32(0), Le32(0), Le32(0), Le32(700), Bytes{1, 0, 0, 0, 0, 0, 0, 0}});

struct PanelBytes : testing::Test {
    FakeVI vi;
    void SetUp() override { g_bNewPanelFormat = true; }
    void TearDown() override { g_bNewPanelFormat = false; }
};

// Each control takes all of its bytes and stores the same bytes back; one
// byte less is an end-of-file error.
TEST_F(PanelBytes, EveryControlReadsItsFieldsAndStoresThemBack) {
    const Bytes font = Cat({kFontHead, WStr(u"Arial")});
    const std::pair<uint32_t, Bytes> rows[] = {
        {kTagButton, Cat({kBase, Le32(5121), Le32(0)})},
        {kTagCheck, Cat({kBase, Le32(5130), Le32(1)})},
        {kTagRadio, Cat({kBase, Le32(5132), Le32(0), font, WStr(u"Hex")})},
        {kTagPowerButton, Cat({kBase, Le32(5141), Le32(1)})},
        {kTagMenu, Cat({kBase, Le32(5260), Le32(6001)})},
        {kTagLabel, Cat({kBase, font, Le32(0x00FF00), WStr(u"Inputs")})},
        {kTagBitmap, Cat({Base(5761, 26), Le32(5501)})}, // sized to its picture
        {kTagStatus, Cat({kBase, Le32(5143)})},
        {kTagSeg7, Cat({kBase, Le32(5)})},
        {kTagDigSeg7, Cat({kBase, Le32(7), Le32(1), Le32(2)})},
        {kTagFrame, Cat({kBase, Le32(1), Le32(2), Le32(3), Le32(4), Le32(5), Le32(6), Le32(7),
                         Le32(8), Le32(9), Le32(10)})},
        {kTagRelays, Cat({kBase, {12}})},
        {kTagLCD, Cat({kBase, Le32(5153), Le32(16), Le32(16)})},
        {kTagKnob, Cat({kBase, Le32(5201), Le32(3), Le32(2)})},
        {kTagGauge, Cat({Base(101, 62), Le64(0), Le64(10), Le64(2), Le32(50), Le32(10), Le64(1),
                         Le64(4), Le32(100), Le32(8), Le32(0xFF)})}, // sized to its face
    };
    for (const auto& [tag, bytes] : rows) {
        std::unique_ptr<CHotspot> h(CreateHotspotForTag(tag, &vi));
        ASSERT_TRUE(h) << tag;
        EXPECT_EQ(h->m_nTag, tag);
        CArchive in(bytes.data(), bytes.size());
        h->Serialize(in);
        EXPECT_EQ(in.Remaining(), 0u) << tag;
        Bytes out;
        CArchive store(out);
        h->Serialize(store);
        EXPECT_EQ(out, bytes) << tag;
        std::unique_ptr<CHotspot> fresh(CreateHotspotForTag(tag, &vi));
        CArchive cut(bytes.data(), bytes.size() - 1);
        try {
            fresh->Serialize(cut);
            ADD_FAILURE() << tag << " read a short panel";
        } catch (const CArchiveException& e) {
            EXPECT_EQ(e.m_cause, CArchiveException::endOfFile) << tag;
        }
    }
}

TEST_F(PanelBytes, ValuesAControlCannotShowAreRefused) {
    const std::pair<uint32_t, Bytes> bad[] = {
        {kTagKnob, Cat({kBase, Le32(5200), Le32(0), Le32(0)})},      // no positions
        {kTagKnob, Cat({kBase, Le32(5200), Le32(5), Le32(5)})},      // past the last
        {kTagDigSeg7, Cat({kBase, Le32(7), Le32(0), Le32(3)})},      // radix index
        {kTagRelays, Cat({kBase, {16}})},                            // contact
        {kTagLCD, Cat({kBase, Le32(5153), Le32(100000), Le32(64)})}, // columns
        {kTagSeg7, Cat({kBase, Le32(0xFFFFFFFF)})},                  // digits
        {kTagGauge, Cat({kBase, Le64(5), Le64(5), Le64(1), Le32(0), Le32(5), Le64(1), Le64(2),
                         Le32(120), Le32(5), Le32(0)})}, // empty scale
        {kTagLabel, Cat({Le32(0x80000000), Le32(0), Le32(10), Le32(10), Le32(0), Le32(1)})},
    };
    for (const auto& [tag, bytes] : bad) {
        std::unique_ptr<CHotspot> h(CreateHotspotForTag(tag, &vi));
        CArchive ar(bytes.data(), bytes.size());
        EXPECT_THROW(h->Serialize(ar), CArchiveException) << tag;
    }
}

TEST_F(PanelBytes, OldFontRecordIsThirtyTwoBytesOfText) {
    g_bNewPanelFormat = false;
    Bytes face(32, 0);
    face[0] = 'T';
    face[1] = 0xE9; // 8-bit text: Latin-1 e acute
    const Bytes bytes = Cat({kBase, kFontHead, face, Le32(0), WStr(u"x")});
    CHotLabel label;
    CArchive ar(bytes.data(), bytes.size());
    label.Serialize(ar);
    EXPECT_EQ(label.m_Font.face + u"|" + label.m_strText, u"T\u00e9|x");
}

TEST_F(PanelBytes, TagsWithoutAControlMakeNone) {
    for (uint32_t tag : {32808u, 32812u, 32815u, 32821u, 32830u, 32850u, 0u})
        EXPECT_EQ(CreateHotspotForTag(tag, &vi), nullptr) << tag;
}

} // namespace
