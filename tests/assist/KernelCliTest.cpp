// zrk-assist's kernel commands run as scripts run them: the proposal and the rating as JSON, wrong options
// refused with exit code 2 and a message naming them.

#include "AssistRun.h"
#include "KernelImages.h"

#include "assist/SheetGenerator.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <string>

using namespace assisttest;

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class KernelCommands : public ::testing::Test {
protected:
    void SetUp() override {
        CSheetRecipe r;
        r.m_nSeed = 12;
        r.m_nWidth = 1200;
        r.m_nHeight = 900;
        r.m_nColumns = 3;
        r.m_nRows = 2;
        m_sheet = GenerateSheet(r);
        const CRect box = kerneltest::SheetBox(m_sheet, 1, 0);
        m_strSheet = std::to_string(box.left) + "," + std::to_string(box.top) + "," +
                     std::to_string(box.right) + "," + std::to_string(box.bottom);
        m_strImage = Quote((dir.Path() / "sheet.png").string());
        ASSERT_TRUE(cv::imwrite((dir.Path() / "sheet.png").string(), m_sheet.m_image));
    }
    TempDir dir;
    CGeneratedSheet m_sheet;
    std::string m_strSheet;
    std::string m_strImage;
};

} // namespace

TEST_F(KernelCommands, KernelsPrintsTheProposedKernelsWithTheirScores) {
    const Outcome run =
        Assist(dir, "kernels --sheet " + m_strSheet + " --count 3 --size 48,40 --range 40 " + m_strImage);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    const size_t kernels = Count(run.out, "\"rect\": [");
    EXPECT_GE(kernels, 1u) << run.out;
    EXPECT_LE(kernels, 3u);
    for (const char* key : {"\"kernels\": [", "\"score\": ", "\"good\": ", "\"uniqueness\": ",
                            "\"texture\": ", "\"robustness\": ", "\"predicted_error\": ", "\"second_peak\": ",
                            "\"reason\": ", "\"noise\": ", "\"spread\": ", "\"warnings\": ["})
        EXPECT_NE(run.out.find(key), std::string::npos) << key;
    EXPECT_EQ(run.out.find("\"direction\""), std::string::npos);
    // The size asked for: 48 wide and 40 high.
    const size_t rect = run.out.find("\"rect\": [");
    int l = 0, t = 0, r = 0, b = 0;
    ASSERT_EQ(std::sscanf(run.out.c_str() + rect, "\"rect\": [%d, %d, %d, %d]", &l, &t, &r, &b), 4);
    EXPECT_EQ(r - l, 48);
    EXPECT_EQ(b - t, 40);

    // Without the sheets' period nothing is compared with the neighbouring sheets; with it, every kernel is.
    EXPECT_NE(run.out.find("\"sheets_peak\": -1.0"), std::string::npos);
    const std::string period =
        std::to_string(m_sheet.m_truth.m_period.x) + "," + std::to_string(m_sheet.m_truth.m_period.y);
    const Outcome compared =
        Assist(dir, "kernels --sheet " + m_strSheet + " --period " + period + " " + m_strImage);
    ASSERT_EQ(compared.status, 0) << compared.err;
    EXPECT_NE(compared.out.find("\"sheets_peak\": "), std::string::npos);
    EXPECT_EQ(compared.out.find("\"sheets_peak\": -1.0"), std::string::npos) << compared.out;

    const Outcome lines = Assist(dir, "kernels --lines --sheet " + m_strSheet + " " + m_strImage);
    ASSERT_EQ(lines.status, 0) << lines.err;
    for (const char* key :
         {"\"direction\": ", "\"polarity\": ", "\"partner\": ", "\"straightness\": ", "\"edge\": "})
        EXPECT_NE(lines.out.find(key), std::string::npos) << key << lines.out;
}

TEST_F(KernelCommands, RateRatesOneGivenRectangleAsARegionOrALineKernel) {
    Outcome run = Assist(dir, "rate --rect 10,10,74,74 --range 30 " + m_strImage);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* key : {"\"rect\": [10, 10, 74, 74]", "\"score\": ", "\"uniqueness\": ", "\"texture\": ",
                            "\"predicted_error\": ", "\"reason\": ", "\"warnings\": ["})
        EXPECT_NE(run.out.find(key), std::string::npos) << key << run.out;
    run = Assist(dir, "rate --rect 10,10,74,74 --line 90 --polarity bright-to-dark " + m_strImage);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"direction\": 90"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"polarity\": \"bright-to-dark\""), std::string::npos);

    // A rectangle off the image is no error of the command line: it is rated 0 with the reason.
    run = Assist(dir, "rate --rect 5000,5000,5064,5064 " + m_strImage);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"code\": \"off-image\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"score\": 0.0"), std::string::npos);
}

TEST_F(KernelCommands, ASearchRangeOfHalfTheSheetIsAnsweredWithAWarning) {
    const Outcome run = Assist(dir, "kernels --sheet " + m_strSheet + " --range 1000 " + m_strImage);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"kernels\": []"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"code\": \"range-too-large\""), std::string::npos) << run.out;
}

TEST_F(KernelCommands, WrongOptionsExitWithCodeTwoAndSayWhat) {
    struct Case {
        std::string arguments, message;
    };
    const std::string& a = m_strImage;
    for (const Case& c :
         {Case{"kernels", "kernels takes one image, 0 given"},
          Case{"kernels " + a + " " + a, "kernels takes one image, 2 given"},
          Case{"kernels --count 0 " + a, "--count needs"},
          Case{"kernels --count 65 " + a, "--count needs"},
          Case{"kernels --count x " + a, "--count needs"},
          Case{"kernels --size 4,64 " + a, "--size needs"},
          Case{"kernels --size 64,64,64 " + a, "--size needs"},
          Case{"kernels --size " + a, "--size needs"},
          Case{"kernels --range -1 " + a, "--range needs"},
          Case{"kernels --range 2000 " + a, "--range needs"},
          Case{"kernels --sheet 1,2,3 " + a, "--sheet needs"},
          Case{"kernels --sheet 1,2,3,4,5 " + a, "--sheet needs"},
          Case{"kernels --sheet 1,2,x,4 " + a, "--sheet needs"},
          Case{"kernels --period 0,400 " + a, "--period needs"},
          Case{"kernels --period 400,300,2 " + a, "--period needs"},
          Case{"kernels --period 400,1e3 " + a, "--period needs"},
          Case{"rate --rect 1,2,3,4 --period x,y " + a, "--period needs"},
          Case{"kernels --sheet", "--sheet needs"},
          Case{"kernels --frobnicate " + a, "unknown option --frobnicate for kernels"},
          Case{"rate " + a, "rate needs --rect"},
          Case{"rate --rect 1,2,3 " + a, "--rect needs"},
          Case{"rate --rect 1,2,3,4 --line 45 " + a, "--line needs the projection direction, 0 or 90"},
          Case{"rate --rect 1,2,3,4 --polarity up " + a, "--polarity needs"},
          Case{"rate --rect 1,2,3,4", "rate takes one image, 0 given"}}) {
        SCOPED_TRACE(c.arguments);
        const Outcome run = Assist(dir, c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
    const Outcome help = Assist(dir, "--help");
    EXPECT_NE(help.out.find("zrk-assist kernels"), std::string::npos);
    EXPECT_NE(help.out.find("zrk-assist rate --rect"), std::string::npos);
    const Outcome missing = Assist(dir, "kernels " + Quote((dir.Path() / "absent.png").string()));
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.err.find("absent.png"), std::string::npos) << missing.err;
}
