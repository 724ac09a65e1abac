#include "dialogs/CustomParaScript.h"

#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A custom script: one top-level group T with two parameter groups, A (p, q) and C (r).
const char* kScript = "[T]\n"
                      "    Type=0\n"
                      "    [A]\n"
                      "        Type=0\n"
                      "        [p]\n"
                      "            Type=0\n"
                      "            DefaultValue=1\n"
                      "        [END]\n"
                      "        [q]\n"
                      "            Type=2\n"
                      "            DefaultValue=1\n"
                      "            Hint=启用\n"
                      "        [END]\n"
                      "    [END]\n"
                      "    [C]\n"
                      "        Type=0\n"
                      "        [r]\n"
                      "            Type=0\n"
                      "        [END]\n"
                      "    [END]\n"
                      "[END]\n";

// Stored values of an older version of the script: A (p=5), B (x=9), which the script no longer has.
const wchar_t* kStored = L"[T]\r\n"
                         L"    Type=0\r\n"
                         L"    [A]\r\n"
                         L"        Type=0\r\n"
                         L"        [p]\r\n"
                         L"            Type=0\r\n"
                         L"            DefaultValue=1\r\n"
                         L"            Value=5\r\n"
                         L"            Remark=stored\r\n"
                         L"        [END]\r\n"
                         L"    [END]\r\n"
                         L"    [B]\r\n"
                         L"        Type=0\r\n"
                         L"        [x]\r\n"
                         L"            Type=0\r\n"
                         L"            Value=9\r\n"
                         L"        [END]\r\n"
                         L"    [END]\r\n"
                         L"[END]\r\n";

std::vector<std::wstring> ChildNames(CTreeTextNode* node) {
    std::vector<std::wstring> names;
    for (int i = 0; node && i < node->GetChildCount(); ++i)
        names.push_back(node->GetChild(i)->GetName());
    return names;
}

class CustomParaScriptTest : public ::testing::Test {
protected:
    void SetUp() override { dir.WriteBytes("s.ini", kScript); }
    TempDir dir;
    CCustomParaScript doc;
};

} // namespace

