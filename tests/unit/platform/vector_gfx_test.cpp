// SVG and PDF documents of the program's own writer: a small picture read
// back by an independent XML parser and by walking the PDF's cross-reference.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/export/vector_gfx.h"
#include "support/temp_profile.h"

using namespace platform;

namespace {

constexpr Color kRed = Rgb(255, 0, 0), kBlue = Rgb(0, 0, 255), kGrey = Rgb(128, 128, 128);

// Two pixels wide: red, then magenta (left out when drawn keyed).
class TwoPixels final : public Image {
public:
    Size GetSize() const override { return {2, 1}; }
    Color Pixel(int32_t x, int32_t y) const override {
        return y == 0 && x == 0 ? kRed : y == 0 && x == 1 ? kMagenta : 0;
    }
};

void Picture(Gfx& dc) {
    FontSpec bold;
    bold.height = -12;
    bold.weight = 700;
    dc.FillRect({10, 20, 30, 25}, kRed);
    dc.FrameRect({40, 40, 60, 60}, kBlue, 2);
    // A trace: three lines end to end, then one of its own width.
    dc.Line({0, 0}, {10, 10}, kGrey);
    dc.Line({10, 10}, {20, 5}, kGrey);
    dc.Line({20, 5}, {30, 5}, kGrey);
    dc.Line({0, 90}, {100, 90}, kBlue, 3);
    dc.Text({5, 50}, u"a&b <c> \u03a9 (x)", FontSpec{}, kBlue);
    dc.Text({5, 70}, u"Bold", bold, kRed);
    dc.Ellipse({60, 10, 90, 30}, kGrey);
    TwoPixels image;
    auto buffer = dc.CreateBuffer({70, 60, 90, 80});
    buffer->DrawImage(image, {0, 0, 2, 1}, {72, 62}, Transparency::Magenta);
    dc.CopyBuffer(*buffer);
}

// Parses the SVG with Python's XML parser: one line per element (local
// name, then its text), the image's pixels as RGBA decoded from its PNG.
std::string ParsedSvg(const std::string& svg) {
    const std::string path = TempDirectory() + "kob-vector-test.svg";
    std::ofstream(path, std::ios::binary) << svg;
    const std::string script =
        "import sys, xml.etree.ElementTree as E, base64, zlib, struct\n"
        "r = E.parse(sys.argv[1]).getroot()\n"
        "print('size', r.get('width'), r.get('height'), r.get('viewBox'))\n"
        "for e in r.iter():\n"
        "    print(e.tag.split('}')[1], e.text or '')\n"
        "    href = e.get('{http://www.w3.org/1999/xlink}href')\n"
        "    if href:\n"
        "        png = base64.b64decode(href.split(',')[1]); at = 8; data = b''\n"
        "        while at < len(png):\n"
        "            n, = struct.unpack('>I', png[at:at+4]); kind = png[at+4:at+8]\n"
        "            body = png[at+8:at+8+n]\n"
        "            crc, = struct.unpack('>I', png[at+8+n:at+12+n])\n"
        "            assert crc == zlib.crc32(kind + body), kind\n"
        "            data += body if kind == b'IDAT' else b''; at += 12 + n\n"
        "        print('pixels', zlib.decompress(data).hex())\n";
    const std::string command =
        "PYTHONIOENCODING=utf-8 " + std::string(KOB_PYTHON) + " -c \"" + script + "\" " + path;
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        if (pclose(p) != 0)
            out += "parser failed";
    }
    std::remove(path.c_str());
    return out;
}

TEST(VectorDocument, SvgIsWellFormedXmlWithTheDrawnElements) {
    const std::string parsed =
        ParsedSvg(DrawVectorDocument(DocumentKind::Svg, {100, 100}, Picture));
    std::map<std::string, int> tags;
    std::istringstream lines(parsed);
    for (std::string line; std::getline(lines, line);)
        ++tags[line.substr(0, line.find(' '))];
    EXPECT_NE(parsed.find("size 100pt 100pt 0 0 100 100\n"), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("text a&b <c> \u03a9 (x)\n"), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("text Bold\n"), std::string::npos) << parsed;
    // Filter byte 0, then red opaque and magenta fully transparent.
    EXPECT_NE(parsed.find("pixels 00ff0000ffff00ff00\n"), std::string::npos) << parsed;
    EXPECT_EQ(tags["rect"], 2); // the filled one and the buffer's clip
    EXPECT_EQ(tags["path"], 1); // the frame
    EXPECT_EQ(tags["polyline"], 2);
    EXPECT_EQ(tags["ellipse"], 1);
    EXPECT_EQ(tags["clipPath"], 1);
    EXPECT_EQ(tags["image"], 1);
}

TEST(VectorDocument, PdfCrossReferencePointsAtEachObject) {
    const std::string pdf = DrawVectorDocument(DocumentKind::Pdf, {120, 100}, Picture);
    ASSERT_EQ(pdf.rfind("%PDF-1.4\n", 0), 0u);
    const size_t start = pdf.rfind("startxref\n");
    ASSERT_NE(start, std::string::npos);
    const size_t xref = std::stoul(pdf.substr(start + 10));
    ASSERT_EQ(pdf.compare(xref, 7, "xref\n0 "), 0);
    const size_t count = std::stoul(pdf.substr(xref + 7));
    ASSERT_GE(count, 8u); // catalog, pages, page, content, two fonts, the image
    const size_t table = pdf.find('\n', xref + 5) + 1; // entries of 20 bytes
    for (size_t i = 1; i < count; ++i) {
        const size_t at = std::stoul(pdf.substr(table + 20 * i, 10));
        const std::string head = std::to_string(i) + " 0 obj\n";
        EXPECT_EQ(pdf.compare(at, head.size(), head), 0) << "object " << i << " at " << at;
    }
    EXPECT_NE(pdf.find("/MediaBox [0 0 120 100]"), std::string::npos);
    // y counts up from the bottom: the rect 20..25 from the top lies 75..80.
    EXPECT_NE(pdf.find("10 75 20 5 re f"), std::string::npos);
    EXPECT_NE(pdf.find("(a&b <c> ? \\(x\\)) Tj"), std::string::npos);
    EXPECT_NE(pdf.find("/BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding"), std::string::npos);
    EXPECT_NE(pdf.find("/Mask [255 255 0 0 255 255]"), std::string::npos);
}

TEST(VectorDocument, TextIsMeasuredWithTheStandardFontWidths) {
    Size measured{};
    FontSpec courier;
    courier.face = u"Courier New";
    courier.height = -10;
    FontSpec bold;
    bold.weight = 700;
    DrawVectorDocument(DocumentKind::Svg, {10, 10}, [&](Gfx& dc) {
        // Helvetica at 11 px: H 722, e 556, l 222, l 222, o 556 thousandths.
        measured = dc.TextExtent(u"Hello", FontSpec{-11});
        EXPECT_EQ(dc.TextExtent(u"Hello", courier).cx, 30);
        EXPECT_GT(dc.TextExtent(u"Hello", bold).cx, dc.TextExtent(u"Hello", FontSpec{}).cx);
    });
    EXPECT_EQ(measured.cx, 26);
    EXPECT_EQ(measured.cy, 13);
}

} // namespace
