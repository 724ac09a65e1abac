#include "formats/LanguagePack.h"

#include "formats/CodePage.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

using Lines = std::vector<std::wstring>;

struct Pack : CLanguagePack {
    explicit Pack(Lines lines) {
        m_arLines = std::move(lines);
        Parse();
    }
};

const Lines kPack = {L"RootKey=root text",
                     L"[Other.dll]",
                     L"确定=Okay",
                     L"[END]",
                     L"[ZRKDll.dll]",
                     L"确定=OK",
                     L"确定=second",
                     L"空=",
                     L"Tab=a\\tb\\r\\nc",
                     L"Hint=a=b",
                     L"[Child]",
                     L"取消=Cancel",
                     L"[END]",
                     L"[END]"};

TEST(LanguagePack, TranslatesFromTheSectionsOwnLines) {
    Pack pack(kPack);
    EXPECT_EQ(pack.SetSection(L"ZRKDll.dll"), L"");
    EXPECT_EQ(pack.Translate(L"确定"), L"OK");   // the first matching line wins
    EXPECT_EQ(pack.Translate(L"取消"), L"取消"); // only in a child node: not found
    EXPECT_EQ(pack.Translate(L"空"), L"空");     // an empty translation leaves the text
    EXPECT_EQ(pack.Translate(L"Hint"), L"a=b");
    EXPECT_EQ(pack.Translate(L"hint"), L"hint"); // exact, case-sensitive
    EXPECT_EQ(pack.Translate(L"确定 "), L"确定 ");
    EXPECT_EQ(pack.Translate(L""), L"");
    EXPECT_EQ(pack.SetSection(L"Other.dll"), L"ZRKDll.dll");
    EXPECT_EQ(pack.Translate(L"确定"), L"Okay");
    pack.SetSection(L"Missing.dll");
    EXPECT_EQ(pack.Translate(L"确定"), L"确定");
}

TEST(LanguagePack, EscapesAreReplacedOnlyWithFlagOne) {
    Pack pack(kPack);
    pack.SetSection(L"ZRKDll.dll");
    EXPECT_EQ(pack.Translate(L"Tab", 0), L"a\\tb\\r\\nc");
    EXPECT_EQ(pack.Translate(L"Tab", 1), L"a\tb\r\nc");
    EXPECT_EQ(pack.Translate(L"Tab", 2), L"a\\tb\\r\\nc");
}

TEST(LanguagePack, BeforeASectionIsChosenTheRootsLinesApply) {
    Pack pack(kPack);
    EXPECT_EQ(pack.Translate(L"RootKey"), L"root text");
    EXPECT_EQ(pack.Translate(L"确定"), L"确定");
}

TEST(LanguagePack, LookUpsFollowChangesOfTheTree) {
    Pack pack(kPack);
    pack.SetSection(L"ZRKDll.dll");
    EXPECT_EQ(pack.Translate(L"确定"), L"OK");
    // Through the root handed out.
    CTreeTextNode* section = pack.GetRoot()->FindByName(L"ZRKDll.dll");
    section->m_para.m_arExtraLines.insert(section->m_para.m_arExtraLines.begin(), L"确定=Yes");
    EXPECT_EQ(pack.Translate(L"确定"), L"Yes");
    // Through a node found by name.
    pack.FindByName(L"ZRKDll.dll")->m_para.m_arExtraLines.push_back(L"新=New");
    EXPECT_EQ(pack.Translate(L"新"), L"New");
    // Directly on the root, announced.
    pack.m_root.FindByName(L"ZRKDll.dll")->m_para.m_arExtraLines.clear();
    pack.TreeChanged();
    EXPECT_EQ(pack.Translate(L"确定"), L"确定");
    // A new parse, and a section set through the field.
    pack.m_arLines = kPack;
    pack.Parse();
    EXPECT_EQ(pack.Translate(L"确定"), L"OK");
    pack.m_strSection = L"Other.dll";
    EXPECT_EQ(pack.Translate(L"确定"), L"Okay");
}

