// The English language pack covers every text the program translates: the keys are gathered from the
// sources as they are when the test runs, so a text added anywhere without its English line fails here.

#include "TranslatedKeys.h"

#include "formats/CodePage.h"
#include "formats/LanguagePack.h"
#include "formats/TreeTextAnalyze.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

namespace {

const std::filesystem::path kSource = ZRK_SOURCE_DIR;

bool IsCjk(wchar_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
           (c >= 0x3000 && c <= 0x303F);
}
bool HasCjk(const std::wstring& text) {
    for (wchar_t c : text)
        if (IsCjk(c))
            return true;
    return false;
}

struct PackFile : CTreeTextAnalyze {
    explicit PackFile(const std::string& name) {
        loaded = LoadFile(Utf8ToWide((kSource / "deploy" / "Language" / name).string())) && Parse();
        // Read through a private copy of the tree: the nodes are only looked at.
        section = m_root.FindByName(L"ZRKDll.dll");
    }
    /// source -> translation, the section's direct lines as `Translate` reads them (first line wins).
    std::map<std::wstring, std::wstring> Lines() const {
        std::map<std::wstring, std::wstring> lines;
        if (section)
            for (const std::wstring& line : section->m_para.m_arExtraLines)
                if (size_t eq = line.find(L'='); eq != std::wstring::npos)
                    lines.try_emplace(line.substr(0, eq), line.substr(eq + 1));
        return lines;
    }
    bool loaded = false;
    CTreeTextNode* section = nullptr;
};

// Compares two menu trees position by position; every difference is added to `problems`.
void CompareMenus(const CTreeTextNode& chinese, const CTreeTextNode* english, const std::string& where,
                  std::vector<std::string>& problems) {
    if (!english) {
        problems.push_back(where + ": missing");
        return;
    }
    if (chinese.GetChildCount() != english->GetChildCount())
        problems.push_back(where + ": " + std::to_string(english->GetChildCount()) + " items, not " +
                           std::to_string(chinese.GetChildCount()));
    for (int i = 0; i < chinese.GetChildCount(); ++i) {
        const CTreeTextNode* c = chinese.GetChild(i);
        const CTreeTextNode* e = i < english->GetChildCount() ? english->GetChild(i) : nullptr;
        const std::string here = where + "/" + WideToUtf8(c->m_para.m_strName);
        if (e && c->m_para.m_strName.empty() != e->m_para.m_strName.empty())
            problems.push_back(here + ": a separator in one pack and an item in the other");
        if (e && HasCjk(e->m_para.m_strName))
            problems.push_back(here + ": not translated (" + WideToUtf8(e->m_para.m_strName) + ")");
        CompareMenus(*c, e, here, problems);
    }
}

} // namespace

TEST(LanguageCoverage, TheEnglishPackTranslatesEveryTextTheSourcesTranslate) {
    PackFile english("english.lpk");
    ASSERT_TRUE(english.loaded);
    ASSERT_NE(english.section, nullptr);
    const auto lines = english.Lines();
    const auto keys = GatherTranslatedKeys(kSource, {"apps", "editor", "dialogs", "grid", "maskpaint", "host",
                                                     "geometry", "datastruct", "helpers", "formats"});
    // The scan finds the texts of every kind of call site (a sanity floor, far below the real number).
    ASSERT_GT(keys.size(), 200u);
    std::string missing;
    for (const auto& [key, where] : keys) {
        auto found = lines.find(Utf8ToWide(key));
        if (found == lines.end() || found->second.empty())
            missing += "  " + key + "=    (" + where.file + ":" + std::to_string(where.line) + ")\n";
    }
    EXPECT_TRUE(missing.empty()) << "texts without an English line in deploy/Language/english.lpk:\n" << missing;
    // The host program looks its own texts up outside the module's section: among the root's lines.
    std::map<std::wstring, std::wstring> root;
    for (const std::wstring& line : english.m_root.m_para.m_arExtraLines)
        if (size_t eq = line.find(L'='); eq != std::wstring::npos)
            root.try_emplace(line.substr(0, eq), line.substr(eq + 1));
    std::string hostMissing;
    for (const auto& [key, where] : keys)
        if (where.file.rfind("apps/", 0) == 0 && root[Utf8ToWide(key)].empty())
            hostMissing += "  " + key + "=    (" + where.file + ":" + std::to_string(where.line) + ")\n";
    EXPECT_TRUE(hostMissing.empty()) << "host texts without an English line above the first section:\n"
                                     << hostMissing;
}

TEST(LanguageCoverage, TheEnglishPackHasEveryLineOfTheChinesePackAndNoChineseInItsTranslations) {
    PackFile english("english.lpk"), chinese("chinese.lpk");
    ASSERT_TRUE(english.loaded && chinese.loaded);
    const auto en = english.Lines();
    for (const auto& [key, text] : chinese.Lines())
        EXPECT_TRUE(en.count(key) && !en.at(key).empty()) << WideToUtf8(key);
    for (const auto& [key, text] : en)
        EXPECT_FALSE(HasCjk(text)) << WideToUtf8(key) << "=" << WideToUtf8(text);
    // Each parameter explanation is English too.
    const CTreeTextNode* names = english.section->FindByName(L"ParameterNames");
    ASSERT_NE(names, nullptr);
    for (const std::wstring& line : names->m_para.m_arExtraLines)
        EXPECT_FALSE(HasCjk(line.substr(line.find(L'=') + 1))) << WideToUtf8(line);
}

