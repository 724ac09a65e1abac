// zrk-host's command line: the options, the store address, the per-user data folder, and the program
// itself rendering a dialog in English.

#include "HostOptions.h"

#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
HostOptions Parse(std::vector<std::string> args, bool expectOk = true, std::string* error = nullptr) {
    HostOptions options;
    std::string reason;
    EXPECT_EQ(ParseHostOptions(args, options, reason), expectOk) << reason;
    if (error)
        *error = reason;
    return options;
}

int RunHost(const std::string& arguments) {
    const std::string command = "'" ZRK_DEPLOY_DIR "zrk-host' " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
} // namespace

TEST(HostOptions, ReadsEveryOptionAndRefusesWhatItCannotUse) {
    HostOptions o = Parse({"--language", "english", "--store", "/tmp/a.db", "--screenshot", "x.png", "--open",
                           "kernel"});
    EXPECT_EQ(o.language, "english");
    EXPECT_EQ(o.store, "/tmp/a.db");
    EXPECT_EQ(o.screenshot, "x.png");
    EXPECT_EQ(o.open, "kernel");
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);
    HostOptions timing = Parse({"--model", "2", "--exit-after-paint"});
    EXPECT_EQ(timing.model, "2");
    EXPECT_TRUE(timing.exitAfterPaint);
    std::string error;
    for (const char* wrong : {"0", "-1", "two", "2x", "99999999999"}) {
        Parse({"--model", wrong}, false, &error);
        EXPECT_NE(error.find("--model"), std::string::npos) << wrong;
    }
    Parse({"--frobnicate"}, false, &error);
    EXPECT_NE(error.find("--frobnicate"), std::string::npos);
    Parse({"--store"}, false, &error);                      // no value
    Parse({"--language", "--help"}, false, &error);          // an option is no value
    Parse({"--open", "kernel"}, false, &error);              // nothing to render into
    Parse({"--store", "a", "--store", "b"}, false, &error);  // twice
    Parse({"--language", "../../etc/passwd"}, false, &error);
}

TEST(HostOptions, AStoreAddressIsRefusedWithoutCreatingAnything) {
    TempDir dir;
    std::wstring error;
    // A missing folder is not made.
    EXPECT_FALSE(UseStoreAt((dir.Path() / "missing" / "t.db").string(), error));
    EXPECT_FALSE(fs::exists(dir.Path() / "missing"));
    EXPECT_NE(error.find(L"folder"), std::wstring::npos);
    // A foreign file is left as it was.
    dir.WriteBytes("foreign.db", std::string(3000, 'x'));
    EXPECT_FALSE(UseStoreAt((dir.Path() / "foreign.db").string(), error));
    EXPECT_EQ(dir.ReadBytes("foreign.db"), std::string(3000, 'x'));
    // A folder is no store file.
    EXPECT_FALSE(UseStoreAt(dir.Path().string(), error));
    // A new file in an existing folder becomes an empty store, and the rest of the run uses it.
    const fs::path fresh = dir.Path() / "new.db";
    ASSERT_TRUE(UseStoreAt(fresh.string(), error)) << WideToUtf8(error);
    EXPECT_EQ(GetTemplateStorePath(), Utf8ToWide(fresh.string()));
    SetTemplateStoreAddress(L"");
}

TEST(HostOptions, AReadOnlyDeploymentWritesToTheUsersDataFolderSeededWithItsStore) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser writes anywhere: the package test runs this as another user";
    TempDir deploy, home;
    fs::create_directories(deploy.Path() / "Home");
    deploy.WriteBytes("Home/Templates.db", "the sample store");
    fs::permissions(deploy.Path() / "Home", fs::perms::owner_read | fs::perms::owner_exec);
    ScopedEnv exe("ZRK_EXE_FOLDER", deploy.Path().string());
    ScopedEnv xdg("XDG_DATA_HOME", home.Path().string());
    std::wstring error;
    ASSERT_TRUE(PrepareDataFolder(error)) << WideToUtf8(error);
    EXPECT_EQ(home.ReadBytes("zrk/Home/Templates.db"), "the sample store");
    EXPECT_TRUE(fs::is_directory(home.Path() / "zrk" / "InspAreaIni"));
    EXPECT_EQ(GetTemplateStorePath(), Utf8ToWide((home.Path() / "zrk" / "Home" / "Templates.db").string()));
    SetDataFolder(L"");
    fs::permissions(deploy.Path() / "Home", fs::perms::owner_all);
}