TEST(LanguagePack, NodeObtainedBeforeALookUpAndChangedAfterItIsSeen) {
    // Each node is handed out first, a look-up follows, and only then is the node changed.
    Pack pack(kPack);
    pack.SetSection(L"ZRKDll.dll");
    CTreeTextNode* section = pack.FindByName(L"ZRKDll.dll");
    EXPECT_EQ(pack.Translate(L"确定"), L"OK");
    section->m_para.m_arExtraLines.insert(section->m_para.m_arExtraLines.begin(), L"确定=Yes");
    EXPECT_EQ(pack.Translate(L"确定"), L"Yes");
    section->m_para.m_arExtraLines.push_back(L"新=New");
    EXPECT_EQ(pack.Translate(L"新"), L"New");
    section->m_para.m_strName = L"Renamed.dll"; // the section is gone under its name
    EXPECT_EQ(pack.Translate(L"确定"), L"确定");

    // The root outlives a new parse: a root held from before still changes what is found.
    Pack other(kPack);
    CTreeTextNode* root = other.GetRoot();
    other.m_arLines = kPack;
    other.Parse();
    EXPECT_EQ(other.Translate(L"RootKey"), L"root text");
    root->m_para.m_arExtraLines.front() = L"RootKey=changed";
    EXPECT_EQ(other.Translate(L"RootKey"), L"changed");
    other.SetSection(L"ZRKDll.dll");
    EXPECT_EQ(other.Translate(L"确定"), L"OK");
    root->FindByName(L"ZRKDll.dll")->m_para.m_arExtraLines.clear();
    EXPECT_EQ(other.Translate(L"确定"), L"确定");
}

TEST(LanguagePack, AHandedOutNodeReplacedByAParseNoLongerCounts) {
    Pack pack(kPack);
    pack.SetSection(L"ZRKDll.dll");
    EXPECT_FALSE(pack.NodesHandedOut());
    pack.FindByName(L"ZRKDll.dll");
    EXPECT_TRUE(pack.NodesHandedOut());
    pack.m_arLines = kPack;
    pack.Parse(); // the node handed out is deleted: look-ups may use the index again
    EXPECT_FALSE(pack.NodesHandedOut());
    EXPECT_EQ(pack.Translate(L"确定"), L"OK");
    EXPECT_EQ(pack.FindByName(L"Missing"), nullptr);
    EXPECT_FALSE(pack.NodesHandedOut()); // nothing was handed out
    pack.FindByTreeID(0);                // the root
    pack.Parse();
    EXPECT_TRUE(pack.NodesHandedOut());
}

TEST(LanguagePack, LoadLanguageReadsTheDeploymentsPack) {
    TempDir dir;
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    std::filesystem::create_directories(dir.Path() / "Language");
    dir.WriteBytes("Language/english.lpk",
                   std::string("\xFF\xFE", 2) + WideToUtf16Le(L"[ZRKDll.dll]\r\n保存=Save\r\n[END]\r\n"));
    dir.WriteBytes("Language/empty.lpk", "");

    CLanguagePack pack;
    EXPECT_FALSE(pack.LoadLanguage(L"klingon"));
    EXPECT_EQ(pack.m_strLanguage, L"klingon");
    pack.SetSection(L"ZRKDll.dll");
    EXPECT_EQ(pack.Translate(L"保存"), L"保存");

    ASSERT_TRUE(pack.LoadLanguage(L"english"));
    EXPECT_EQ(pack.GetLanguage(), L"english");
    EXPECT_EQ(pack.Translate(L"保存"), L"Save");
    EXPECT_FALSE(pack.LoadLanguage(L"klingon")); // the loaded pack stays
    EXPECT_EQ(pack.Translate(L"保存"), L"Save");

    // Switching packs: the new pack's lines above its first header are not shadowed by the old pack's.
    dir.WriteBytes("Language/a.lpk", "Key=from a\n");
    dir.WriteBytes("Language/b.lpk", "Key=from b\n");
    pack.SetSection(L"");
    ASSERT_TRUE(pack.LoadLanguage(L"a"));
    EXPECT_EQ(pack.Translate(L"Key"), L"from a");
    ASSERT_TRUE(pack.LoadLanguage(L"b"));
    EXPECT_EQ(pack.Translate(L"Key"), L"from b");
    pack.SetSection(L"ZRKDll.dll");

    EXPECT_TRUE(pack.LoadLanguage(L"empty"));
    EXPECT_EQ(pack.Translate(L"保存"), L"保存");
}

