// The panel set as the windows read it: panels, strips, need words, texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "framework/archive.h"
#include "framework/wstr.h"

namespace {

namespace fs = std::filesystem;
const fs::path kSet = KOB_PANELS_DIR;

std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    EXPECT_TRUE(f) << p;
    return {std::istreambuf_iterator<char>(f), {}};
}

struct Control {
    uint32_t tag = 0;
    int32_t rc[4] = {};
    uint32_t id = 0, flags = 0;
    std::vector<uint32_t> words; // u32 and u8 fields, font records in full
    std::vector<double> reals;
    std::vector<WString> texts;
};

struct Panel {
    uint32_t header = 0, needs[10] = {}, width = 0, height = 0, image = 0, texture = 0, extra = 0;
    WString title, imageFile;
    std::vector<Control> controls;
};

// Fields after the base ones in stored order: u = u32, b = u8, d = f64,
// s = string; a font record is five u32, eight bytes and the face name.
const std::string kFont = "uuuuubbbbbbbbs";
const std::map<uint32_t, std::string> kLayout = {{32809, kFont + "us"}, {32810, "u"},
                                                 {32811, "u"},          {32813, "uu"},
                                                 {32814, "u"},          {32816, "uu"},
                                                 {32817, "uuu"},        {32818, "uu" + kFont + "s"},
                                                 {32820, "uu"},         {32822, "uuuuuuuuuu"},
                                                 {32823, "b"},          {32824, "uuu"},
                                                 {32825, "uuu"},        {32827, "uu"},
                                                 {32828, "ddduudduuu"}, {32819, "uu"},
                                                 {32826, "uu" + kFont}, {32831, "ddduudduuu"},
                                                 {32829, "uuu"},        {32850, ""}};

Panel Read(const std::vector<uint8_t>& bytes) {
    CArchive ar(bytes.data(), bytes.size());
    Panel p;
    ar >> p.header;
    ar.Read(p.needs, sizeof p.needs);
    ar >> p.width >> p.height >> p.title >> p.image >> p.texture >> p.imageFile >> p.extra;
    for (uint32_t tag; ar >> tag, tag != 32808;) {
        auto layout = kLayout.find(tag);
        if (layout == kLayout.end()) {
            ADD_FAILURE() << "tag " << tag;
            break;
        }
        Control c;
        c.tag = tag;
        ar.Read(c.rc, sizeof c.rc);
        ar >> c.id >> c.flags;
        for (char kind : layout->second) {
            double d = 0;
            uint32_t u = 0;
            uint8_t b = 0;
            if (kind == 's') {
                c.texts.push_back(ar.ReadString());
            } else if (kind == 'd') {
                c.reals.push_back((ar >> d, d));
            } else {
                c.words.push_back(kind == 'u' ? (ar >> u, u) : (ar >> b, uint32_t(b)));
            }
        }
        p.controls.push_back(std::move(c));
    }
    EXPECT_EQ(ar.Remaining(), 0u) << "bytes after the end tag";
    return p;
}

// Width and height of a PNG file, from its header.
std::pair<uint32_t, uint32_t> PngSize(uint32_t bitmap) {
    auto b = ReadAll(kSet / "bitmap" / (std::to_string(bitmap) + ".png"));
    b.resize(std::max<size_t>(b.size(), 24)); // no file: no size
    auto be = [&](size_t i) {
        return uint32_t(b[i]) << 24 | b[i + 1] << 16 | b[i + 2] << 8 | b[i + 3];
    };
    return {be(16), be(20)};
}

} // namespace

