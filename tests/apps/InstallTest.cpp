// The installed program: `cmake --install` of this build into a temporary prefix lays out the deployment,
// the link in bin/, the menu entry and the icon; the installed zrk-host, run by a user who cannot write the
// prefix, renders the editor and its pictures and keeps the template store in that user's data folder.
//
// Run by the superuser (as CI does), the program runs as the unprivileged user 65534 (setpriv); run by
// anyone else, the prefix is made read-only instead. Either way nothing is skipped.

#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uid_t kOtherUser = 65534;

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome Shell(const std::string& command) {
    Outcome run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Quote(const fs::path& path) {
    std::string quoted = "'";
    for (char c : path.string())
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// Every file and folder under `root` with its size and modification time: what a run may not change.
std::map<std::string, std::string> Listing(const fs::path& root) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path& path = it->path();
        std::string state = it->is_symlink() ? "link" : it->is_directory() ? "folder" : "file";
        if (it->is_regular_file())
            state += " " + std::to_string(it->file_size()) + " " +
                     std::to_string(fs::last_write_time(path).time_since_epoch().count());
        files[fs::relative(path, root).string()] = state;
    }
    return files;
}

/// A temporary folder the other user (or, for a normal user, this one) may use.
class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "zrk-install-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
        fs::permissions(m_path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    }
    ~Folder() {
        std::error_code ec;
        if (::geteuid() != 0)  // a prefix made read-only must become writable again to be removed
            for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
                 it.increment(ec))
                if (it->is_directory() && !it->is_symlink())
                    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

class InstalledProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_prefix = new Folder;
        s_install = Shell("'" CMAKE_COMMAND "' --install '" ZRK_BUILD_DIR "' --prefix " + Quote(s_prefix->Path()));
    }
    static void TearDownTestSuite() {
        delete s_prefix;
        s_prefix = nullptr;
    }

    void SetUp() override {
        ASSERT_EQ(s_install.status, 0) << s_install.output;
        root = s_prefix->Path();
        deployment = root / ZRK_INSTALL_DIR;
    }

    /// Runs the installed program through its link in bin/, as a user who cannot write the prefix, with
    /// `home` as that user's home and data folder.
    Outcome RunInstalled(const fs::path& home, const std::string& arguments) {
        std::string as;
        if (::geteuid() == 0) {
            if (::chown(home.c_str(), kOtherUser, kOtherUser) != 0)
                return {};
            as = "setpriv --reuid=" + std::to_string(kOtherUser) + " --regid=" + std::to_string(kOtherUser) +
                 " --clear-groups ";
        } else {
            Shell("chmod -R a-w " + Quote(root));
        }
        // The build's own deployment must not be found through the tests' variable.
        const std::string command = as + "env -u ZRK_EXE_FOLDER HOME=" + Quote(home) +
                                    " XDG_DATA_HOME=" + Quote(home / "data") +
                                    " XDG_CONFIG_HOME=" + Quote(home / "config") +
                                    " XDG_RUNTIME_DIR=" + Quote(home) + " QT_QPA_PLATFORM=offscreen " +
                                    Quote(root / "bin" / "zrk-host") + " " + arguments;
        Outcome run = Shell(command);
        if (::geteuid() != 0)
            Shell("chmod -R u+w " + Quote(root));
        return run;
    }

    fs::path root, deployment;
    static Folder* s_prefix;
    static Outcome s_install;
};
Folder* InstalledProgram::s_prefix = nullptr;
Outcome InstalledProgram::s_install;

} // namespace

