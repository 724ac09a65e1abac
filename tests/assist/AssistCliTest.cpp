// zrk-assist run as scripts run it: exit codes, messages on the error stream naming what is wrong, and JSON
// on the output stream.

#include "AssistRun.h"

#include "assist/SheetGenerator.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace assisttest;

namespace {

class AssistProgram : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return (dir.Path() / name).string(); }
    std::string Write(const std::string& name, const cv::Mat& image) const {
        EXPECT_TRUE(cv::imwrite(Path(name), image));
        return Quote(Path(name));
    }
    TempDir dir;
};

} // namespace

TEST_F(AssistProgram, HelpListsTheCommandsAndExitCodes) {
    const Outcome run = Assist(dir, "--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("zrk-assist cameras --grid CxR"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("zrk-assist split"), std::string::npos);
    EXPECT_NE(run.out.find("Exit codes"), std::string::npos);
    EXPECT_EQ(Assist(dir, "split --help").status, 0);
}

TEST_F(AssistProgram, WrongOptionsGridsAndCountsExitWithCodeTwoAndSayWhat) {
    struct Case {
        std::string arguments, message;
    };
    const std::string a = Write("a.png", cv::Mat(100, 120, CV_8UC1, cv::Scalar(90)));
    for (const Case& c : {Case{"", "no command"}, Case{"place", "unknown command place"},
                          Case{"cameras " + a + " " + a, "needs --grid"},
                          Case{"cameras --grid 2by1 " + a + " " + a, "--grid 2by1"},
                          Case{"cameras --grid 0x1 " + a, "--grid 0x1"},
                          Case{"cameras --grid 33x1 " + a, "--grid 33x1"},
                          Case{"cameras --grid 2x2 " + a + " " + a + " " + a, "needs 4 images (row by row), 3 given"},
                          Case{"cameras --grid 2x1 --overlap x " + a + " " + a, "--overlap x"},
                          Case{"split", "split takes one image, 0 given"},
                          Case{"split --frobnicate " + a, "unknown option --frobnicate"}}) {
        SCOPED_TRACE(c.arguments);
        const Outcome run = Assist(dir, c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

TEST_F(AssistProgram, UnreadableMissingAndOversizedImagesExitWithCodeThreeNamingTheFile) {
    dir.WriteBytes("notes.png", "this is no image");
    Outcome run = Assist(dir, "split " + Quote(Path("notes.png")));
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find(Path("notes.png") + ": not an image"), std::string::npos) << run.err;

    run = Assist(dir, "split " + Quote(Path("absent.bmp")));
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("absent.bmp: no such file"), std::string::npos) << run.err;

    // A PNG whose header states 70000 x 70000 pixels: refused from the header, nothing decoded.
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    png += std::string("\x00\x01\x11\x70\x00\x01\x11\x70\x08\x00\x00\x00\x00", 13);
    png += std::string("\0\0\0\0", 4);
    dir.WriteBytes("huge.png", png);
    run = Assist(dir, "cameras --grid 1x1 " + Quote(Path("huge.png")));
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("huge.png: the image is too large"), std::string::npos) << run.err;

    // Within the readers' limits but over the analyses' 2^28 pixels (a grey BMP: 20000 x 14000).
    const cv::Mat wide(1, 1, CV_8UC1, cv::Scalar(0));
    std::string bmp = "BM";
    const auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    const uint32_t width = 20000, height = 14000, stride = width, palette = 256 * 4;
    bmp += le32(14 + 40 + palette + stride * height) + le32(0) + le32(14 + 40 + palette);
    bmp += le32(40) + le32(width) + le32(height) + std::string("\1\0\x08\0", 4) + le32(0) + le32(stride * height) +
           le32(2835) + le32(2835) + le32(256) + le32(0);
    for (int k = 0; k < 256; ++k)
        bmp += std::string{char(k), char(k), char(k), 0};
    bmp.resize(bmp.size() + static_cast<size_t>(stride) * height, '\x80');
    dir.WriteBytes("big.bmp", bmp);
    run = Assist(dir, "split " + Quote(Path("big.bmp")));
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("the analyses take at most 2^28"), std::string::npos) << run.err;
}