// A small text panel comes back with the values written, in the order
// written, fields left out at the control's defaults.
TEST(Panels, CompiledTextReadsBackThroughTheArchive) {
    Panel p = Read(ReadAll(KOB_SAMPLE_PANEL));
    using Words = std::vector<uint32_t>;
    const uint32_t none = 0xFFFFFFFF, h12 = uint32_t(-12), h9 = uint32_t(-9);
    EXPECT_EQ(
        (Words{p.header, p.needs[0], p.needs[9], p.width, p.height, p.image, p.texture, p.extra}),
        (Words{3, 1, 9, 300, 200, 0, 2, 5}));
    EXPECT_EQ(p.title, u"P\u00e4nel");
    Words tags, ids, lefts;
    for (const Control& c : p.controls) {
        tags.push_back(c.tag), ids.push_back(c.id), lefts.push_back(uint32_t(c.rc[0]));
    }
    ASSERT_EQ(tags, (Words{32816, 32811, 32811, 32809, 32818, 32823, 32822, 32828}));
    EXPECT_EQ(ids, (Words{4036, 4000, 4001, none, 3000, none, none, none}));
    EXPECT_EQ(lefts, (Words{10, 100, 120, 10, 10, 10, 0, 120}));
    EXPECT_EQ(p.controls[0].words, (Words{5121, 0}));
    EXPECT_EQ(p.controls[2].words, Words{5143});
    EXPECT_EQ(p.controls[3].words, (Words{h12, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 0, 0x123456}));
    EXPECT_EQ(p.controls[3].texts, (std::vector<WString>{u"Tahoma", u"Bits 8"}));
    EXPECT_EQ(p.controls[4].words, (Words{5131, 1, h9, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(p.controls[4].texts.back(), u"Word");
    EXPECT_EQ(p.controls[5].words, Words{9});
    EXPECT_EQ(p.controls[6].words, (Words{1, 2, 5, 10, 6, 2, 2, 0xFFFFFF, 0, 0xC0C0C0}));
    const Control& gauge = p.controls[7];
    EXPECT_EQ(gauge.reals, (std::vector<double>{0.0, 5.0, 1.0, 2 * std::numbers::pi / 3,
                                                3 * std::numbers::pi / 2}));
    EXPECT_EQ(gauge.words, (Words{uint32_t(gauge.rc[2] - gauge.rc[0]) / 2, 5, 120, 5, 0}));
}

// Every panel of the set ends with its end tag, keeps its controls inside
// its client area, and sizes every control to one picture of its strip. The
// range labels lie over the gauge face, one label as wide as the face; the
// graphic display draws a byte as one column of 8 dots. Each window type shows
// the controls of what it serves; option buttons next to each other in the
// list form one group, so each group must stand apart from the next. Two
// windows that serve the same part of the box share a need bit in the first
// eight words; windows of different parts do not.
TEST(Panels, EveryPanelFitsItsStripsAndCarriesItsControls) {
    const std::map<uint32_t, uint32_t> images = {
        {32811, 2}, {32813, 5}, {32816, 2}, {32820, 4}, {32827, 2}};
    const std::set<uint32_t> inputs = {4000, 4015, 4042, 3002, 3003, 3044, 3046};
    const std::set<uint32_t> outputs = {4020, 4035, 4036, 4037, 4039, 4040, 4043, 3000, 3001, 3049};
    const std::set<uint32_t> relays = {4100, 4107, 4108, 4115, 4116, 4123};
    // Three-phase windows: the numbers they step, the waveform or direction
    // choices, the output switch.
    const std::set<uint32_t> dcSupplies = {4420, 4430, 4440, 4520, 4522, 4514, 4515, 4500};
    const std::set<uint32_t> acSupply = {4400, 4410, 4420, 4440, 4444, 4510, 4513, 4500};
    const std::set<uint32_t> motor = {4470, 4471, 4474, 4530, 4531, 4500};
    const std::set<uint32_t> threePhase = {4400, 4410, 4420, 4440, 4450, 4460, 4464, 4510, 4540};
    const std::set<uint32_t> scope = {5400, 5403, 5406, 5413, 5409, 5416, 5422, 5427, 5433, 5444};
    const std::map<uint32_t, std::vector<const std::set<uint32_t>*>> want = {
        {11, {&inputs, &outputs}}, {12, {&inputs}},   {13, {&outputs}},
        {14, {&relays}},           {21, {&relays}},   {22, {&inputs, &outputs, &relays}},
        {41, {&dcSupplies}},       {42, {&acSupply}}, {43, {&motor}},
        {48, {&threePhase}},       {51, {&scope}}};
    const std::set<std::set<uint32_t>> groups = {{3000, 3001},
                                                 {3002, 3003},
                                                 {3044, 3045, 3046},
                                                 {3047, 3048, 3049},
                                                 {4510, 4511, 4512, 4513},
                                                 {4514, 4515},
                                                 {4530, 4531},
                                                 // Meter windows: couplings of A (or both) and of
                                                 // B, readings, shunts, references.
                                                 {5620, 5621, 5622},
                                                 {5623, 5624, 5625},
                                                 {5630, 5631, 5632},
                                                 {5630, 5631},
                                                 {5640, 5641, 5642, 5643},
                                                 {5645, 5646},
                                                 // The oscilloscope's option groups.
                                                 {5407, 5408, 5409},
                                                 {5414, 5415, 5416},
                                                 {5420, 5421, 5422},
                                                 {5423, 5424},
                                                 {5431, 5432}};
    std::map<uint32_t, Panel> panels;
    for (const auto& e : fs::directory_iterator(kSet / "301")) {
        panels[std::stoul(e.path().stem().string())] = Read(ReadAll(e.path()));
    }
    // The types listed above are checked for their controls and groups; every
    // other panel for its fit.
    EXPECT_GE(panels.size(), want.size());
    for (const auto& [type, p] : panels) {
        const bool listed = want.count(type) != 0;
        std::set<uint32_t> ids, contacts, group;
        for (const Control& c : p.controls) {
            SCOPED_TRACE("type " + std::to_string(type) + " control " + std::to_string(c.id));
            EXPECT_TRUE(c.rc[0] >= 0 && c.rc[1] >= 0 && c.rc[0] < c.rc[2] && c.rc[1] < c.rc[3]);
            EXPECT_TRUE(uint32_t(c.rc[2]) <= p.width && uint32_t(c.rc[3]) <= p.height);
            auto [w, h] = std::pair<uint32_t, uint32_t>{c.rc[2] - c.rc[0], c.rc[3] - c.rc[1]};
            if (auto n = images.find(c.tag); n != images.end()) {
                EXPECT_EQ(PngSize(c.words[0]), std::make_pair(n->second * w, h));
            } else if (c.tag == 32823) {
                EXPECT_EQ(PngSize(5144), std::make_pair(2 * w, h));
                contacts.insert(c.words[0]);
            } else if (c.tag == 32817) {
                EXPECT_EQ(PngSize(5146), std::make_pair(18 * w / c.words[0], h));
            } else if (c.tag == 32818) {
                EXPECT_EQ(PngSize(c.words[0]).second, h);
                group.insert(c.id);
            }
            ids.insert(c.id);
            if (c.tag != 32818 && !group.empty()) {
                EXPECT_TRUE(!listed || groups.count(group)) << "group at " << *group.begin();
                group.clear();
            }
        }
        EXPECT_GT(PngSize(5110 + p.texture).first, 0u);
        if (!listed) {
            continue;
        }
        for (const auto* s : want.at(type)) {
            for (uint32_t id : *s) {
                EXPECT_TRUE(ids.count(id)) << "type " << type << " lacks " << id;
            }
        }
        EXPECT_EQ(contacts.size(), want.at(type).back() == &relays ? 16u : 0u) << type;
    }
    EXPECT_EQ(PngSize(5271).first, 11 * PngSize(5270).first);
    EXPECT_EQ(PngSize(5153).first % 256, 0u);
    EXPECT_EQ(PngSize(5153).second, 8u);
    const uint32_t pairs[][3] = {{11, 12, 1}, {11, 13, 1}, {12, 13, 0}, {14, 21, 1},
                                 {22, 12, 1}, {22, 14, 1}, {11, 14, 0}, {13, 21, 0},
                                 {11, 11, 1}, {41, 48, 1}, {42, 43, 1}, {48, 11, 0},
                                 {61, 62, 0}, {61, 67, 1}, {64, 68, 1}, {61, 11, 0}};
    for (auto [a, b, conflict] : pairs) {
        uint32_t shared = 0;
        for (int i = 0; i < 8; ++i) {
            shared |= panels.at(a).needs[i] & panels.at(b).needs[i];
        }
        EXPECT_EQ(shared != 0, conflict != 0) << a << " and " << b;
    }
}

// The message texts of the windows exist in all four languages.
TEST(Panels, MessageTextsInFourLanguages) {
    std::ifstream f(kSet / "strings.txt");
    std::map<uint32_t, std::set<uint32_t>> langs;
    std::string text;
    for (uint32_t id = 0, lang = 0; f >> id >> lang && std::getline(f, text);) {
        langs[id].insert(lang);
    }
    EXPECT_TRUE(f.eof()) << "a line without its id and language";
    for (uint32_t id : {103, 5019, 5020, 5021, 5022, 5023, 5024, 5025, 5026, 5027, 5030, 5031}) {
        EXPECT_EQ(langs[id], (std::set<uint32_t>{1031, 1033, 1036, 3082})) << id;
    }
}