TEST(LanguagePack, PackSavedAsUtf8WithAMarkStillTranslates) {
    TempDir dir;
    ScopedEnv exe("ZRK_EXE_FOLDER", dir.Path().string());
    SetAnsiCodePage(65001);
    dir.WriteBytes("Language/marked.lpk", "\xEF\xBB\xBF[ZRKDll.dll]\n\xE4\xBF\x9D\xE5\xAD\x98=Save\n[END]\n");
    CLanguagePack pack;
    ASSERT_TRUE(pack.LoadLanguage(L"marked"));
    pack.SetSection(L"ZRKDll.dll");
    EXPECT_EQ(pack.Translate(L"保存"), L"Save");
}

TEST(LanguagePack, TheProcessPackAndTheFreeLookUp) {
    CLanguagePack* pack = GetLanguagePack();
    ASSERT_EQ(pack, GetLanguagePack());
    const std::wstring previous = pack->SetSection(L"ZRKDll.dll");
    pack->m_arLines = {L"[ZRKDll.dll]", L"关闭=Close", L"Two=a\\nb", L"[END]"};
    pack->Parse();
    EXPECT_EQ(Translate(L"关闭"), L"Close");
    EXPECT_EQ(Translate(L"Two", 1), L"a\nb");
    EXPECT_EQ(Translate(L"其他"), L"其他");
    pack->m_arLines.clear();
    pack->Parse();
    pack->SetSection(previous);
    EXPECT_EQ(Translate(L"关闭"), L"关闭");
}

// The look-up as the rules word it: search the section node, then its lines, on every call.
std::wstring LiteralTranslate(CTreeTextNode& root, const std::wstring& section, const std::wstring& text) {
    CTreeTextNode* node = root.FindByName(section);
    const std::wstring value = node ? node->m_para.GetExtraValue(text) : std::wstring();
    return value.empty() ? text : value;
}

TEST(LanguagePack, IndexedLookUpsAnswerAsASearchOfTheLinesWould) {
    std::mt19937 random(11);
    auto pick = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const std::vector<std::wstring> words = {L"a", L"b", L"确定", L"a b", L"", L"B", L"x\\t"};
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        Lines lines;
        for (int i = 0; i < 60; ++i) {
            switch (pick(6)) {
            case 0:
                lines.push_back(L"[S" + std::to_wstring(pick(3)) + L"]");
                break;
            case 1:
                lines.push_back(L"[END]");
                break;
            case 2:
                lines.push_back(words[size_t(pick(7))]);
                break; // no "=": passed over
            default:
                lines.push_back(words[size_t(pick(7))] + L"=" + (pick(3) ? words[size_t(pick(7))] : L""));
                break;
            }
        }
        Pack pack(lines);
        for (int i = 0; i < 50; ++i) {
            if (pick(8) == 0)
                pack.SetSection(pick(4) ? L"S" + std::to_wstring(pick(3)) : std::wstring());
            if (pick(10) == 0) // a change through a node handed out
                pack.GetRoot()->m_para.m_arExtraLines.push_back(words[size_t(pick(7))] + L"=changed");
            const std::wstring& key = words[size_t(pick(7))];
            EXPECT_EQ(pack.Translate(key), LiteralTranslate(pack.m_root, pack.m_strSection, key)) << key;
        }
    }
}

// A menu held in memory, as the editor's menus look through the interface.
class MemoryMenu : public IMenu {
public:
    struct Item {
        std::wstring text;
        int id = 0;
        std::unique_ptr<MemoryMenu> submenu;
    };

    MemoryMenu& Add(const std::wstring& text, int id) {
        m_items.push_back({text, id, nullptr});
        return *this;
    }
    MemoryMenu& AddSub(const std::wstring& text) {
        m_items.push_back({text, 0, std::make_unique<MemoryMenu>()});
        return *m_items.back().submenu;
    }

    int GetItemCount() const override { return static_cast<int>(m_items.size()); }
    std::wstring GetItemText(int p) const override {
        return Valid(p) ? m_items[size_t(p)].text : std::wstring();
    }
    void SetItemText(int p, const std::wstring& text) override {
        if (Valid(p))
            m_items[size_t(p)].text = text;
        ++m_nSets;
    }
    int GetItemID(int p) const override { return Valid(p) ? m_items[size_t(p)].id : -1; }
    IMenu* GetSubMenu(int p) override { return Valid(p) ? m_items[size_t(p)].submenu.get() : nullptr; }

