#include "formats/TreeTextNode.h"
#include "formats/TreeTextAnalyze.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Lines = std::vector<std::wstring>;

// A tree parsed from lines, kept alive by the analyser.
std::unique_ptr<CTreeTextAnalyze> Parse(Lines lines) {
    auto s = std::make_unique<CTreeTextAnalyze>();
    s->m_arLines = std::move(lines);
    s->Parse();
    return s;
}

CTreeTextNode* NewNode(const std::wstring& name, int id = -1) {
    auto* node = new CTreeTextNode;
    node->m_para.m_strName = name;
    node->m_nID = id;
    return node;
}

TEST(TreeParaStruct, ExtraValuesMatchTheWholeKeyWithCase) {
    CTreeParaStruct p;
    p.m_arExtraLines = {L"NoEquals", L"hint=lower",  L"Hint =blank",
                        L"Hint=a=b", L"Hint=second", L"=empty key"};
    EXPECT_EQ(p.GetExtraValue(L"Hint"), L"a=b");
    EXPECT_EQ(p.GetExtraValue(L"hint"), L"lower");
    EXPECT_EQ(p.GetExtraValue(L"Hint "), L"blank");
    EXPECT_EQ(p.GetExtraValue(L"Hin"), L"");
    EXPECT_EQ(p.GetExtraValue(L"NoEquals"), L"");
    EXPECT_EQ(p.GetExtraValue(L""), L"empty key");
}

TEST(TreeParaStruct, CopiesWholeOrStructureOnly) {
    CTreeParaStruct source;
    source.m_nID = 4;
    source.m_strName = L"P";
    source.m_nType = 3;
    source.m_strDefaultValue = L"d";
    source.m_strValue = L"v";
    source.m_strRemark = L"r";
    source.m_arComboList = {L"a"};
    source.m_arExtraLines = {L"Hint=h"};
    CTreeParaStruct whole;
    whole.m_arComboList = {L"old", L"older"};
    ASSERT_TRUE(whole.CopyFrom(&source));
    EXPECT_EQ(whole.m_nID, 4);
    EXPECT_EQ(whole.m_strDefaultValue, L"d");
    EXPECT_EQ(whole.m_strRemark, L"r");
    EXPECT_EQ(whole.m_arComboList, (Lines{L"a"})); // replaced, not appended
    EXPECT_EQ(whole.m_arExtraLines, (Lines{L"Hint=h"}));
    EXPECT_EQ(whole.GetValue(), L"v");

    CTreeParaStruct shape;
    ASSERT_TRUE(shape.CopyStructure(&source));
    EXPECT_EQ(shape.m_nID, 4);
    EXPECT_EQ(shape.m_strName, L"P");
    EXPECT_EQ(shape.m_nType, 3);
    EXPECT_TRUE(shape.m_strValue.empty());
    EXPECT_TRUE(shape.m_arExtraLines.empty());

    CTreeTextNode other;
    EXPECT_FALSE(whole.CopyFrom(&other));
    EXPECT_FALSE(whole.CopyFrom(nullptr));
    EXPECT_EQ(whole.GetTypeName(), L"CTreeParaStruct");
}

TEST(TreeTextNode, AddChildSetsParentAndLevelAndKeepsAFreeIdentifier) {
    CTreeTextNode root;
    root.m_nLevel = 3;
    CTreeTextNode* a = NewNode(L"a", 5);
    root.AddChild(a);
    CTreeTextNode* b = NewNode(L"b", 5);
    root.AddChild(b);
    root.AddChild(nullptr);
    EXPECT_EQ(a->m_pParent, &root);
    EXPECT_EQ(a->m_nLevel, 4);
    EXPECT_EQ(a->m_nID, 5);
    EXPECT_EQ(b->m_nID, 6);
    EXPECT_EQ(root.GetChildCount(), 2);
}

TEST(TreeTextNode, FindChildByExtraValueLooksAtDirectChildrenOnly) {
    auto s = Parse({L"[G]", L"[A]", L"Key=1", L"[Deep]", L"Key=2", L"[END]", L"[END]", L"[B]", L"Key=2",
                    L"[END]", L"[C]", L"key=3", L"[END]"});
    CTreeTextNode* g = s->FindByName(L"G");
    EXPECT_EQ(g->FindChildByExtraValue(L"Key", L"2")->GetName(), L"B");
    EXPECT_EQ(g->FindChildByExtraValue(L"Key", L"3"), nullptr);
    EXPECT_EQ(g->FindChildByExtraValue(L"key", L"3")->GetName(), L"C");
    EXPECT_EQ(g->FindChildByExtraValue(L"Key", L"")->GetName(),
              L"C"); // C has no "Key": its value reads empty
    EXPECT_EQ(s->m_root.FindChildByExtraValue(L"Key", L"1"), nullptr);
}

