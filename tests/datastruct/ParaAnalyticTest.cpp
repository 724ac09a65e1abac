// The parameter analyser: both text forms, the node list, the three look-ups and the regenerated text.

#include "datastruct/ParaAnalytic.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

namespace {

const wchar_t* const kNested = L"[定位方式]\r\n"
                               L"    Type=3\r\n"
                               L"    DefaultValue=区域定位\r\n"
                               L"    ComboList=区域定位,直线定位\r\n"
                               L"[END]\r\n"
                               L"[搜索范围]\r\n"
                               L"    Type=0\r\n"
                               L"    DefaultValue=20\r\n"
                               L"    Hint=搜索范围(像素)\r\n"
                               L"[END]\r\n";

TEST(ParaAnalytic, NestedFormTopLevelNodesAreTheNodeList) {
    CParaAnalytic pa;
    EXPECT_TRUE(pa.LoadText(kNested));
    ASSERT_EQ(pa.GetNodeCount(), 2);
    EXPECT_EQ(pa.GetNode(0)->m_para.m_strName, L"定位方式");
    EXPECT_EQ(pa.GetNode(0)->m_para.m_nType, 3);
    EXPECT_EQ(pa.GetNode(0)->m_para.m_arComboList, (std::vector<std::wstring>{L"区域定位", L"直线定位"}));
    EXPECT_EQ(CParaAnalytic::GetCaption(*pa.GetNode(1)), L"搜索范围(像素)");
    EXPECT_EQ(CParaAnalytic::GetDisplayText(*pa.GetNode(0)), L"定位方式");
    // A load regenerates the text at once, as the items store it: each top-level node written nested
    // (4 blanks per level, extra lines unindented), every line ending in CR LF.
    EXPECT_EQ(pa.GetText(), L"    [定位方式]\r\n"
                            L"        Type=3\r\n"
                            L"        DefaultValue=区域定位\r\n"
                            L"        ComboList=区域定位,直线定位\r\n"
                            L"    [END]\r\n"
                            L"    [搜索范围]\r\n"
                            L"        Type=0\r\n"
                            L"        DefaultValue=20\r\n"
                            L"Hint=搜索范围(像素)\r\n"
                            L"    [END]\r\n");
}

TEST(ParaAnalytic, UpdateRegeneratesTheTextAfterChanges) {
    CParaAnalytic pa;
    pa.LoadText(kNested);
    CTreeTextNode* node = pa.FindNodeByName(L"定位方式");
    ASSERT_NE(node, nullptr);
    node->m_para.m_strValue = L"直线定位";
    node->m_para.m_strRemark = L"0.50;7";
    // Taking the text regenerates it, with or without an update first (the edge check takes it directly).
    const std::wstring text = pa.GetText();
    pa.Update();
    EXPECT_EQ(pa.GetText(), text);
    EXPECT_NE(text.find(L"        Value=直线定位\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"        Remark=0.50;7\r\n"), std::wstring::npos);
    CParaAnalytic again;
    again.LoadText(text);
    EXPECT_EQ(again.FindNodeByName(L"定位方式")->m_para.m_strValue, L"直线定位");
    EXPECT_EQ(again.GetText(), text);
}

TEST(ParaAnalytic, WrappedTextsHaveTheirContainerItemsAsNodes) {
    for (const wchar_t* wrapper : {L"[]", L"[General]"}) {
        SCOPED_TRACE(std::wstring(wrapper).size());
        CParaAnalytic pa;
        pa.LoadText(std::wstring(wrapper) + L"\r\n    Type=0\r\n" + kNested + L"[END]\r\n");
        ASSERT_EQ(pa.GetNodeCount(), 2);
        EXPECT_EQ(pa.GetNode(1)->m_para.m_strName, L"搜索范围");
        // The regenerated text drops the wrapper: the items' nodes stand at the top.
        CParaAnalytic again;
        again.LoadText(pa.GetText());
        ASSERT_EQ(again.GetNodeCount(), 2);
        EXPECT_EQ(again.GetNode(0)->m_para.m_strName, L"定位方式");
    }
    // A single group with another name is a node, not a container.
    CParaAnalytic group;
    group.LoadText(L"[其他]\r\n[1]\r\n[缺陷名称]\r\nValue=a\r\n[END]\r\n[END]\r\n[END]\r\n");
    ASSERT_EQ(group.GetNodeCount(), 1);
    EXPECT_EQ(group.GetNode(0)->m_para.m_strName, L"其他");
    ASSERT_NE(group.FindNodeByName(L"缺陷名称"), nullptr); // the whole tree is searched
    EXPECT_EQ(group.FindNodeByName(L"缺陷名称")->m_para.m_strValue, L"a");
}

TEST(ParaAnalytic, ItemListIniFormIsRebuiltFromItsCounts) {
    const std::wstring ini = L"[General]\r\nCount=2\r\nName=\r\nType=0\r\n"
                             L"[Item1]\r\nCount=1\r\nName=组\r\nType=0\r\nHint=分组\r\n"
                             L"[Item1]\r\nName=阈值\r\nType=0\r\nDefaultValue=10\r\nValue=12\r\nRemark=说明\r\n"
                             L"[Item2]\r\nName=极性\r\nType=3\r\nComboList=由暗到亮,由亮到暗\r\n";
    CParaAnalytic pa;
    pa.LoadText(ini);
    ASSERT_EQ(pa.GetNodeCount(), 2);
    CTreeTextNode* group = pa.GetNode(0);
    EXPECT_EQ(group->m_para.m_strName, L"组");
    ASSERT_EQ(group->GetChildCount(), 1);
    EXPECT_EQ(group->GetChild(0)->m_para.m_strName, L"阈值");
    EXPECT_EQ(group->GetChild(0)->m_para.m_strDefaultValue, L"10");
    EXPECT_EQ(group->GetChild(0)->m_para.m_strValue, L"12");
    EXPECT_EQ(group->GetChild(0)->m_para.m_strRemark, L"说明");
    EXPECT_EQ(pa.GetNode(1)->m_para.m_strName, L"极性");
    EXPECT_EQ(pa.GetNode(1)->m_para.m_arComboList.size(), 2u);
    EXPECT_EQ(pa.FindNodeByCaption(L"分组"), group);
    EXPECT_EQ(pa.FindNodeByDisplayText(L"分组"), group);
    EXPECT_EQ(pa.FindNodeByDisplayText(L"组"), nullptr); // a caption hides the name from the display look-up
    EXPECT_EQ(pa.FindNodeByDisplayText(L"极性"), pa.GetNode(1));
    // The same text in LF-only lines reads the same.
    std::wstring lf = ini;
    for (size_t at; (at = lf.find(L"\r\n")) != std::wstring::npos;)
        lf.replace(at, 2, L"\n");
    CParaAnalytic other;
    other.LoadText(lf);
    EXPECT_EQ(other.GetText(), pa.GetText());
}

TEST(ParaAnalytic, IniSectionsBeyondTheCountsBecomeFurtherNodes) {
    CParaAnalytic pa;
    pa.LoadText(L"[General]\r\nName=\r\n[Item1]\r\nName=a\r\n[Item2]\r\nName=b\r\n");
    ASSERT_EQ(pa.GetNodeCount(), 2);
    EXPECT_EQ(pa.GetNode(1)->m_para.m_strName, L"b");
    CParaAnalytic empty;
    empty.LoadText(L"[General]\r\nCount=0\r\nName=\r\n");
    EXPECT_EQ(empty.GetNodeCount(), 0);
    EXPECT_EQ(empty.GetText(), L"");
}

TEST(ParaAnalytic, EmptyLookupsFindNothing) {
    CParaAnalytic pa;
    pa.LoadText(L"[a]\r\nType=0\r\n[END]\r\n[]\r\nType=0\r\n[END]\r\n");
    EXPECT_EQ(pa.FindNodeByCaption(L""), nullptr);
    EXPECT_EQ(pa.FindNodeByDisplayText(L""), nullptr);
    EXPECT_EQ(pa.FindNodeByCaption(L"a"), nullptr);
    EXPECT_EQ(pa.FindNodeByName(L"x"), nullptr);
    ASSERT_NE(pa.FindNodeByName(L""), nullptr); // a node may be named "" and is found by its name
    EXPECT_EQ(pa.FindNodeByName(L"")->m_nLevel, 1);
}

TEST(ParaAnalytic, LoadFileReadsUtf16AndNarrowAndMissingFileEmpties) {
    TempDir dir;
    dir.WriteBytes("narrow.ini", "[阈值]\n    Type=0\n    DefaultValue=10\n[END]\n");
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"[极性]\r\n    Type=3\r\n[END]\r\n")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>((c >> 8) & 0xFF);
    }
    dir.WriteBytes("wide.ini", utf16);
    CParaAnalytic pa;
    EXPECT_TRUE(pa.LoadFile(dir.File("narrow.ini")));
    EXPECT_EQ(pa.FindNodeByName(L"阈值")->m_para.m_strDefaultValue, L"10");
    EXPECT_TRUE(pa.LoadFile(dir.File("wide.ini")));
    ASSERT_EQ(pa.GetNodeCount(), 1);
    EXPECT_EQ(pa.GetNode(0)->m_para.m_nType, 3);
    EXPECT_FALSE(pa.LoadFile(dir.File("missing.ini")));
    EXPECT_EQ(pa.GetNodeCount(), 0);
    EXPECT_EQ(pa.GetText(), L"");
}

TEST(ParaAnalytic, CopyKeepsTheNodesAndTheContainer) {
    CParaAnalytic pa;
    pa.LoadText(std::wstring(L"[]\r\n") + kNested + L"[END]\r\n");
    std::unique_ptr<CIDItem> copy(pa.NewInstance());
    ASSERT_TRUE(copy->CopyFrom(&pa));
    auto& c = dynamic_cast<CParaAnalytic&>(*copy);
    ASSERT_EQ(c.GetNodeCount(), 2);
    EXPECT_NE(c.GetNode(0), pa.GetNode(0));
    EXPECT_EQ(c.GetText(), pa.GetText());
}

} // namespace