TEST(HostOptions, HelpListsTheDialogNamesInTheColumnOfTheDescriptions) {
    FILE* pipe = popen("'" ZRK_DEPLOY_DIR "zrk-host' --help", "r");
    ASSERT_NE(pipe, nullptr);
    std::string help;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        help.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0);
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < help.size(); at = end + 1) {
        end = help.find('\n', at);
        if (end == std::string::npos)
            end = help.size();
        lines.push_back(help.substr(at, end - at));
    }
    const auto indent = [](const std::string& line) { return static_cast<int>(line.find_first_not_of(' ')); };
    // Where an option's description starts: after the option and at least two blanks.
    const auto description = [](const std::string& line) {
        const size_t gap = line.find("  ", 2);
        return gap == std::string::npos ? -1 : static_cast<int>(line.find_first_not_of(' ', gap));
    };
    size_t open = 0;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind("  --open", 0) == 0)
            open = i;
    ASSERT_GT(open, 0u) << help;
    EXPECT_EQ(description(lines[open]), kHelpDescriptionColumn);
    for (size_t i = 0; i < open; ++i) {
        if (lines[i].rfind("  --", 0) == 0) {
            EXPECT_EQ(description(lines[i]), kHelpDescriptionColumn) << lines[i];
        }
    }
    ASSERT_GT(lines.size(), open + 10);  // the names of the dialogs follow
    for (size_t i = open + 1; i < lines.size(); ++i) {
        if (!lines[i].empty()) {
            EXPECT_EQ(indent(lines[i]), kHelpDescriptionColumn) << lines[i];
        }
    }
}

TEST(HostOptions, TheProgramAnswersItsOptionsAndRendersADialogInEnglish) {
    EXPECT_EQ(RunHost("--help"), 0);
    EXPECT_EQ(RunHost("--version"), 0);
    EXPECT_EQ(RunHost("--no-such-option"), 2);
    EXPECT_EQ(RunHost("--language klingon --screenshot /dev/null"), 2);
    EXPECT_EQ(RunHost("--screenshot /dev/null --open no-such-dialog"), 2);
    TempDir dir;
    EXPECT_EQ(RunHost("--store '" + (dir.Path() / "none" / "t.db").string() + "' --screenshot /dev/null"), 3);
    EXPECT_FALSE(fs::exists(dir.Path() / "none"));
    // The store copied aside keeps the build's own untouched.
    fs::copy_file(ZRK_DEPLOY_DIR "Home/Templates.db", dir.Path() / "t.db");
    const std::string png = (dir.Path() / "copy.png").string();
    ASSERT_EQ(RunHost("--language english --store '" + (dir.Path() / "t.db").string() + "' --screenshot '" + png +
                  "' --open copy-data"),
              0);
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 200);
    // Timing the start: the 8K sample (model 2) painted, then the program quits by itself and says so.
    ScopedEnv profile("XDG_CONFIG_HOME", dir.Path().string());
    ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
    const std::string stages = (dir.Path() / "stages.txt").string();
    const std::string command = "'" ZRK_DEPLOY_DIR "zrk-host' --store '" + (dir.Path() / "t.db").string() +
                                "' --model 2 --exit-after-paint 2>'" + stages + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string printed = dir.ReadBytes("stages.txt");
    EXPECT_NE(printed.find("main to first painted side"), std::string::npos) << printed;
    EXPECT_NE(printed.find("showing the side"), std::string::npos) << printed;
}

// OpenCV's image codecs bring a hundred libraries, a tenth of a second at every start: the program and its
// libraries do not load them; the codecs' library beside them does, when a PNG or TIFF picture is read.
TEST(HostStart, TheProgramLoadsTheImageCodecsOnlyWhenAPictureNeedsThem) {
    FILE* pipe = popen("ldd '" ZRK_DEPLOY_DIR "zrk-host' 2>&1", "r");
    ASSERT_NE(pipe, nullptr);
    std::string libraries;
    char buffer[512];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe))
        libraries.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0) << libraries;
    EXPECT_NE(libraries.find("libDataStruct.so"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("opencv_imgcodecs"), std::string::npos) << libraries;
    EXPECT_TRUE(std::filesystem::is_regular_file(ZRK_DEPLOY_DIR "libZrkImageCodecs.so"));
}
