// The folders' include arrows run one way: the core and the data library include no Qt header, the image
// view below the dialogs includes none of the folders above it, and nothing below the editor includes the
// editor. Scanned from the sources as they are when the test runs.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
const fs::path kSource = ZRK_SOURCE_DIR;

struct Include {
    std::string file;
    int line = 0;
    std::string target;  ///< as written between the quotes or angle brackets
};

std::vector<Include> IncludesOf(const std::string& folder) {
    std::vector<Include> found;
    static const std::regex include(R"(^\s*#\s*include\s*[<"]([^>"]+)[>"])");
    for (const auto& entry : fs::recursive_directory_iterator(kSource / folder)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp"))
            continue;
        std::ifstream in(entry.path());
        std::string text;
        for (int line = 1; std::getline(in, text); ++line) {
            std::smatch match;
            if (std::regex_search(text, match, include))
                found.push_back({fs::relative(entry.path(), kSource).string(), line, match[1].str()});
        }
    }
    return found;
}

/// The includes of `folder` that name a folder of `forbidden` ("Qt" stands for Qt's headers).
std::vector<std::string> Breaches(const std::string& folder, const std::set<std::string>& forbidden) {
    std::vector<std::string> breaches;
    for (const Include& each : IncludesOf(folder)) {
        const size_t slash = each.target.find('/');
        const std::string top = slash == std::string::npos ? std::string() : each.target.substr(0, slash);
        const bool qt = each.target.rfind("Q", 0) == 0 || top.rfind("Qt", 0) == 0;
        if (forbidden.count(top) || (qt && forbidden.count("Qt")))
            breaches.push_back(each.file + ":" + std::to_string(each.line) + " includes " + each.target);
    }
    return breaches;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

} // namespace

TEST(Layering, TheCoreTheDataLibraryAndTheAnalysesIncludeNoQtHeader) {
    for (const char* folder : {"support", "model", "formats", "geometry", "datastruct", "assist"}) {
        const auto breaches = Breaches(folder, {"Qt", "view", "grid", "dialogs", "maskpaint", "editor", "host", "apps"});
        EXPECT_TRUE(breaches.empty()) << Lines(breaches);
    }
}

TEST(Layering, TheAssistedSetUpsAnalysesIncludeNoQtHeaderAndNothingAboveTheCore) {
    const auto breaches = Breaches("assist", {"Qt", "datastruct", "view", "grid", "dialogs", "maskpaint", "editor",
                                              "host", "apps"});
    EXPECT_TRUE(breaches.empty()) << Lines(breaches);
    EXPECT_FALSE(IncludesOf("assist").empty());  // the scan reads the folder
}

TEST(Layering, TheImageViewIncludesNothingAboveIt) {
    const auto breaches = Breaches("view", {"datastruct", "host", "grid", "dialogs", "maskpaint", "editor", "apps"});
    EXPECT_TRUE(breaches.empty()) << Lines(breaches);
    EXPECT_FALSE(IncludesOf("view").empty());  // the scan reads the folder
}

TEST(Layering, TheDialogsGridAndMaskPaintingNeverReachUpIntoTheEditor) {
    for (const char* folder : {"grid", "dialogs", "maskpaint"}) {
        const auto breaches = Breaches(folder, {"editor", "apps"});
        EXPECT_TRUE(breaches.empty()) << Lines(breaches);
    }
    const auto grid = Breaches("grid", {"dialogs", "maskpaint", "view"});
    EXPECT_TRUE(grid.empty()) << Lines(grid);
}