TEST(TreeTextNode, CopyFromCopiesTheWholeSubtree) {
    auto s = Parse({L"[G]", L"Type=1", L"[P]", L"Value=5", L"ComboList=a,b", L"Hint=h", L"[END]", L"[Q]",
                    L"[END]", L"[END]"});
    CTreeTextNode* g = s->FindByName(L"G");
    g->GetChild(1)->m_nID = 9;
    CTreeTextNode copy;
    copy.AddChild(NewNode(L"stale"));
    ASSERT_TRUE(copy.CopyFrom(g));
    EXPECT_EQ(copy.GetName(), L"G");
    EXPECT_EQ(copy.m_nTreeID, g->m_nTreeID);
    EXPECT_EQ(copy.m_nLevel, 1);
    EXPECT_EQ(copy.m_pParent, &s->m_root); // the copy refers to the source's parent
    ASSERT_EQ(copy.GetChildCount(), 2);
    CTreeTextNode* p = copy.GetChild(0);
    EXPECT_NE(p, g->GetChild(0));
    EXPECT_EQ(p->m_para.m_strValue, L"5");
    EXPECT_EQ(p->m_para.m_arComboList, (Lines{L"a", L"b"}));
    EXPECT_EQ(p->m_nTreeID, 2);
    EXPECT_EQ(p->m_pParent, &copy); // copied descendants belong to the copy
    EXPECT_EQ(copy.GetChild(1)->m_nID, 9);
    EXPECT_EQ(copy.FindByName(L"stale"), nullptr);
    EXPECT_EQ(copy.GetTypeName(), L"CTreeTextNode");
    EXPECT_FALSE(copy.CopyFrom(&g->m_para));
}

TEST(TreeTextNode, CopiesKeepIdentifiersOrRenumberAsAddDoes) {
    CTreeTextNode source;
    source.m_children.m_arItems = {NewNode(L"a", 3), NewNode(L"b", 3), NewNode(L"c", 1), NewNode(L"d", -1)};
    CTreeTextNode copy;
    copy.CopyFrom(&source);
    CItemList expected;
    expected.Copy(source.m_children); // the list's own rule
    ASSERT_EQ(copy.GetChildCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(copy.GetChild(i)->m_nID, expected.GetAt(i)->m_nID) << i;
    EXPECT_EQ(copy.GetChild(1)->m_nID, 4);
    EXPECT_EQ(copy.GetChild(3)->m_nID, 5);
}

TEST(TreeTextNode, CopyStructureDropsValuesEverywhere) {
    auto s = Parse({L"[G]", L"Value=g", L"Type=2", L"[P]", L"Type=3", L"Value=5", L"Remark=r", L"ComboList=a",
                    L"Hint=h", L"[END]", L"[END]"});
    CTreeTextNode shape;
    ASSERT_TRUE(shape.CopyStructure(s->FindByName(L"G")));
    EXPECT_EQ(shape.m_para.m_nType, 2);
    EXPECT_TRUE(shape.m_para.m_strValue.empty());
    CTreeTextNode* p = shape.GetChild(0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetName(), L"P");
    EXPECT_EQ(p->m_para.m_nType, 3);
    EXPECT_EQ(p->m_nLevel, 2);
    EXPECT_TRUE(p->m_para.m_strValue.empty());
    EXPECT_TRUE(p->m_para.m_strRemark.empty());
    EXPECT_TRUE(p->m_para.m_arComboList.empty());
    EXPECT_TRUE(p->m_para.m_arExtraLines.empty());

    // The children list's structure copy reaches the nodes' own.
    CItemListTree list;
    list.CopyStructure(s->m_root.m_children);
    auto* g = dynamic_cast<CTreeTextNode*>(list.GetAt(0));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->GetChild(0)->GetName(), L"P");
    EXPECT_TRUE(g->GetChild(0)->m_para.m_strValue.empty());
}