TEST_F(AssistProgram, CamerasOfDifferentSizesExitWithCodeFour) {
    const std::string a = Write("a.png", cv::Mat(200, 300, CV_8UC1, cv::Scalar(90)));
    const std::string b = Write("b.png", cv::Mat(200, 310, CV_8UC1, cv::Scalar(90)));
    const Outcome run = Assist(dir, "cameras --grid 2x1 " + a + " " + b);
    EXPECT_EQ(run.status, 4);
    EXPECT_NE(run.err.find("b.png is 310x200"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("share one size"), std::string::npos);
    const std::string tiny = Write("tiny.png", cv::Mat(20, 20, CV_8UC1, cv::Scalar(90)));
    EXPECT_EQ(Assist(dir, "cameras --grid 2x1 " + tiny + " " + tiny).status, 4);
}

TEST_F(AssistProgram, OneCameraIsPlacedAtTheOriginWithAWarning) {
    const std::string a = Write("a.bmp", cv::Mat(200, 300, CV_8UC3, cv::Scalar(90, 100, 110)));
    const Outcome run = Assist(dir, "cameras --grid 1x1 " + a);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"x\": 0.0"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"code\": \"single-camera\""), std::string::npos) << run.out;
}

TEST_F(AssistProgram, TheSheetMakerWritesTheSameBytesForTheSameSeedAndATruthFileNamingThem) {
    const std::string maker = Quote(ZRK_MAKE_SHEETS);
    for (const char* folder : {"one", "two"}) {
        const std::string command = maker + " --seed 5 --size 400x300 --sheets 3x2 --cameras 2x1 --format both " +
                                    Quote(Path(folder)) + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    for (const char* file : {"sheet-5.png", "sheet-5.bmp", "sheet-5-cam-1-0.png", "sheet-5-mask-numbering.png", "sheet-5.json"}) {
        SCOPED_TRACE(file);
        const std::string a = dir.ReadBytes(std::string("one/") + file), b = dir.ReadBytes(std::string("two/") + file);
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a, b);
    }
    const std::string truth = dir.ReadBytes("one/sheet-5.json");
    for (const char* key : {"\"columns\": ", "\"files\": [\"sheet-5.png\", \"sheet-5.bmp\"]", "\"mask\": \"sheet-5-mask-tint.png\"",
                            "\"file\": \"sheet-5-cam-0-0.png\"", "\"variable_boxes\""})
        EXPECT_NE(truth.find(key), std::string::npos) << key;
    EXPECT_EQ(std::system((maker + " --sheets 3 x >/dev/null 2>&1").c_str()) >> 8, 2);
}

TEST_F(AssistProgram, PrintsTheSplitSchemeAndTheCameraPositionsOfAGeneratedSheet) {
    CSheetRecipe r;
    r.m_nSeed = 31;
    r.m_nWidth = 1200;
    r.m_nHeight = 900;
    r.m_nColumns = 4;
    r.m_nRows = 3;
    r.m_nCamColumns = 2;
    r.m_nCamRows = 1;
    r.m_nCamOverlapX = 180;
    const CGeneratedSheet g = GenerateSheet(r);
    const std::string sheet = Write("sheet.png", g.m_image);
    Outcome run = Assist(dir, "split " + sheet);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"columns\": " + std::to_string(g.m_truth.m_nColumns) + ","), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"rows\": " + std::to_string(g.m_truth.m_nRows) + ","), std::string::npos);
    for (const char* key : {"\"crop\": [", "\"expansion\": [", "\"period\": [", "\"angle\": ", "\"score\": ", "\"warnings\": ["})
        EXPECT_NE(run.out.find(key), std::string::npos) << key;

    const std::string left = Write("cam-0.bmp", g.m_cameras[0]), right = Write("cam-1.bmp", g.m_cameras[1]);
    run = Assist(dir, "cameras --grid 2x1 " + left + " " + right);
    ASSERT_EQ(run.status, 0) << run.err;
    char expected[64];
    std::snprintf(expected, sizeof expected, "\"x\": %.0f", g.m_truth.m_cameras[1].m_dX - g.m_truth.m_cameras[0].m_dX);
    const size_t second = run.out.find("\"column\": 1");
    ASSERT_NE(second, std::string::npos) << run.out;
    const std::string rest = run.out.substr(second, 120);
    const double x = std::stod(rest.substr(rest.find("\"x\": ") + 5));
    EXPECT_NEAR(x, g.m_truth.m_cameras[1].m_dX - g.m_truth.m_cameras[0].m_dX, 1.0) << run.out;
    EXPECT_NE(run.out.find("\"overlaps\": ["), std::string::npos);
}
