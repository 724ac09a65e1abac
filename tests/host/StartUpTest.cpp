// Module start-up: the language, the locale, the press delay and the profile.

#include "host/AppProfile.h"
#include "host/ModuleState.h"
#include "host/MyFont.h"
#include "host/SysConfig.h"
#include "host/ZRKDllApp.h"

#include "testsupport/TempDir.h"

#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>

TEST(StartUp, LanguageDefaultsToChineseWithoutConfiguration) {
    TempDir dir;
    EXPECT_EQ(ReadConfiguredLanguage(dir.Folder()), L"chinese");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "Home/Config/system.ini"));  // not created
    dir.WriteBytes("Home/Config/system.ini", "[BasicPara]\r\nOther=1\r\n");
    EXPECT_EQ(ReadConfiguredLanguage(dir.Folder()), L"chinese");
}

TEST(StartUp, CapitalisedChineseSelectsTheChineseLocaleButKeepsItsCase) {
    TempDir dir;
    dir.WriteBytes("Home/Config/system.ini", "[BasicPara]\r\nLanguage=Chinese\r\n");
    std::wstring name = ReadConfiguredLanguage(dir.Folder());
    EXPECT_EQ(name, L"Chinese");
    EXPECT_EQ(LocaleForLanguage(name), ZRK_LOCALE_CHINESE);
}

TEST(StartUp, AnyOtherLanguageSelectsEnglish) {
    TempDir dir;
    dir.WriteBytes("Home/Config/system.ini", "[BasicPara]\nLanguage = english \n");
    std::wstring name = ReadConfiguredLanguage(dir.Folder());
    EXPECT_EQ(name, L"english");
    EXPECT_EQ(LocaleForLanguage(name), ZRK_LOCALE_ENGLISH);
    EXPECT_EQ(LocaleForLanguage(L"chinese-simplified"), ZRK_LOCALE_ENGLISH);
}

TEST(StartUp, ApplicationObjectChoosesFromTheDeploymentAndSetsTheProfileKey) {
    TempDir dir;
    dir.WriteBytes("Home/Config/system.ini", "[BasicPara]\r\nLanguage=English\r\n");
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    CZRKDllApp app;
    EXPECT_EQ(app.GetLanguageName(), L"English");
    EXPECT_EQ(app.GetLocaleID(), ZRK_LOCALE_ENGLISH);
    EXPECT_EQ(QLocale().language(), QLocale::English);
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(GetProfileRegistryKey(), L"Veltranox");
}

TEST(StartUp, ModuleStateGuardsNestAndUnwindOnExceptions) {
    EXPECT_EQ(CModuleStateGuard::GetDepth(), 0);
    try {
        CModuleStateGuard outer;
        CModuleStateGuard inner;
        EXPECT_EQ(CModuleStateGuard::GetDepth(), 2);
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(CModuleStateGuard::GetDepth(), 0);
}

TEST(SysConfig, PressDelayIsTheDoubleClickTimeOnlyForOne) {
    TempDir dir;
    EXPECT_EQ(CSysConfig(dir.Folder()).m_nPressDelay, GetDoubleClickTime());  // missing file: default 1
    dir.WriteBytes("config.ini", "[General]\r\nbIfMouseTimeDelay=1\r\n");
    EXPECT_EQ(CSysConfig(dir.Folder()).m_nPressDelay, GetDoubleClickTime());
    dir.WriteBytes("config.ini", "[General]\r\nbIfMouseTimeDelay=0\r\n");
    EXPECT_EQ(CSysConfig(dir.Folder()).m_nPressDelay, 0);
    dir.WriteBytes("config.ini", "[General]\r\nbIfMouseTimeDelay=2\r\n");
    EXPECT_EQ(CSysConfig(dir.Folder()).m_nPressDelay, 0);
    EXPECT_GT(GetDoubleClickTime(), 0);
}

TEST(AppProfile, ReadsDefaultsAndKeepsWhatWasWritten) {
    EXPECT_EQ(GetProfileInt(L"ZRKDll", L"NoSuchKey", -2), -2);
    EXPECT_EQ(GetProfileString(L"ZRKDll", L"NoSuchText"), L"");
    ASSERT_TRUE(WriteProfileInt(L"ZRKDll", L"ProfileTestInt", 17));
    ASSERT_TRUE(WriteProfileString(L"ZRKDll", L"ProfileTestText", L"缺陷检测"));
    EXPECT_EQ(GetProfileInt(L"ZRKDll", L"ProfileTestInt", -2), 17);
    EXPECT_EQ(GetProfileString(L"ZRKDll", L"ProfileTestText"), L"缺陷检测");
    EXPECT_EQ(GetProfileInt(L"ZRKDll", L"profiletestint", -2), -2);  // keys are case-sensitive
    ASSERT_TRUE(WriteProfileString(L"ZRKDll", L"ProfileTestText", L"abc"));
    EXPECT_EQ(GetProfileInt(L"ZRKDll", L"ProfileTestText", 5), 5);  // not a number: the default
}

TEST(MyFont, CreatesTheFaceAtTheHeight) {
    CMyFont font;
    EXPECT_TRUE(font.CreateFont(-14, L"WenQuanYi Micro Hei"));
    EXPECT_EQ(font.family(), QStringLiteral("WenQuanYi Micro Hei"));
    EXPECT_EQ(font.pixelSize(), 14);
    EXPECT_FALSE(font.italic());
    EXPECT_FALSE(font.underline());
    EXPECT_EQ(font.weight(), QFont::Normal);
}

TEST(StartUp, QtsOwnButtonsSpeakTheInterfaceLanguage) {
    auto yes = [] {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.button(QMessageBox::Yes)->text();
    };
    ASSERT_TRUE(InstallQtTranslations(L"Chinese")) << "Qt's translations are not installed";
    EXPECT_TRUE(yes().contains(QStringLiteral("是"))) << yes().toStdString();
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    EXPECT_NE(dialog.labelText(QFileDialog::LookIn), QStringLiteral("Look in:"));
    EXPECT_NE(dialog.labelText(QFileDialog::FileName), QStringLiteral("File &name:"));
    // The English pack loads none: Qt's own words again.
    EXPECT_FALSE(InstallQtTranslations(L"english"));
    EXPECT_EQ(yes(), QStringLiteral("&Yes"));
}
