// zrk-assist areas run as scripts run it: the JSON's keys, the same answer twice, and wrong options refused
// with exit code 2 and a message naming them.

#include "AssistRun.h"

#include "assist/SheetAreaTruth.h"
#include "assist/SheetGenerator.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace assisttest;

namespace {

class AreaCommand : public ::testing::Test {
protected:
    void SetUp() override {
        CSheetRecipe r;
        r.m_nSeed = 23;
        r.m_nWidth = 1200;
        r.m_nHeight = 900;
        r.m_nColumns = 3;
        r.m_nRows = 3;
        r.m_nMissing = 1;
        r.m_nDamaged = 1;
        m_sheet = GenerateSheet(r);
        const CAreaSplit s = TruthSplit(m_sheet);
        m_strSplit = std::to_string(s.m_nCols) + "," + std::to_string(s.m_nRows) + "," + std::to_string(s.m_rcCrop.left) +
                     "," + std::to_string(s.m_rcCrop.top) + "," + std::to_string(s.m_rcCrop.right) + "," +
                     std::to_string(s.m_rcCrop.bottom) + "," + std::to_string(s.m_nExtendX) + "," +
                     std::to_string(s.m_nExtendY);
        m_size = s.SheetSize();
        m_strImage = Quote((dir.Path() / "sheet.png").string());
        ASSERT_TRUE(cv::imwrite((dir.Path() / "sheet.png").string(), m_sheet.m_image));
    }
    TempDir dir;
    CGeneratedSheet m_sheet;
    std::string m_strSplit;
    std::string m_strImage;
    cv::Size m_size;
};

} // namespace

TEST_F(AreaCommand, PrintsAreasShieldsInksAndTheSheetsUsed) {
    const Outcome run = Assist(dir, "areas --split " + m_strSplit + " --sheet 2,2 --passes 3 --gap 10 --margin 3 " + m_strImage);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    for (const char* key : {"\"areas\": [", "\"shielded\": [", "\"passes\": [", "\"ink\": [", "\"pixels\": ",
                            "\"outline\": [", "\"holes\": [", "\"pass\": 0", "\"pass\": -1", "\"score\": ",
                            "\"sheets_used\": 7", "\"sheets_left_out\": [[", "\"warnings\": [", "\"sheets-missing\"",
                            "\"sheets-damaged\""})
        EXPECT_NE(run.out.find(key), std::string::npos) << key << "\n" << run.out;
    const std::string size = "\"sheet_size\": [" + std::to_string(m_size.width) + ", " + std::to_string(m_size.height) + "]";
    EXPECT_NE(run.out.find(size), std::string::npos) << run.out;
    // The missing and the damaged sheet are the ones left out.
    for (const cv::Point& c : {m_sheet.m_truth.m_missing[0], m_sheet.m_truth.m_damaged[0]}) {
        const std::string cell = "[" + std::to_string(c.x) + ", " + std::to_string(c.y) + "]";
        const size_t at = run.out.find("\"sheets_left_out\": ");
        ASSERT_NE(at, std::string::npos);
        EXPECT_NE(run.out.find(cell, at), std::string::npos) << cell;
    }
}

TEST_F(AreaCommand, TheSameImageGivesTheSameJson) {
    const std::string args = "areas --split " + m_strSplit + " --passes 3 " + m_strImage;
    const Outcome first = Assist(dir, args), second = Assist(dir, args);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, second.out);
}

TEST_F(AreaCommand, ASplitWithoutExtensionAndTheDefaultsAreAccepted) {
    const Outcome run = Assist(dir, "areas --split 3,3,0,0,1200,900 " + m_strImage);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"sheet_size\": [400, 300]"), std::string::npos) << run.out;
}