    MemoryMenu* Sub(int p) { return m_items[size_t(p)].submenu.get(); }

    std::vector<Item> m_items;
    int m_nSets = 0;

private:
    bool Valid(int p) const { return p >= 0 && p < GetItemCount(); }
};

TEST(LanguagePack, TranslateMenuFollowsTheMenuTreeByPosition) {
    Pack pack({L"[ZRKDll.dll]", L"[Deep]", L"[ZRKPopUp]", L"[]", L"[Sub one\\tF2]", L"[END]", L"[]", L"[END]",
               L"[END]", L"[Edit]", L"[END]", L"[]", L"[END]", L"[Only three]", L"[END]", L"[END]", L"[END]",
               L"[END]"});
    MemoryMenu menu;
    MemoryMenu& file = menu.AddSub(L"文件");
    file.Add(L"打开", 101).Add(L"-sep-", 0).Add(L"关闭", 103);
    menu.Add(L"编辑", 32784);
    menu.Add(L"", 0);
    menu.Add(L"删除", 32785);
    menu.Add(L"复制", 32786); // beyond the node's children

    pack.TranslateMenu(menu, L"ZRKDll.dll", L"ZRKPopUp");
    EXPECT_EQ(pack.GetSection(), L"ZRKDll.dll");
    EXPECT_EQ(menu.GetItemText(0), L"文件"); // "[]" keeps the text, and the submenu is still translated
    ASSERT_NE(menu.Sub(0), nullptr);
    EXPECT_EQ(file.GetItemText(0), L"Sub one\tF2");
    EXPECT_EQ(file.GetItemText(1), L"-sep-");
    EXPECT_EQ(file.GetItemText(2), L"关闭");
    EXPECT_EQ(file.GetItemID(0), 101);
    EXPECT_EQ(menu.GetItemText(1), L"Edit");
    EXPECT_EQ(menu.GetItemID(1), 32784);
    EXPECT_EQ(menu.GetItemText(2), L"");
    EXPECT_EQ(menu.GetItemText(3), L"Only three");
    EXPECT_EQ(menu.GetItemText(4), L"复制");
}

TEST(LanguagePack, TranslateMenuWithoutSectionOrMenuNodeChangesNothing) {
    Pack pack({L"[ZRKDll.dll]", L"[ZRKPopUp]", L"[X]", L"[END]", L"[END]", L"[END]", L"[Other]", L"[ZRKMenu]",
               L"[Y]", L"[END]", L"[END]", L"[END]"});
    MemoryMenu menu;
    menu.Add(L"一", 1);
    pack.TranslateMenu(menu, L"Missing.dll", L"ZRKPopUp");
    pack.TranslateMenu(menu, L"ZRKDll.dll", L"ZRKMenu"); // the menu node lies outside the section
    EXPECT_EQ(menu.m_nSets, 0);
    EXPECT_EQ(menu.GetItemText(0), L"一");
    MemoryMenu empty;
    pack.TranslateMenu(empty, L"ZRKDll.dll", L"ZRKPopUp");
    EXPECT_EQ(empty.m_nSets, 0);
}

// A menu whose only item opens the menu itself.
class LoopMenu : public IMenu {
public:
    int GetItemCount() const override { return 1; }
    std::wstring GetItemText(int) const override { return m_text; }
    void SetItemText(int, const std::wstring& text) override {
        m_text = text;
        ++m_nSets;
    }
    int GetItemID(int) const override { return 0; }
    IMenu* GetSubMenu(int) override { return this; }
    std::wstring m_text;
    int m_nSets = 0;
};

TEST(LanguagePack, TranslateMenuOverADeepPackAndASelfContainingMenuEnds) {
    Lines lines = {L"[ZRKDll.dll]", L"[ZRKPopUp]"};
    for (int i = 0; i < 100'000; ++i)
        lines.push_back(L"[L" + std::to_wstring(i) + L"]");
    Pack pack(lines);
    LoopMenu menu;
    pack.TranslateMenu(menu, L"ZRKDll.dll", L"ZRKPopUp");
    EXPECT_EQ(menu.m_nSets, 100'000);
    EXPECT_EQ(menu.m_text, L"L99999");
}

} // namespace
