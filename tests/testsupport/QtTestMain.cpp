// The main of every Qt test program: offscreen platform unless one is set (the build runs the program to
// list its tests, without CTest's environment), an application object, and a profile folder of its own
// so that no test reads or writes the developer's settings.

#include "support/Prompter.h"

#include <QApplication>
#include <QSettings>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string profile = (std::filesystem::temp_directory_path() / "zrk-qt-test-XXXXXX").string();
    if (!mkdtemp(profile.data()))
        return 2;
    setenv("XDG_CONFIG_HOME", profile.c_str(), 1);
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(profile));
    ::testing::InitGoogleTest(&argc, argv);
    // Answers and dialog handlers a test prepared and never used fail that test.
    SetUnusedAnswerReporter([](const std::string& what) { ADD_FAILURE() << what; });
    int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(profile, ec);
    return result;
}
