// Drawing on pictures, images from files and from the resource folder, and
// the folder's panels and texts.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "framework/wstr.h"
#include "platform/gfx/gfx.h"
#include "platform/resource/resource.h"
#include "support/bytes.h"
#include "support/pictures.h"
#include "support/temp_profile.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

constexpr Color kWhite = Rgb(255, 255, 255), kRed = Rgb(255, 0, 0), kBlue = Rgb(0, 0, 255),
                kGreen = Rgb(0, 255, 0);

std::unique_ptr<PictureGfx> Canvas(int32_t w, int32_t h, Color c) {
    auto pic = CreatePicture(w, h);
    pic->FillRect({0, 0, w, h}, c);
    return pic;
}

Pixels Solid(int32_t w, int32_t h, Color c) {
    return {w, h, std::vector<Color>(static_cast<size_t>(w * h), c)};
}

void Put(Pixels& p, const Rect& r, Color c) {
    for (int32_t y = r.top; y < r.bottom; ++y) {
        for (int32_t x = r.left; x < r.right; ++x) {
            p.data[static_cast<size_t>(y * p.width + x)] = c;
        }
    }
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class ResourceFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = platform::TempDirectory() + "kob-res-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        ASSERT_TRUE(SetResourceModule(Widen(dir.string())));
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

} // namespace

TEST(Picture, ShapesCoverTheirAreaAndNothingElse) {
    const Point tri[] = {{5, 5}, {35, 5}, {5, 35}}, left{0, 20}, right{40, 20};
    const Rect box{5, 5, 15, 15}, frame{10, 10, 30, 30}, round{0, 0, 40, 40};
    struct Case {
        const char* what;
        std::function<void(Gfx&)> draw;
        Rect filled, untouched;
    } cases[] = {
        {"fill", [&](Gfx& g) { g.FillRect(box, kRed); }, box, {15, 0, 40, 40}},
        {"frame", [&](Gfx& g) { g.FrameRect(frame, kRed, 2); }, {10, 10, 30, 12}, {12, 12, 28, 28}},
        {"line", [&](Gfx& g) { g.Line(left, right, kRed); }, {0, 20, 40, 21}, {0, 22, 40, 40}},
        {"polygon", [&](Gfx& g) { g.Polygon(tri, 3, kRed); }, {6, 6, 15, 15}, {30, 30, 40, 40}},
        {"ellipse", [&](Gfx& g) { g.Ellipse(round, kRed); }, {15, 15, 25, 25}, {0, 0, 4, 4}},
    };
    for (const Case& c : cases) {
        auto pic = Canvas(40, 40, kWhite);
        c.draw(*pic);
        Pixels p = pic->Read();
        EXPECT_GT(Share(p, c.filled, kRed), 0.95) << c.what;
        EXPECT_EQ(Share(p, c.untouched, kWhite), 1.0) << c.what;
    }
}

TEST(Picture, BufferShowsOnlyAfterItsCopyAndOnlyOnItsArea) {
    auto pic = Canvas(40, 40, kWhite);
    auto buffer = pic->CreateBuffer({10, 10, 20, 20});
    EXPECT_EQ(buffer->ClipBox().left, 10);
    EXPECT_EQ(buffer->ClipBox().bottom, 20);
    buffer->FillRect({0, 0, 40, 40}, kBlue);
    EXPECT_EQ(Share(pic->Read(), {0, 0, 40, 40}, kWhite), 1.0);
    pic->CopyBuffer(*buffer);
    Pixels p = pic->Read();
    EXPECT_EQ(Share(p, {10, 10, 20, 20}, kBlue), 1.0);
    EXPECT_EQ(Share(p, {20, 0, 40, 40}, kWhite), 1.0);
    EXPECT_EQ(Share(p, {0, 0, 40, 10}, kWhite), 1.0);
}

TEST(Picture, TextStaysInItsExtentAndFollowsTheFontRecord) {
    FontSpec small, large, bold, mono;
    large.height = -20;
    bold.weight = 700;
    mono.face = u"Courier New";
    auto pic = Canvas(200, 40, kWhite);
    Size s = pic->TextExtent(u"Hello", small), l = pic->TextExtent(u"Hello", large);
    EXPECT_GT(l.cx, s.cx);
    EXPECT_GT(l.cy, s.cy);
    EXPECT_GT(pic->TextExtent(u"Hello", bold).cx, s.cx);
    // Tahoma is proportional; Courier New finds a fixed-pitch face.
    EXPECT_LT(pic->TextExtent(u"iiii", small).cx, pic->TextExtent(u"MMMM", small).cx);
    EXPECT_EQ(pic->TextExtent(u"iiii", mono).cx, pic->TextExtent(u"MMMM", mono).cx);
    pic->Text({5, 5}, u"Hello", small, 0);
    Pixels p = pic->Read();
    EXPECT_LT(Share(p, {5, 5, 5 + s.cx, 5 + s.cy}, kWhite), 0.95);
    EXPECT_EQ(Share(p, {5 + s.cx + 2, 0, 200, 40}, kWhite), 1.0);
}

