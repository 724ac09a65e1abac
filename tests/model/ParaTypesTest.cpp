#include "model/ItemList.h"
#include "model/ParaTypes.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

template <class T> std::unique_ptr<T> CopyOf(const T& source) {
    std::unique_ptr<CIDItem> fresh(source.NewInstance());
    EXPECT_EQ(fresh->GetTypeName(), source.GetTypeName());
    EXPECT_TRUE(fresh->CopyFrom(&source));
    return std::unique_ptr<T>(static_cast<T*>(fresh.release()));
}

TEST(ParaTypes, DefaultsAsDocumented) {
    CSplitAreaPara split;
    EXPECT_EQ(split.m_nCols, 1);
    EXPECT_EQ(split.m_nRows, 1);
    EXPECT_TRUE(split.m_rcCrop.IsRectNull());
    EXPECT_EQ(split.m_nExtendX, 0);
    EXPECT_EQ(split.m_nExtendY, 0);
    EXPECT_EQ(split.GetName(), L"");
    EXPECT_EQ(split.m_nID, -1);
    CPhaseType phase;
    EXPECT_FALSE(phase.m_bForceIndex);
    EXPECT_EQ(CMaskCoeffType().m_dCoeff, 0.0);
}

TEST(ParaTypes, CopyFromCopiesEveryFieldAndTheIdentifier) {
    CCustomParaType custom;
    custom.m_nID = 4;
    custom.m_strName = L"自定义";
    custom.m_byMaskGray = 200;
    custom.m_crRefColor = RGB(1, 2, 3);
    custom.m_strScriptName = L"自定义.ini";
    custom.m_strScriptText = L"[A]\r\nValue=1\r\n";
    auto c = CopyOf(custom);
    EXPECT_EQ(c->m_nID, 4);
    EXPECT_EQ(c->GetName(), L"自定义");
    EXPECT_EQ(c->m_byMaskGray, 200);
    EXPECT_EQ(c->m_crRefColor, RGB(1, 2, 3));
    EXPECT_EQ(c->m_strScriptName, L"自定义.ini");
    EXPECT_EQ(c->m_strScriptText, custom.m_strScriptText);

    CPhaseType phase;
    phase.m_nID = 2;
    phase.m_strName = L"印次一";
    phase.m_bForceIndex = true;
    phase.m_crRefColor = 0x123456;
    phase.m_crMaskColor = 0x654321;
    phase.m_byMaskGray = 9;
    auto p = CopyOf(phase);
    EXPECT_EQ(p->m_nID, 2);
    EXPECT_TRUE(p->m_bForceIndex);
    EXPECT_EQ(p->m_crRefColor, 0x123456u);
    EXPECT_EQ(p->m_crMaskColor, 0x654321u);
    EXPECT_EQ(p->m_byMaskGray, 9);

    CMaskCoeffType coeff;
    coeff.m_strName = L"高";
    coeff.m_dCoeff = 12.75; // the fractional part survives
    coeff.m_strRemark = L"r";
    auto k = CopyOf(coeff);
    EXPECT_DOUBLE_EQ(k->m_dCoeff, 12.75);
    EXPECT_EQ(k->m_strRemark, L"r");

    CSplitAreaPara split;
    split.m_nCols = 3;
    split.m_nRows = 2;
    split.m_nReserved1 = 7;
    split.m_nReserved2 = 8;
    split.m_rcCrop = {1, 2, 3, 4};
    split.m_nExtendX = 5;
    split.m_nExtendY = 6;
    split.m_strRemark = L"三乘二";
    auto s = CopyOf(split);
    EXPECT_EQ(s->m_nCols, 3);
    EXPECT_EQ(s->m_nRows, 2);
    EXPECT_EQ(s->m_nReserved1, 7);
    EXPECT_EQ(s->m_nReserved2, 8);
    EXPECT_EQ(s->m_rcCrop, CRect(1, 2, 3, 4));
    EXPECT_EQ(s->m_nExtendX, 5);
    EXPECT_EQ(s->m_nExtendY, 6);
    EXPECT_EQ(s->m_strRemark, L"三乘二");
}

TEST(ParaTypes, CopyFromAnotherClassCopiesNothing) {
    CSideType side;
    side.m_strName = L"正面";
    CPhaseType phase;
    phase.m_nID = 3;
    EXPECT_FALSE(side.CopyFrom(&phase));
    EXPECT_EQ(side.m_strName, L"正面");
    EXPECT_EQ(side.m_nID, -1);
}

TEST(ParaTypes, CatalogueListsCopyWhole) {
    CItemList sides;
    for (const wchar_t* name : {L"正面", L"反面"}) {
        auto* t = new CSideType;
        t->m_strName = name;
        sides.Add(t);
    }
    CItemList copy;
    copy.Copy(sides);
    ASSERT_EQ(copy.GetSize(), 2);
    EXPECT_EQ(copy.GetAt(1)->GetName(), L"反面");
    EXPECT_EQ(copy.GetAt(1)->m_nID, 2);
    EXPECT_EQ(copy.FindByName(L"正面")->GetTypeName(), L"CSideType");
}

} // namespace
