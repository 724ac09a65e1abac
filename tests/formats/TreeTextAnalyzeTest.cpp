#include "formats/TreeTextAnalyze.h"

#include "formats/CodePage.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <memory>
#include <random>

namespace {

using Lines = std::vector<std::wstring>;

struct Parsed : CTreeTextAnalyze {
    explicit Parsed(Lines lines) {
        m_arLines = std::move(lines);
        Parse();
    }
    CTreeTextNode& Top(int i) { return *m_root.GetChild(i); }
};

TEST(TreeTextParse, FieldsExtraLinesLevelsAndNumbers) {
    Parsed s({L"[A]", L"    Type=3", L"    ComboList=x,,y", L"    Hint=Label", L"    [B]",
              L"        Value= 5 ", L"    [END]", L"[END]"});
    ASSERT_EQ(s.m_root.GetChildCount(), 1);
    CTreeTextNode& a = s.Top(0);
    EXPECT_EQ(a.GetName(), L"A");
    EXPECT_EQ(a.m_para.m_nType, 3);
    EXPECT_EQ(a.m_para.m_arComboList, (Lines{L"x", L"y"}));
    EXPECT_EQ(a.m_para.m_arExtraLines, (Lines{L"Hint=Label"}));
    EXPECT_EQ(a.m_nLevel, 1);
    EXPECT_EQ(a.m_nTreeID, 1);
    EXPECT_EQ(a.m_nID, 1);
    EXPECT_EQ(a.m_pParent, &s.m_root);
    ASSERT_EQ(a.GetChildCount(), 1);
    CTreeTextNode& b = *a.GetChild(0);
    EXPECT_EQ(b.m_para.m_strValue, L" 5"); // trailing blank removed, leading kept
    EXPECT_EQ(b.m_nLevel, 2);
    EXPECT_EQ(b.m_nTreeID, 2);
    EXPECT_EQ(b.m_pParent, &a);
    EXPECT_EQ(s.GetMaxTreeID(), 2);
}

TEST(TreeTextParse, KeysAreCaseInsensitiveButNotTrimmed) {
    Parsed s({L"[A]", L"TYPE=7", L"\tdefaultVALUE=d ", L"remark=r\t", L"VaLuE=v", L"COMBOLIST=a,b",
              L"combolist=c,", L"Type = 9", L"Name=x", L"hint=h=i"});
    const CTreeParaStruct& p = s.Top(0).m_para;
    EXPECT_EQ(p.m_nType, 7);
    EXPECT_EQ(p.m_strDefaultValue, L"d");
    EXPECT_EQ(p.m_strRemark, L"r");
    EXPECT_EQ(p.m_strValue, L"v");
    EXPECT_EQ(p.m_arComboList, (Lines{L"a", L"b", L"c"})); // a second line adds to the first
    EXPECT_EQ(p.m_arExtraLines, (Lines{L"Type = 9", L"Name=x", L"hint=h=i"}));
    EXPECT_EQ(p.m_strName, L"A"); // "Name=" is an extra line, never the name
    EXPECT_EQ(Parsed({L"[A]", L" \t type=12"}).Top(0).m_para.m_nType, 12); // leading white space goes first
    EXPECT_EQ(Parsed({L"[A]", L"type =12"}).Top(0).m_para.m_arExtraLines, (Lines{L"type =12"}));
}

TEST(TreeTextParse, TypeNumbersReadAsTheCLibraryDoes) {
    auto typeOf = [](const std::wstring& line) { return Parsed({L"[A]", line}).Top(0).m_para.m_nType; };
    EXPECT_EQ(typeOf(L"Type=7"), 7);
    EXPECT_EQ(typeOf(L"Type=  -12abc"), -12);
    EXPECT_EQ(typeOf(L"Type=+4"), 4);
    EXPECT_EQ(typeOf(L"Type=x3"), 0);
    EXPECT_EQ(typeOf(L"Type="), 0);
    EXPECT_EQ(typeOf(L"Type=99999999999999999999"), 2147483647);
    EXPECT_EQ(typeOf(L"Type=-99999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(typeOf(L"Type=" + std::wstring(130, L' ') + L"5"), 0); // beyond the first 127 characters
}

TEST(TreeTextParse, HeadersEndLinesAndStops) {
    Parsed chained({L"[A]", L"[B]"}); // no end line: B is A's child
    ASSERT_EQ(chained.m_root.GetChildCount(), 1);
    EXPECT_EQ(chained.Top(0).GetChild(0)->GetName(), L"B");

    Parsed stop({L"[A]", L"[B]", L"[END]", L"[END]", L"[END]", L"[C]"});
    EXPECT_EQ(stop.m_root.GetChildCount(), 1);
    EXPECT_EQ(stop.FindByName(L"C"), nullptr);

    Parsed names({L"[A] trailing", L"[end]", L"[B", L"[Endx]", L"  [x]y]", L"[End]"});
    ASSERT_EQ(names.m_root.GetChildCount(), 3);
    EXPECT_EQ(names.Top(0).GetName(), L"A");
    EXPECT_EQ(names.Top(1).GetName(), L"");
    EXPECT_EQ(names.Top(2).GetName(), L"x");
    EXPECT_EQ(names.Top(2).m_nID, 3);

    Parsed rootLines({L"确定=OK", L"Type=4", L"[END]", L"[A]"}); // the root's own end line stops at once
    EXPECT_EQ(rootLines.m_root.m_para.m_arExtraLines, (Lines{L"确定=OK"}));
    EXPECT_EQ(rootLines.m_root.m_para.m_nType, 4);
    EXPECT_EQ(rootLines.m_root.GetChildCount(), 0);
}

TEST(TreeTextParse, IdentifiersCountSiblingsAndTreeNumbersTheWholeTree) {
    Parsed s({L"[A]", L"[A1]", L"[END]", L"[A2]", L"[A21]", L"[END]", L"[END]", L"[END]", L"[B]", L"[B1]"});
    CTreeTextNode& a = s.Top(0);
    CTreeTextNode& b = s.Top(1);
    EXPECT_EQ(a.GetChild(0)->m_nID, 1);
    EXPECT_EQ(a.GetChild(1)->m_nID, 2);
    EXPECT_EQ(b.m_nID, 2);
    EXPECT_EQ(b.GetChild(0)->m_nID, 1);
    EXPECT_EQ(a.m_nTreeID, 1);
    EXPECT_EQ(a.GetChild(1)->GetChild(0)->m_nTreeID, 4);
    EXPECT_EQ(b.m_nTreeID, 5);
    EXPECT_EQ(b.GetChild(0)->m_nTreeID, 6);
    EXPECT_EQ(b.GetChild(0)->m_nLevel, 2);
    EXPECT_EQ(s.FindByTreeID(4)->GetName(), L"A21");
    EXPECT_EQ(s.FindByTreeID(0), &s.m_root);
    EXPECT_EQ(s.FindByTreeID(7), nullptr);

    // A second parse starts again, numbering above the root's own tree number.
    s.m_root.m_nTreeID = 10;
    s.m_arLines = {L"[Z]"};
    s.Parse();
    ASSERT_EQ(s.m_root.GetChildCount(), 1);
    EXPECT_EQ(s.Top(0).m_nTreeID, 11);
}

TEST(TreeTextParse, ASecondParseDoesNotKeepTheRootsLinesOfTheFirst) {
    Parsed s({L"Hint=old", L"Type=5", L"ComboList=a", L"Value=v", L"[A]"});
    s.m_root.m_para.m_strName = L"kept";
    s.m_arLines = {L"Hint=new", L"[B]"};
    s.Parse();
    EXPECT_EQ(s.m_root.m_para.m_arExtraLines, (Lines{L"Hint=new"}));
    EXPECT_EQ(s.m_root.m_para.m_nType, 0);
    EXPECT_TRUE(s.m_root.m_para.m_arComboList.empty());
    EXPECT_TRUE(s.m_root.m_para.m_strValue.empty());
    EXPECT_EQ(s.m_root.GetName(), L"kept");
    ASSERT_EQ(s.m_root.GetChildCount(), 1);
    EXPECT_EQ(s.Top(0).GetName(), L"B");
}

TEST(TreeTextParse, FindByNameIsPreOrderAndExact) {
    Parsed s({L"[G]", L"[X]", L"Value=deep", L"[END]", L"[END]", L"[X]", L"Value=top"});
    EXPECT_EQ(s.FindByName(L"X")->m_para.m_strValue, L"deep");
    EXPECT_EQ(s.FindByName(L"x"), nullptr);
    EXPECT_EQ(s.FindByName(L""), &s.m_root);
}

TEST(TreeTextWrite, NestedFormExactLines) {
    Parsed s({L"[A]", L"Type=3", L"ComboList=x,,y", L"Hint=Label", L"[B]", L"DefaultValue=d", L"Value= 5 ",
              L"Remark=r", L"[END]", L"[END]", L"[C]", L"[END]"});
    s.Generate();
    EXPECT_EQ(s.m_arLines,
              (Lines{L"[]", L"    Type=0", L"    [A]", L"        Type=3", L"        ComboList=x,y",
                     L"Hint=Label", L"        [B]", L"            Type=0", L"            DefaultValue=d",
                     L"            Value= 5", L"            Remark=r", L"        [END]", L"    [END]",
                     L"    [C]", L"        Type=0", L"    [END]", L"[END]"}));
    // The editors' form: each top-level node on its own.
    Lines top;
    s.Top(1).WriteNested(top);
    EXPECT_EQ(top, (Lines{L"    [C]", L"        Type=0", L"    [END]"}));
}

TEST(TreeTextWrite, NestedFormReadsBackTheSameTree) {
    Parsed s({L"[A]", L"Type=2", L"Value=1", L"ComboList=p,q", L"Hint=h", L"[B]", L"Remark=x", L"[END]",
              L"[END]"});
    Lines lines;
    s.Top(0).WriteNested(lines);
    Parsed back(lines);
    Lines again;
    back.Top(0).WriteNested(again);
    EXPECT_EQ(again, lines);
}

TEST(TreeTextWrite, ChoiceListsThatJoinToNothingAreLeftOut) {
    CTreeTextNode node;
    node.m_para.m_strName = L"P";
    node.m_para.m_arComboList = {L""};
    Lines nested, ini;
    node.WriteNested(nested);
    node.WriteIni(ini, false, 3);
    EXPECT_EQ(nested, (Lines{L"[P]", L"    Type=0", L"[END]"}));
    EXPECT_EQ(ini, (Lines{L"[Item3]", L"Name=P", L"Type=0"}));
}

TEST(TreeTextWrite, ChoicesEndingInWhiteSpaceReadBackWhole) {
    // Found by fuzzing: the reader cuts white space off the end of a value, so "ComboList=\r," and
    // "ComboList=a ," lost their last character or their whole choice when generated and read again.
    const std::vector<Lines> choiceLists{{L"\r"}, {L"a "}, {L"a", L"b\t"}, {L" lead", L"x \n"}, {L"a", L"b"}};
    for (const Lines& choices : choiceLists) {
        SCOPED_TRACE(testing::Message() << "last choice of " << choices.size() << ": " << choices.back().size()
                                        << " characters");
        CTreeTextAnalyze script;
        auto* node = new CTreeTextNode;
        node->m_para.m_strName = L"P";
        node->m_para.m_arComboList = choices;
        ASSERT_TRUE(script.m_root.AddChild(node));
        script.Generate(); // "[]" (the root), then the node
        // Read back from the lines, and from the text as a file holds it.
        Parsed back(script.m_arLines);
        ASSERT_NE(back.m_root.FindByName(L"P"), nullptr);
        EXPECT_EQ(back.m_root.FindByName(L"P")->m_para.m_arComboList, choices);
        CTreeTextAnalyze fromText;
        fromText.SetText(script.GetText());
        fromText.Parse();
        ASSERT_NE(fromText.m_root.FindByName(L"P"), nullptr);
        EXPECT_EQ(fromText.m_root.FindByName(L"P")->m_para.m_arComboList, choices);
        // The editors' form, one node on its own, writes the same again after the round trip.
        Lines nested, again;
        node->WriteNested(nested);
        Parsed single(nested);
        ASSERT_EQ(single.m_root.GetChildCount(), 1);
        EXPECT_EQ(single.Top(0).m_para.m_arComboList, choices);
        single.Top(0).WriteNested(again);
        EXPECT_EQ(again, nested);
        // The item-list form carries the same choices.
        Lines ini;
        node->WriteIni(ini, false, 1);
        EXPECT_EQ(ini.back().substr(0, 10), L"ComboList=");
        Lines read;
        SplitText(ini.back().substr(10), L',', read);
        EXPECT_EQ(read, choices);
    }
    // A list whose last choice ends in nothing special is written as before.
    CTreeTextNode plain;
    plain.m_para.m_arComboList = {L"a ", L"b"};
    Lines lines;
    plain.WriteNested(lines);
    EXPECT_EQ(lines[2], L"    ComboList=a ,b");
}

TEST(TreeTextParse, NoTreeNumberLeftStopsTheReadingInsteadOfGoingNegative) {
    CTreeTextAnalyze s;
    s.m_root.m_nTreeID = std::numeric_limits<int>::max() - 1;
    s.m_arLines = {L"[A]", L"[END]", L"[B]", L"[END]"};
    EXPECT_FALSE(s.Parse());
    ASSERT_EQ(s.m_root.GetChildCount(), 1);
    EXPECT_EQ(s.m_root.GetChild(0)->m_nTreeID, std::numeric_limits<int>::max());
    s.m_root.m_nTreeID = 0;
    EXPECT_TRUE(s.Parse());
    EXPECT_EQ(s.m_root.GetChildCount(), 2);
}

TEST(TreeTextNodes, AddChildAtTheLargestIdentifierIsRefusedAndTheNodeStaysTheCallers) {
    CTreeTextNode root;
    auto* top = new CTreeTextNode;
    top->m_nID = std::numeric_limits<int>::max();
    ASSERT_TRUE(root.AddChild(top));
    auto extra = std::make_unique<CTreeTextNode>();
    extra->m_nLevel = 7;
    EXPECT_FALSE(root.AddChild(extra.get()));
    EXPECT_EQ(extra->m_nID, -1);
    EXPECT_EQ(extra->m_pParent, nullptr);
    EXPECT_EQ(extra->m_nLevel, 7);
    EXPECT_EQ(root.GetChildCount(), 1);
    EXPECT_FALSE(root.AddChild(nullptr));
}

TEST(TreeTextWrite, IniFormNumbersEveryLevelFromOne) {
    Parsed s({L"[G1]", L"Type=1", L"Hint=a", L"[P1]", L"Value=5", L"[END]", L"[END]", L"[G2]", L"[P2]",
              L"DefaultValue=0", L"Remark=r", L"ComboList=a,b", L"[END]", L"[END]"});
    Lines lines;
    s.WriteIni(lines, true);
    EXPECT_EQ(lines,
              (Lines{L"[General]", L"Count=2", L"Name=",          L"Type=0",   L"[Item1]",      L"Count=1",
                     L"Name=G1",   L"Type=1",  L"Hint=a",         L"[Item1]",  L"Name=P1",      L"Type=0",
                     L"Value=5",   L"[Item2]", L"Count=1",        L"Name=G2",  L"Type=0",       L"[Item1]",
                     L"Name=P2",   L"Type=0",  L"DefaultValue=0", L"Remark=r", L"ComboList=a,b"}));
    std::wstring text = L"head:";
    s.GetIniText(text, false);
    EXPECT_EQ(text.substr(0, 22), L"head:[Item0]\r\nCount=2\r");
    EXPECT_EQ(text.substr(text.size() - 15), L"\r\nComboList=a,b");
}

TEST(TreeTextLines, SetTextJoinLinesAndSplitText) {
    CTreeTextAnalyze s;
    s.SetText(L"a\r\nb");
    EXPECT_EQ(s.m_arLines, (Lines{L"a", L"b"}));
    s.SetText(L"a\r\n");
    EXPECT_EQ(s.m_arLines, (Lines{L"a"}));
    s.SetText(L"");
    EXPECT_TRUE(s.m_arLines.empty());
    s.SetText(L"\r\n\r\nx\ny\r");
    EXPECT_EQ(s.m_arLines, (Lines{L"", L"", L"x\ny\r"}));
    EXPECT_EQ(s.GetText(), L"\r\n\r\nx\ny\r");

    EXPECT_EQ(JoinLines({}), L"");
    EXPECT_EQ(JoinLines({L""}), L"");
    EXPECT_EQ(JoinLines({L"a", L"", L"b"}), L"a\r\n\r\nb");

    Lines pieces{L"keep"};
    EXPECT_EQ(SplitText(L",a,,b c,", L',', pieces), 2);
    EXPECT_EQ(pieces, (Lines{L"keep", L"a", L"b c"}));
    EXPECT_EQ(SplitText(L"", L',', pieces), 0);
    EXPECT_EQ(SplitText(L",,,", L',', pieces), 0);
    EXPECT_EQ(pieces.size(), 3u);
}

TEST(TreeTextFiles, LoadAndSave) {
    TempDir dir;
    CTreeTextAnalyze s;
    s.m_arLines = {L"old"};
    EXPECT_FALSE(s.LoadFile(dir.File("missing.ini")));
    EXPECT_FALSE(s.LoadFile(dir.Folder())); // a folder is no file
    EXPECT_EQ(s.m_arLines, (Lines{L"old"}));

    dir.WriteBytes("u16.ini", std::string("\xFF\xFE", 2) + WideToUtf16Le(L"[检测]\r\nValue=1\r\n"));
    ASSERT_TRUE(s.LoadFile(dir.File("u16.ini")));
    EXPECT_EQ(s.m_arLines, (Lines{L"[检测]", L"Value=1"}));

    s.m_arLines = {L"[面]", L"    Value=2"};
    ASSERT_TRUE(s.SaveFile(dir.File("out.ini")));
    EXPECT_EQ(dir.ReadBytes("out.ini"), WideToAnsiString(L"[面]\n    Value=2\n"));
    CTreeTextAnalyze back;
    ASSERT_TRUE(back.LoadFile(dir.File("out.ini")));
    EXPECT_EQ(back.m_arLines, s.m_arLines);

    s.m_arLines.clear();
    ASSERT_TRUE(s.SaveFile(dir.File("out.ini")));
    EXPECT_EQ(dir.ReadBytes("out.ini"), "");
}

TEST(TreeTextFiles, SaveReportsAFileThatCannotBeWritten) {
    TempDir dir;
    CTreeTextAnalyze s;
    s.m_arLines = {L"x"};
    EXPECT_FALSE(s.SaveFile(dir.File("no/such/folder/out.ini")));
    EXPECT_FALSE(s.SaveFile(dir.Folder()));
    if (std::filesystem::exists("/dev/full")) { // a device that refuses every byte written to it
        EXPECT_FALSE(s.SaveFile(L"/dev/full"));
    }
}

TEST(TreeTextHostile, StrayEndsMissingBracketsHugeLinesAndGarbage) {
    Parsed stray({L"[END]", L"[A]"});
    EXPECT_EQ(stray.m_root.GetChildCount(), 0);

    const std::wstring huge(3'000'000, L'x');
    Parsed big({L"[" + huge, L"Value=" + huge + L"   ", L"[" + huge + L"]", L"k" + huge + L"=v"});
    ASSERT_EQ(big.m_root.GetChildCount(), 1);
    EXPECT_EQ(big.Top(0).GetName(), L"");
    EXPECT_EQ(big.Top(0).m_para.m_strValue, huge);
    EXPECT_EQ(big.Top(0).GetChild(0)->GetName(), huge);
    EXPECT_EQ(big.Top(0).GetChild(0)->m_para.m_arExtraLines.size(), 1u);

    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string garbage;
    for (int i = 0; i < 200'000; ++i)
        garbage += static_cast<char>(byte(random));
    garbage += "\n[tail]\n";
    TempDir dir;
    dir.WriteBytes("garbage.ini", garbage);
    CTreeTextAnalyze s;
    ASSERT_TRUE(s.LoadFile(dir.File("garbage.ini")));
    EXPECT_TRUE(s.Parse());
    EXPECT_TRUE(s.Generate());
    Lines ini;
    s.WriteIni(ini, true);
    EXPECT_FALSE(ini.empty());
}

TEST(TreeTextHostile, HundredThousandLevelsDeep) {
    constexpr int depth = 100'000;
    Lines lines;
    for (int i = 0; i < depth; ++i)
        lines.push_back(L"[N" + std::to_wstring(i) + L"]");
    lines.push_back(L"Value=bottom");
    {
        Parsed s(lines);
        CTreeTextNode* bottom = s.FindByName(L"N99999");
        ASSERT_NE(bottom, nullptr);
        EXPECT_EQ(bottom->m_nLevel, depth);
        EXPECT_EQ(bottom->m_para.m_strValue, L"bottom");
        EXPECT_EQ(s.FindByTreeID(depth), bottom);
        EXPECT_EQ(s.GetMaxTreeID(), depth);

        s.Generate(); // the root, the nodes: 3 lines each
        ASSERT_EQ(s.m_arLines.size(), 3u * (depth + 1) + 1);
        EXPECT_EQ(s.m_arLines[1], L"    Type=0");
        EXPECT_EQ(s.m_arLines.back(), L"[END]");
        const std::wstring deepest(4 * CTreeTextNode::kMaxIndentLevels, L' ');
        EXPECT_EQ(s.m_arLines[2 + 2 * (depth - 1)], deepest + L"[N99999]");
        Parsed back(s.m_arLines); // indentation is not read: the same shape comes back under "[]"
        EXPECT_EQ(back.FindByName(L"N99999")->m_nLevel, depth + 1);

        Lines ini;
        s.WriteIni(ini, true);
        EXPECT_EQ(ini.size(), 4u * depth + 4);

        CTreeTextNode copy;
        copy.CopyFrom(&s.m_root);
        EXPECT_EQ(copy.FindByName(L"N99999")->m_para.m_strValue, L"bottom");
        CTreeTextNode structure;
        structure.CopyStructure(&s.m_root);
        EXPECT_EQ(structure.FindByName(L"N99999")->m_para.m_strValue, L"");
        copy.SyncWith(structure);
        EXPECT_EQ(copy.FindByName(L"N99999")->m_para.m_strValue, L"bottom");
    } // every tree above is destroyed here, 100,000 levels deep
}

} // namespace