TEST(TreeTextNode, CopyingADescendantOverItsAncestorIsSafe) {
    auto s = Parse({L"[G]", L"[P]", L"[Q]", L"Value=q", L"[END]", L"[END]", L"[END]"});
    CTreeTextNode* g = s->FindByName(L"G");
    ASSERT_TRUE(g->CopyFrom(g->GetChild(0))); // the source dies with g's old children
    EXPECT_EQ(g->GetName(), L"P");
    ASSERT_EQ(g->GetChildCount(), 1);
    EXPECT_EQ(g->GetChild(0)->m_para.m_strValue, L"q");
    EXPECT_EQ(g->GetChild(0)->m_pParent, g);
}

TEST(TreeTextNode, SyncWithKeepsValuesAndTakesTheScriptsNames) {
    auto stored = Parse({L"[G1]", L"[p]", L"Value=5", L"[END]", L"[END]", L"[G2]", L"[END]"});
    auto script = Parse({L"[G1]", L"[p]", L"Value=0", L"[END]", L"[q]", L"DefaultValue=1", L"Value=2",
                         L"[END]", L"[END]", L"[G3]", L"[r]", L"[END]", L"[END]"});
    stored->m_root.SyncWith(script->m_root);
    CTreeTextNode& root = stored->m_root;
    ASSERT_EQ(root.GetChildCount(), 2);
    CTreeTextNode* g1 = root.GetChild(0);
    EXPECT_EQ(g1->GetName(), L"G1");
    ASSERT_EQ(g1->GetChildCount(), 2);
    EXPECT_EQ(g1->GetChild(0)->m_para.m_strValue, L"5");
    EXPECT_EQ(g1->GetChild(1)->GetName(), L"q");
    EXPECT_EQ(g1->GetChild(1)->m_para.m_strDefaultValue, L"1");
    EXPECT_EQ(g1->GetChild(1)->m_para.m_strValue, L"2");
    EXPECT_EQ(g1->GetChild(1)->m_pParent, g1);
    CTreeTextNode* g3 = root.GetChild(1);
    EXPECT_EQ(g3->GetName(), L"G3");
    EXPECT_EQ(g3->m_pParent, &root);
    EXPECT_EQ(g3->GetChild(0)->GetName(), L"r");
    EXPECT_EQ(stored->FindByName(L"G2"), nullptr);

    script.reset(); // nothing of the stored tree may refer into the script any more
    EXPECT_EQ(g3->GetChild(0)->m_pParent, g3);
    EXPECT_EQ(g3->m_pParent->GetName(), L"");
}

TEST(TreeTextNode, SyncWithPairsGroupsByNameWhenTheirOrderDiffers) {
    auto stored = Parse(
        {L"[B]", L"[b1]", L"Value=7", L"[END]", L"[END]", L"[A]", L"[a1]", L"Value=3", L"[END]", L"[END]"});
    auto script =
        Parse({L"[A]", L"[a1]", L"[END]", L"[a2]", L"[END]", L"[END]", L"[B]", L"[b1]", L"[END]", L"[END]"});
    stored->m_root.SyncWith(script->m_root);
    CTreeTextNode* b = stored->m_root.GetChild(0);
    CTreeTextNode* a = stored->m_root.GetChild(1);
    ASSERT_EQ(b->GetName(), L"B");
    ASSERT_EQ(b->GetChildCount(), 1);
    EXPECT_EQ(b->GetChild(0)->GetName(), L"b1");
    EXPECT_EQ(b->GetChild(0)->m_para.m_strValue, L"7");
    ASSERT_EQ(a->GetChildCount(), 2);
    EXPECT_EQ(a->GetChild(0)->m_para.m_strValue, L"3");
    EXPECT_EQ(a->GetChild(1)->GetName(), L"a2");
}

TEST(TreeTextNode, DeepChainsBuiltByHandAreDestroyedWithoutRecursion) {
    auto* root = new CTreeTextNode;
    CTreeTextNode* tail = root;
    for (int i = 0; i < 200'000; ++i) {
        CTreeTextNode* next = NewNode(L"n");
        tail->AddChild(next);
        tail = next;
    }
    EXPECT_EQ(root->GetMaxTreeID(), 0);
    EXPECT_EQ(root->FindByName(L"absent"), nullptr);
    delete root;
}

} // namespace
