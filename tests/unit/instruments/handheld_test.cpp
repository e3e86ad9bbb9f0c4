// The hand-held meter's three record formats: crafted records against the
// display text, mode, unit, over-range flag and kind the window shows.
#include <gtest/gtest.h>

#include "device/kobface.h"
#include "instruments/handheld/handheld.h"
#include "support/comm_code.h"
#include "support/scripted_stream.h"
#include "support/stored.h"

namespace {

struct Case {
    const char* name;
    int format;
    Bytes record;
    bool result;
    std::u16string display, mode, unit;
    bool over;
    uint32_t kind;
};

// A fresh meter shows "-88.888" with no mode and no unit.
// clang-format off
const Case kCases[] = {
    {"1: minus, point after the first digit, sixth digit cut",
     1, {1, 1, 0x09, 6, 5, 4, 3, 2, 1}, true, u"-1.2345", u"V DC", u"V", false, 1},
    {"1: digit 0x0A shows ':' and is over-range",
     1, {1, 8, 0, 0, 0, 0, 0, 0, 0x0A}, true, u" :00.00", u"Ohm", u"Ohm", true, 3},
    {"1: farad range 6 cut at 5, no point",
     1, {1, 9, 6, 6, 5, 4, 3, 2, 1}, true, u" 1234", u"Farad", u"\u00B5F", false, 6},
    {"1: events, no point, units of volts",
     1, {1, 0x5A, 0, 6, 5, 4, 3, 2, 1}, true, u" 12345", u"Events (AC)", u"mV", false, 0},
    {"1: mode 30 decodes and gives no reading",
     1, {1, 30, 0, 6, 5, 4, 3, 2, 1}, false, u" 12345", u"ON", u"Hz", false, 4},
    {"1: mode above 32 has no name; the hidden sixth digit still flags over-range",
     1, {1, 40, 0, 0x0B, 0, 0, 0, 0, 0}, true, u" 00000", u"", u"", true, 0},
    {"1: no reading keeps the display",
     1, {0, 1, 1, 1, 1, 1, 1, 1, 1}, false, u"-88.888", u"", u"", false, 0},
    {"2: no measurement",
     2, {8, 0x30, 0, 0, 0, 0, '1', '2', '3', '4'}, true, u" ----", u"", u"", false, 2},
    {"2: minus, point at 2",
     2, {9, 2, 0, 0, 0x05, 0, '4', '3', '2', '1'}, true, u"-1.234", u"DC", u"V", false, 1},
    {"2: character rule, degrees at range 0",
     2, {8, 9, 0, 0, 0, 0, ':', ';', '<', '7'}, true, u" 7- .L", u"", u"\u00BAC", true, 3},
    {"2: current AC at range 0",
     2, {8, 14, 0, 0, 0x08, 0, '4', '3', '2', '1'}, true, u" 123.4", u"AC", u"\u00B5A", false, 5},
    {"2: no reading",
     2, {0xFF, 2, 0, 0, 0, 0, '4', '3', '2', '1'}, false, u"-88.888", u"", u"", false, 0},
    {"2: unexpected first byte",
     2, {13, 2, 0, 0, 0, 0, '4', '3', '2', '1'}, true, u"-88.888", u"", u"", false, 0},
    {"3: ':' rightmost shows L",
     3, {13, 3, 0, 0, 3, ':', '4', '3', '2', '1'}, true, u"+123.4L", u"DC", u"V", true, 2},
    {"3: range 6 has no point, position 1 blank",
     3, {13, 12, 0, 0, 0x0E, '5', '4', '3', '2', '1'}, true, u"- 12345", u"", u"Hz", false, 1},
    {"3: resistance range 4 point at 2",
     3, {13, 4, 0, 0, 4, '5', '4', '3', '2', '1'}, true, u"+1.2345", u"", u"MOhm", false, 4},
    {"3: no measurement",
     3, {13, 0x30, 0, 0, 0, '5', '4', '3', '2', '1'}, true, u" ----", u"", u"", false, 3},
    {"3: no reading",
     3, {0xFF, 3, 0, 0, 3, '5', '4', '3', '2', '1'}, false, u"-88.888", u"", u"", false, 0},
    {"3: unexpected first byte",
     3, {8, 3, 0, 0, 3, '5', '4', '3', '2', '1'}, true, u"-88.888", u"", u"", false, 0},
};
// clang-format on

} // namespace

TEST(Handheld, RecordsOfTheThreeFamilies) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CKobface kobface;
        auto* stream = new ScriptedStream;
        kobface.SetStream(stream);
        CMetraHit meter(&kobface);
        stream->Reply(c.record);
        const bool result = c.format == 1   ? meter.ReadFormat1()
                            : c.format == 2 ? meter.ReadFormat2()
                                            : meter.ReadFormat3();
        EXPECT_EQ(stream->Written(), Bytes{uint8_t(c.format == 1 ? 0x50 : 0x51)});
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(meter.Display(), c.display);
        EXPECT_EQ(std::u16string(meter.m_pszMode), c.mode);
        EXPECT_EQ(std::u16string(meter.m_pszUnit), c.unit);
        EXPECT_EQ(meter.m_bOver != 0, c.over);
        EXPECT_EQ(meter.m_nKind, c.kind);
    }
}

TEST(Handheld, AShortRecordFailsAndStoresOnlyAVersion) {
    CKobface kobface;
    auto* stream = new ScriptedStream;
    kobface.SetStream(stream);
    CMetraHit meter(&kobface);
    stream->Reply({8, 2, 0, 0, 0});
    EXPECT_EQ(CodeOf([&] { meter.ReadFormat2(); }), 20012u);
    EXPECT_EQ(meter.Display(), u"-88.888");

    EXPECT_EQ(Stored(meter), (Bytes{1, 0, 0, 0}));
    EXPECT_THROW(Load(meter, {1, 0, 0}), CArchiveException);
}