TEST_F(InstalledProgram, LaysOutTheDeploymentTheLinkTheMenuEntryAndTheIcon) {
    for (const char* file : {"zrk-host", "libzrkcore.so", "libDataStruct.so", "libZrkImageCodecs.so", "libZRKDll.so",
                             "libReleaseModelDLL.so",
                             "libNewWizardDLL.so", "PlugIns/libSamplePlugIn.so", "PlugIns/KernelPara.ini",
                             "Language/english.lpk", "Language/chinese.lpk", "Home/Templates.db",
                             "Home/Config/system.ini", "config.ini", "image/Sample/Camera1.bmp"})
        EXPECT_TRUE(fs::is_regular_file(deployment / file)) << file;
    EXPECT_TRUE(fs::is_directory(deployment / "InspAreaIni"));
    // Nothing of the build that the deployment does not need.
    EXPECT_FALSE(fs::exists(deployment / "MakeSample"));
    EXPECT_FALSE(fs::exists(root / "tests"));

    const fs::path link = root / "bin" / "zrk-host";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::equivalent(link, deployment / "zrk-host"));
    EXPECT_TRUE(fs::read_symlink(link).is_relative()) << "a relative link survives a moved prefix";

    const std::string entry = ReadText(root / "share" / "applications" / "zrk-host.desktop");
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u) << entry;
    EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=" + (deployment / "zrk-host").string() + "\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=zrk-host\n"), std::string::npos);
    EXPECT_EQ(entry.find('@'), std::string::npos) << "a placeholder was left unfilled";
    EXPECT_TRUE(fs::is_regular_file(root / "share/icons/hicolor/scalable/apps/zrk-host.svg"));
}

TEST_F(InstalledProgram, InstallsTheAnalysesProgramWithItsLinkAndItRunsFromThere) {
    EXPECT_TRUE(fs::is_regular_file(deployment / "zrk-assist"));
    EXPECT_FALSE(fs::exists(deployment / "zrk-make-sheets")) << "a build tool, not part of the deployment";
    const fs::path link = root / "bin" / "zrk-assist";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::equivalent(link, deployment / "zrk-assist"));
    EXPECT_TRUE(fs::read_symlink(link).is_relative());
    // Its libraries are found beside it through the run path, wherever the prefix is.
    const Outcome help = Shell(Quote(link) + " --help");
    EXPECT_EQ(help.status, 0) << help.output;
    EXPECT_NE(help.output.find("zrk-assist cameras --grid"), std::string::npos) << help.output;
}

TEST_F(InstalledProgram, InstallsTheStoreProgramWithItsLinkAndItRunsFromThere) {
    EXPECT_TRUE(fs::is_regular_file(deployment / "zrk-store"));
    const fs::path link = root / "bin" / "zrk-store";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::equivalent(link, deployment / "zrk-store"));
    EXPECT_TRUE(fs::read_symlink(link).is_relative());
    const Outcome help = Shell(Quote(link) + " --help");
    EXPECT_EQ(help.status, 0) << help.output;
    EXPECT_NE(help.output.find("zrk-store [--store ADDRESS] COMMAND"), std::string::npos) << help.output;
    // It reads a copy of the installed sample store from there.
    Folder work;
    fs::copy_file(deployment / "Home" / "Templates.db", work.Path() / "Templates.db");
    const Outcome list = Shell(Quote(link) + " --store " + Quote(work.Path() / "Templates.db") + " list");
    EXPECT_EQ(list.status, 0) << list.output;
    EXPECT_NE(list.output.find("样例模板"), std::string::npos) << list.output;
}

TEST_F(InstalledProgram, RunsForAUserWhoCannotWriteThePrefixAndKeepsTheStoreInTheDataFolder) {
    Folder home;
    const std::map<std::string, std::string> before = Listing(root);
    const fs::path editor = home.Path() / "editor.png";
    Outcome run = RunInstalled(home.Path(), "--screenshot " + Quote(editor));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_FALSE(QImage(QString::fromStdString(editor.string())).isNull());

    // The store was seeded from the deployment's sample into the user's data folder.
    const fs::path store = home.Path() / "data" / "zrk" / "Home" / "Templates.db";
    ASSERT_TRUE(fs::is_regular_file(store)) << run.output;
    EXPECT_EQ(ReadText(store).substr(0, 16), std::string("SQLite format 3\0", 16));
    EXPECT_TRUE(fs::is_directory(home.Path() / "data" / "zrk" / "InspAreaIni"));

    // A dialog on the sample's camera images, in English: the images and the pack are read from the prefix.
    const fs::path paint = home.Path() / "paint.png";
    run = RunInstalled(home.Path(), "--language english --screenshot " + Quote(paint) + " --open mask-paint");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_GT(QImage(QString::fromStdString(paint.string())).width(), 200);

    // Nothing was written into the prefix by either run.
    EXPECT_EQ(Listing(root), before);
}
