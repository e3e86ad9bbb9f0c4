// Vector documents as files: natively through cairo, on Windows through the
// program's own writer; either way a file is replaced whole or left alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "framework/wstr.h"
#include "platform/export/export.h"
#include "platform/profile/profile.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

std::string Head(const fs::path& file, size_t n) {
    std::string s(n, '\0');
    std::ifstream(file, std::ios::binary).read(s.data(), static_cast<std::streamsize>(n));
    return s;
}

TEST(DocumentFile, ReplacesAnOldFileWholeOrWritesNothing) {
    const fs::path dir =
        fs::path(Widen(TempDirectory())) / ("kob-doc-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const fs::path svg = dir / u"scope-\u00b5s.svg", pdf = dir / "scope.pdf";
    std::ofstream(svg) << "an older picture";
    const DrawPicture draw = [](Gfx& dc) { dc.FillRect({0, 0, 20, 10}, Rgb(1, 2, 3)); };

    EXPECT_TRUE(WriteDocument(DocumentKind::Svg, svg.u16string(), {20, 10}, draw));
    EXPECT_EQ(Head(svg, 5), "<?xml");
    EXPECT_TRUE(WriteDocument(DocumentKind::Pdf, pdf.u16string(), {20, 10}, draw));
    EXPECT_EQ(Head(pdf, 5), "%PDF-");
    EXPECT_FALSE(
        WriteDocument(DocumentKind::Svg, (dir / "none" / "a.svg").u16string(), {20, 10}, draw));
    EXPECT_FALSE(WriteDocument(DocumentKind::Pdf, (dir / "empty.pdf").u16string(), {0, 10}, draw));

    std::set<fs::path> left;
    for (const auto& entry : fs::directory_iterator(dir))
        left.insert(entry.path().filename());
    EXPECT_EQ(left, (std::set<fs::path>{svg.filename(), pdf.filename()}));
    fs::remove_all(dir);
}

} // namespace