namespace {

// The bounding width and height of the first shielded area's outline in the command's JSON.
cv::Size FirstShieldExtent(const std::string& json) {
    const size_t shielded = json.find("\"shielded\": [");
    const size_t outline = shielded == std::string::npos ? shielded : json.find("\"outline\": [", shielded);
    if (outline == std::string::npos)
        return {};
    std::vector<int> values;
    for (size_t at = json.find('[', outline) + 1; at < json.size() && json[at] != ']';) {
        size_t used = 0;
        values.push_back(std::stoi(json.substr(at, 12), &used));
        at += used;
        while (at < json.size() && (json[at] == ',' || json[at] == ' '))
            ++at;
    }
    cv::Rect box;
    for (size_t i = 0; i + 1 < values.size(); i += 2)
        box = box.empty() ? cv::Rect(values[i], values[i + 1], 1, 1) : box | cv::Rect(values[i], values[i + 1], 1, 1);
    return box.size();
}

} // namespace

TEST_F(AreaCommand, TheShieldMarginWidensTheShieldedAreas) {
    const std::string args = "areas --split " + m_strSplit + " --passes 3 ";
    const Outcome tight = Assist(dir, args + "--shield-margin 0 " + m_strImage);
    const Outcome wide = Assist(dir, args + "--shield-margin 20 --min-pixels 30 " + m_strImage);
    ASSERT_EQ(tight.status, 0) << tight.err;
    ASSERT_EQ(wide.status, 0) << wide.err;
    const cv::Size a = FirstShieldExtent(tight.out), b = FirstShieldExtent(wide.out);
    ASSERT_GT(a.area(), 0) << tight.out;
    // 20 pixels on each side, unless the small sheet's edge stops it.
    EXPECT_GE(b.width, a.width + 20);
    EXPECT_GE(b.height, a.height + 20);
}

TEST_F(AreaCommand, WrongOptionsExitWithTwoAndSayWhy) {
    struct Case {
        std::string args;
        std::string says;
    };
    const std::string split = " --split " + m_strSplit + " ";
    for (const Case& c : {Case{"areas " + m_strImage, "--split"}, Case{"areas --split 3,3,0,0,100 " + m_strImage, "--split"},
                          Case{"areas --split 0,3,0,0,100,100 " + m_strImage, "1 to 4096"},
                          Case{"areas --split 3,3,50,0,40,100 " + m_strImage, "right and bottom"},
                          Case{"areas --split 3,3,0,0,900,900,-1,0 " + m_strImage, "extension"},
                          Case{"areas --split 3,3,0,0,900,900,2 " + m_strImage, "--split"},
                          Case{"areas" + split + "--sheet 3,0 " + m_strImage, "not in the grid"},
                          Case{"areas" + split + "--sheet 1 " + m_strImage, "--sheet"},
                          Case{"areas" + split + "--passes 9 " + m_strImage, "--passes"},
                          Case{"areas" + split + "--passes 0 " + m_strImage, "--passes"},
                          Case{"areas" + split + "--gap 300 " + m_strImage, "--gap"},
                          Case{"areas" + split + "--margin -1 " + m_strImage, "--margin"},
                          Case{"areas" + split + "--shield-margin 257 " + m_strImage, "--shield-margin"},
                          Case{"areas" + split + "--min-pixels 0 " + m_strImage, "--min-pixels"},
                          Case{"areas" + split + "--margins 3 " + m_strImage, "unknown option --margins"},
                          Case{"areas" + split + m_strImage + " " + m_strImage, "one image"},
                          Case{"areas" + split, "one image"}}) {
        SCOPED_TRACE(c.args);
        const Outcome run = Assist(dir, c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
}

TEST_F(AreaCommand, AMissingImageExitsWithThree) {
    const Outcome run = Assist(dir, "areas --split " + m_strSplit + " " + Quote((dir.Path() / "none.png").string()));
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("none.png"), std::string::npos) << run.err;
}

TEST_F(AreaCommand, HelpListsTheAreasCommand) {
    const Outcome run = Assist(dir, "--help");
    EXPECT_NE(run.out.find("zrk-assist areas --split"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("--passes N"), std::string::npos);
}