TEST(ImageFiles, PngAndBmpAreReadAndBadFilesRefused) {
    fs::path dir = fs::path(platform::TempDirectory());
    Pixels strip = Solid(6, 3, kBlue);
    Put(strip, {3, 0, 6, 3}, kGreen);
    std::u16string png = Widen((dir / "kob-gfx-test.png").string());
    ASSERT_TRUE(WritePng(strip, png));
    auto img = LoadImageFile(png);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->GetSize().cx, 6);
    EXPECT_EQ(img->Pixel(1, 1), kBlue);
    EXPECT_EQ(img->Pixel(4, 2), kGreen);
    EXPECT_EQ(img->Pixel(6, 0), 0u);

    // 2 x 2, 24 bits, bottom row first, rows padded to 4 bytes.
    Bytes bmp =
        Cat({Bytes{'B', 'M'}, Le32(70), Le32(0), Le32(54), Le32(40), Le32(2), Le32(2), Le16(1),
             Le16(24), Le32(0), Le32(16), Le32(0), Le32(0), Le32(0), Le32(0),
             Bytes{0xFF, 0, 0, 0, 0xFF, 0, 0, 0}, Bytes{0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}});
    fs::path good = dir / "kob-gfx-test.bmp", bad = dir / "kob-gfx-bad.bmp";
    WriteFile(good, std::string(bmp.begin(), bmp.end()));
    img = LoadImageFile(Widen(good.string()));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->Pixel(0, 0), kRed);
    EXPECT_EQ(img->Pixel(1, 0), kWhite);
    EXPECT_EQ(img->Pixel(0, 1), kBlue);
    EXPECT_EQ(img->Pixel(1, 1), kGreen);

    for (size_t cut : {4u, 30u, 60u}) {
        WriteFile(bad, std::string(bmp.begin(), bmp.end() - static_cast<long>(cut)));
        EXPECT_FALSE(LoadImageFile(Widen(bad.string()))) << cut;
    }
    WriteFile(bad, "\x89PNG\r\n\x1a\n not really");
    EXPECT_FALSE(LoadImageFile(Widen(bad.string())));
    EXPECT_FALSE(LoadImageFile(Widen((dir / "kob-gfx-missing.png").string())));

    std::u16string nowhere = Widen((dir / "kob-no-such-dir" / "x.png").string());
    EXPECT_FALSE(WritePng(strip, nowhere));
    EXPECT_FALSE(WritePng({2, 2, {kRed}}, png)); // fewer pixels than its size
    for (const fs::path& f : {dir / "kob-gfx-test.png", good, bad}) {
        fs::remove(f);
    }
}

TEST_F(ResourceFolder, StripsDrawWithoutTheirTransparentColour) {
    // Image 1 of a strip of two 4 x 4 images: magenta around a red centre.
    Pixels strip = Solid(8, 4, kMagenta);
    Put(strip, {0, 0, 4, 4}, kGreen);
    Put(strip, {5, 1, 7, 3}, kRed);
    fs::create_directories(dir / "bitmap");
    ASSERT_TRUE(WritePng(strip, Widen((dir / "bitmap" / "5120.png").string())));
    auto img = LoadBitmapResource(5120);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->GetSize().cx, 8);
    EXPECT_FALSE(LoadBitmapResource(5121));

    struct Case {
        Rect src;
        Transparency t;
        Rect around;
        Color aroundColor;
    } cases[] = {
        {{4, 0, 8, 4}, Transparency::Magenta, {2, 2, 6, 3}, kBlue},
        {{4, 0, 8, 4}, Transparency::None, {2, 2, 6, 3}, kMagenta},
        {{0, 0, 8, 4}, Transparency::TopLeftPixel, {2, 2, 6, 6}, kBlue}, // green image 0 keyed
    };
    for (const Case& c : cases) {
        auto pic = Canvas(12, 8, kBlue);
        pic->DrawImage(*img, c.src, {2, 2}, c.t);
        Pixels p = pic->Read();
        Point red{c.src.left == 0 ? 7 : 3, 3};
        EXPECT_EQ(Share(p, {red.x, red.y, red.x + 2, red.y + 2}, kRed), 1.0);
        EXPECT_EQ(Share(p, c.around, c.aroundColor), 1.0);
        EXPECT_EQ(Share(p, {0, 0, 12, 2}, kBlue), 1.0);
    }
}

TEST_F(ResourceFolder, PanelsAndTextsInTheWantedLanguage) {
    WriteFile(dir / "301" / "11.bin", std::string("\x01\x02\x00\x03", 4));
    WriteFile(dir / "strings.txt", "5019 1033 Resources in use:\n"
                                   "5019 1031 Belegte Ressourcen:\n"
                                   "# a comment, then a line that is no text\n"
                                   "garbage\n"
                                   "5020 1033 Digital port\\nline two \\\\ end\r\n");
    EXPECT_EQ(LoadResourceData(kPanelResourceType, 11), (std::vector<uint8_t>{1, 2, 0, 3}));
    EXPECT_FALSE(LoadResourceData(kPanelResourceType, 12));

    TempProfile profile;
    struct Case {
        const char* lang;
        uint32_t id;
        std::u16string text;
    } cases[] = {
        {"1031", 5019, u"Belegte Ressourcen:"},
        {"2055", 5019, u"Belegte Ressourcen:"}, // Swiss German: German
        {"1036", 5019, u"Resources in use:"},   // no French: English
        {"1033", 5020, u"Digital port\nline two \\ end"},
        {"1033", 9999, u""},
    };
    for (const Case& c : cases) {
        profile.Set("Settings", "LangID", c.lang);
        EXPECT_EQ(Narrow(LoadResourceString(c.id)), Narrow(c.text)) << c.lang << " " << c.id;
    }

    EXPECT_FALSE(SetResourceModule(Widen((dir / "missing").string())));
    EXPECT_TRUE(LoadResourceData(kPanelResourceType, 11)); // the folder stays current
}