TEST(LanguageCoverage, TheEnglishMenuTreeMirrorsTheChineseOne) {
    PackFile english("english.lpk"), chinese("chinese.lpk");
    ASSERT_TRUE(english.section && chinese.section);
    const CTreeTextNode* zh = chinese.section->FindByName(L"ZRKPopUp");
    ASSERT_NE(zh, nullptr);
    ASSERT_GT(zh->GetChildCount(), 0);
    std::vector<std::string> problems;
    CompareMenus(*zh, english.section->FindByName(L"ZRKPopUp"), "ZRKPopUp", problems);
    std::string all;
    for (const std::string& p : problems)
        all += "  " + p + "\n";
    EXPECT_TRUE(problems.empty()) << all;
}

TEST(LanguageCoverage, EveryParameterOfTheDeploymentsScriptsIsExplained) {
    // The grids show the scripts' names as stored; the English pack explains each in the name's tooltip.
    PackFile english("english.lpk");
    ASSERT_NE(english.section, nullptr);
    const CTreeTextNode* names = english.section->FindByName(L"ParameterNames");
    ASSERT_NE(names, nullptr);
    std::string missing;
    int seen = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kSource / "deploy" / "PlugIns")) {
        if (!entry.is_regular_file() || entry.path().extension() != ".ini")
            continue;
        CTreeTextAnalyze script;
        ASSERT_TRUE(script.LoadFile(Utf8ToWide(entry.path().string())) && script.Parse());
        std::vector<const CTreeTextNode*> stack{&script.m_root};
        while (!stack.empty()) {
            const CTreeTextNode* node = stack.back();
            stack.pop_back();
            for (int i = 0; i < node->GetChildCount(); ++i)
                stack.push_back(node->GetChild(i));
            const std::wstring& name = node->m_para.m_strName;
            if (node == &script.m_root || !HasCjk(name))
                continue;
            ++seen;
            if (names->m_para.GetExtraValue(name).empty())
                missing += "  " + WideToUtf8(name) + "=    (" + entry.path().filename().string() + ")\n";
        }
    }
    EXPECT_GT(seen, 10);
    EXPECT_TRUE(missing.empty()) << "parameters without an explanation in [ParameterNames]:\n" << missing;
}

TEST(LanguageCoverage, TheScanFollowsHelpersTablesAndLambdasAndSkipsComments) {
    const std::map<std::string, std::string> files = {
        {"a.cpp", R"(
            QString Tr(const wchar_t* text) { return QString::fromStdWString(Translate(text, 0)); }
            // Translate(L"注释");  /* Tr(L"也是注释") */
            const wchar_t* const kTable[2] = {L"表一", L"表二"};
            struct Place { int id; const wchar_t* label; };
            const Place kPlaces[] = {{1, L"位置"}, {2, L"AAAA"}};
            std::wstring Message(int c) { switch (c) { case 1: return L"返回"; } return L""; }
            void Window::Build() {
                setWindowTitle(Tr(L"标题"));
                const auto add = [this](const wchar_t* label, int keys) { Use(Translate(label, 0)); };
                add(L"撤销", 1);
                Use(Translate(kTable[i], 0));
                for (const Place& place : kPlaces) Use(Translate(place.label));
                Use(Translate(Message(2)));
                Use(Translate(L"2601"));
                Refuse(L"拒绝", field);
                Other(L"不翻译");
                Format(L"%d 个", 3);
                CEditStep step(*this, x ? L"步骤" : L"另一步骤");
            }
            bool Window::Refuse(const wchar_t* message, QLineEdit* field) { Box(Tr(message)); return false; }
            Dlg::Dlg(int n, const wchar_t* title) : Base(n), m_strCaption(title) {}
            void Dlg::Show(bool x) {
                setWindowTitle(Tr(m_strCaption.c_str()));
                const wchar_t* refusal = nullptr;
                if (x) refusal = L"拒绝画";
                Box(Translate(refusal));
                const std::pair<const char*, const wchar_t*> texts[] = {{"35013", L"绑定"}};
                for (const auto& [name, text] : texts) Tr(text);
            }
            void Make() { auto* d = new Dlg(2, L"对话框"); }
            Derived::Derived(QWidget* parent) : Dlg(1, L"派生"), m_x(0) {}
        )"},
        {"b.cpp", R"(
            void Other(const wchar_t* text) { Show(text); }
            void Elsewhere() { add(L"别的文件"); Tr(L"另一文件" L"续"); }
        )"}};
    std::set<std::string> keys;
    for (const auto& [key, where] : GatherTranslatedKeysFromTexts(files))
        keys.insert(key);
    const std::set<std::string> expected = {"标题", "撤销", "表一", "表二", "位置", "返回",
                                            "2601", "拒绝", "另一文件续", "拒绝画", "绑定", "对话框", "派生", "步骤", "另一步骤"};
    EXPECT_EQ(keys, expected);
}

TEST(LanguageCoverage, AMissingEmptyOrDamagedPackLeavesTheChineseTexts) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "Language");
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    CLanguagePack pack;
    EXPECT_FALSE(pack.LoadLanguage(L"klingon"));
    pack.SetSection(L"ZRKDll.dll");
    EXPECT_EQ(pack.Translate(L"确定"), L"确定");
    dir.WriteBytes("Language/empty.lpk", "");
    pack.LoadLanguage(L"empty");
    EXPECT_EQ(pack.Translate(L"确定"), L"确定");
    // A line cut short, a header never closed, bytes that are no UTF-8: the readable lines still count,
    // the rest read as nothing.
    dir.WriteBytes("Language/damaged.lpk", "[ZRKDll.dll]\n\xff\xfe\xfd=bad\n确定=OK\n取消\n[ZRKPopUp]\n[模板");
    CLanguagePack damaged;
    damaged.LoadLanguage(L"damaged");
    damaged.SetSection(L"ZRKDll.dll");
    EXPECT_EQ(damaged.Translate(L"确定"), L"OK");
    EXPECT_EQ(damaged.Translate(L"取消"), L"取消");
}