TEST_F(CustomParaScriptTest, StoredValuesFollowTheScriptKeepingWhatStillExists) {
    EXPECT_EQ(doc.Load(dir.File("s.ini"), kStored), CCustomParaScript::State::Loaded);
    CTreeTextNode* t = doc.GetValuesRoot()->GetChild(0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(ChildNames(t), (std::vector<std::wstring>{L"A", L"C"})); // B dropped, C added
    CTreeTextNode* a = t->GetChild(0);
    EXPECT_EQ(ChildNames(a), (std::vector<std::wstring>{L"p", L"q"}));
    EXPECT_EQ(a->GetChild(0)->m_para.m_strValue, L"5");
    EXPECT_EQ(a->GetChild(0)->m_para.m_strRemark, L"stored");
    EXPECT_EQ(a->GetChild(1)->m_para.m_strDefaultValue, L"1"); // new parameter with the script's default

    // What OK stores: the top-level nodes nested (indented by their level, 1), every line followed by CR LF.
    EXPECT_EQ(doc.GetScriptText(), L"    [T]\r\n"
                                   L"        Type=0\r\n"
                                   L"        [A]\r\n"
                                   L"            Type=0\r\n"
                                   L"            [p]\r\n"
                                   L"                Type=0\r\n"
                                   L"                DefaultValue=1\r\n"
                                   L"                Value=5\r\n"
                                   L"                Remark=stored\r\n"
                                   L"            [END]\r\n"
                                   L"            [q]\r\n"
                                   L"                Type=2\r\n"
                                   L"                DefaultValue=1\r\n"
                                   L"Hint=启用\r\n"
                                   L"            [END]\r\n"
                                   L"        [END]\r\n"
                                   L"        [C]\r\n"
                                   L"            Type=0\r\n"
                                   L"            [r]\r\n"
                                   L"                Type=0\r\n"
                                   L"            [END]\r\n"
                                   L"        [END]\r\n"
                                   L"    [END]\r\n");
}

TEST_F(CustomParaScriptTest, NoScriptChosenOrAMissingFileLeavesNothingToShow) {
    EXPECT_EQ(doc.Load(L"", kStored), CCustomParaScript::State::NoScript);
    EXPECT_EQ(doc.GetValuesRoot()->GetChildCount(), 0);
    EXPECT_EQ(doc.GetScriptText(), L"");
    EXPECT_EQ(doc.Load(dir.File("gone.ini"), kStored), CCustomParaScript::State::NoScript);
    EXPECT_EQ(doc.GetValuesRoot()->GetChildCount(), 0);
    // A folder where the script was is no script either.
    std::filesystem::create_directory(dir.Path() / "dir.ini");
    EXPECT_EQ(doc.Load(dir.File("dir.ini"), kStored), CCustomParaScript::State::NoScript);
}

TEST_F(CustomParaScriptTest, AFileThatIsNoScriptKeepsEveryStoredGroup) {
    dir.WriteBytes("png.ini", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    EXPECT_EQ(doc.Load(dir.File("png.ini"), kStored), CCustomParaScript::State::Unreadable);
    CTreeTextNode* t = doc.GetValuesRoot()->GetChild(0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(ChildNames(t), (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(t->GetChild(1)->GetChild(0)->m_para.m_strValue, L"9");

    // An empty file gives no node either.
    dir.WriteBytes("empty.ini", "");
    EXPECT_EQ(doc.Load(dir.File("empty.ini"), kStored), CCustomParaScript::State::Unreadable);
    // A readable script afterwards synchronises as usual (nothing of the failed read stays behind).
    EXPECT_EQ(doc.Load(dir.File("s.ini"), kStored), CCustomParaScript::State::Loaded);
    EXPECT_EQ(ChildNames(doc.GetValuesRoot()->GetChild(0)), (std::vector<std::wstring>{L"A", L"C"}));
}

TEST_F(CustomParaScriptTest, AFileWithoutReadPermissionKeepsEveryStoredGroup) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file";
    chmod((dir.Path() / "s.ini").c_str(), 0);
    EXPECT_EQ(doc.Load(dir.File("s.ini"), kStored), CCustomParaScript::State::Unreadable);
    EXPECT_EQ(ChildNames(doc.GetValuesRoot()->GetChild(0)), (std::vector<std::wstring>{L"A", L"B"}));
}

TEST_F(CustomParaScriptTest, TreeNumbersStayUniqueWhenScriptNodesAreAdded) {
    // Parsed apart, the stored tree and the script both number their nodes from 1: the nodes the script
    // adds would share numbers with stored ones, and a look-up by number would find the wrong group.
    ASSERT_EQ(doc.Load(dir.File("s.ini"), kStored), CCustomParaScript::State::Loaded);
    std::set<int> seen;
    std::vector<CTreeTextNode*> stack{doc.GetValuesRoot()};
    while (!stack.empty()) {
        CTreeTextNode* node = stack.back();
        stack.pop_back();
        EXPECT_TRUE(seen.insert(node->m_nTreeID).second) << "tree number " << node->m_nTreeID << " twice";
        EXPECT_EQ(doc.GetValues().FindByTreeID(node->m_nTreeID), node);
        for (int i = 0; i < node->GetChildCount(); ++i)
            stack.push_back(node->GetChild(i));
    }
    EXPECT_EQ(seen.size(), 7u); // root, T, A, p, q, C, r
}

TEST_F(CustomParaScriptTest, AGroupGoesToTheGridAndItsRowsComeBackByPosition) {
    ASSERT_EQ(doc.Load(dir.File("s.ini"), kStored), CCustomParaScript::State::Loaded);
    CTreeTextNode* a = doc.GetValuesRoot()->GetChild(0)->GetChild(0);
    int shown = -1;
    EXPECT_EQ(doc.GroupIniText(*a, &shown),
              L"[General]\r\nCount=2\r\nName=A\r\nType=0\r\n"
              L"[Item1]\r\nName=p\r\nType=0\r\nDefaultValue=1\r\nValue=5\r\n"
              L"Remark=stored\r\n"
              L"[Item2]\r\nName=q\r\nType=2\r\nDefaultValue=1\r\nHint=启用\r\n");
    EXPECT_EQ(shown, a->m_nTreeID);

    // Row labels: a caption finds the child by its "Hint", a plain name by name.
    EXPECT_EQ(doc.RowValue(shown, L"p"), L"5");
    a->GetChild(1)->m_para.m_strValue = L"0";
    EXPECT_EQ(doc.RowValue(shown, L"启用"), L"0");
    EXPECT_EQ(doc.RowValue(shown, L"nothing"), L"");
    EXPECT_EQ(doc.RowValue(9999, L"p"), L"");

    // Rows beyond the children are ignored; an unknown group or no rows changes nothing.
    EXPECT_TRUE(doc.CommitGroup(shown, {{L"7", L"r1"}, {L"1", L""}, {L"extra", L"x"}}));
    EXPECT_EQ(a->GetChild(0)->m_para.m_strValue, L"7");
    EXPECT_EQ(a->GetChild(0)->m_para.m_strRemark, L"r1");
    EXPECT_EQ(a->GetChild(1)->m_para.m_strValue, L"1");
    EXPECT_EQ(a->GetChildCount(), 2);
    EXPECT_FALSE(doc.CommitGroup(shown, {}));
    EXPECT_FALSE(doc.CommitGroup(9999, {{L"8", L""}}));
    EXPECT_EQ(a->GetChild(0)->m_para.m_strValue, L"7");
    EXPECT_NE(doc.GetScriptText().find(L"                Value=7\r\n                Remark=r1\r\n"),
              std::wstring::npos);
}

TEST_F(CustomParaScriptTest, AGroupFromElsewhereIsAppendedToTheValuesBeforeItIsShown) {
    ASSERT_EQ(doc.Load(dir.File("s.ini"), kStored), CCustomParaScript::State::Loaded);
    CTreeTextAnalyze other;
    other.SetText(L"[Z]\r\n[z1]\r\nValue=3\r\n[END]\r\n[END]\r\n");
    other.Parse();
    CTreeTextNode* z = other.GetRoot()->GetChild(0);
    z->m_nTreeID = 4242; // no such number in the values
    int shown = -1;
    const std::wstring text = doc.GroupIniText(*z, &shown);
    EXPECT_EQ(text.substr(0, 28), L"[General]\r\nCount=1\r\nName=Z\r\n");
    EXPECT_EQ(ChildNames(doc.GetValuesRoot()), (std::vector<std::wstring>{L"T", L"Z"}));
    EXPECT_EQ(doc.GetValues().FindByTreeID(shown), doc.GetValuesRoot()->GetChild(1));
}
