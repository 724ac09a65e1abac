// Mask areas: identities, copies with coefficients and holes, and the drawing contract the editor uses.

#include "geometry/MaskArea.h"

#include "GeometryTestUtil.h"

#include <gtest/gtest.h>

namespace {

CThreshMaskArea* MakeShielded() {
    auto* mask = new CThreshMaskArea;
    mask->m_nID = 3;
    mask->m_nSheetID = 12;
    mask->m_strTag = L"标签";
    mask->m_strParameters = L"[a]\r\nValue=1";
    mask->SetPoints(Square(0, 0, 20));
    auto* hole = new CPolygonEx;
    hole->SetPoints(Square(5, 5, 5));
    mask->m_children.Add(hole);
    for (int id : {2, 5}) {
        auto* coeff = new CMaskCoeffType;
        coeff->m_nID = id;
        coeff->m_strName = id == 2 ? L"划伤" : L"脏点";
        coeff->m_dCoeff = id * 1.5;
        coeff->m_strRemark = L"r";
        mask->m_coeffs.Add(coeff);
    }
    return mask;
}

TEST(MaskAreaIdentity, TypeNamesInstancesAndInitialSheet) {
    CMaskArea plain;
    CPhaseMaskArea phase;
    CThreshMaskArea shielded;
    EXPECT_EQ(plain.GetTypeName(), L"CMaskArea");
    EXPECT_EQ(phase.GetTypeName(), L"CPhaseMaskArea");
    EXPECT_EQ(shielded.GetTypeName(), L"CThreshMaskArea");
    EXPECT_EQ(plain.m_nSheetID, -1);
    EXPECT_EQ(phase.m_nSheetID, -1);
    EXPECT_EQ(shielded.m_nSheetID, -1);
    EXPECT_EQ(shielded.m_coeffs.GetSize(), 0);
    std::unique_ptr<CGraphBase> a(plain.NewInstance()), b(phase.NewInstance()), c(shielded.NewInstance());
    EXPECT_EQ(a->GetTypeName(), L"CMaskArea");
    EXPECT_EQ(b->GetTypeName(), L"CPhaseMaskArea");
    EXPECT_EQ(c->GetTypeName(), L"CThreshMaskArea");
}

TEST(MaskAreaCopy, ShieldedCopyReproducesCoefficientsHolesAndTagAsIndependentObjects) {
    std::unique_ptr<CThreshMaskArea> source(MakeShielded());
    std::unique_ptr<CGraphBase> made(source->NewInstance());
    auto* copy = dynamic_cast<CThreshMaskArea*>(made.get());
    ASSERT_NE(copy, nullptr);
    ASSERT_TRUE(copy->CopyFrom(source.get()));
    EXPECT_EQ(copy->m_nID, 3);
    EXPECT_EQ(copy->m_nSheetID, 12);
    EXPECT_EQ(copy->m_strTag, L"标签");
    EXPECT_EQ(copy->m_strParameters, L"[a]\r\nValue=1");
    EXPECT_EQ(copy->m_points, source->m_points);
    ASSERT_EQ(copy->m_coeffs.GetSize(), 2);
    auto* coeff = copy->m_coeffs.GetAtAs<CMaskCoeffType>(1);
    ASSERT_NE(coeff, nullptr);
    EXPECT_EQ(coeff->m_nID, 5);
    EXPECT_EQ(coeff->m_strName, L"脏点");
    EXPECT_DOUBLE_EQ(coeff->m_dCoeff, 7.5);
    EXPECT_NE(coeff, source->m_coeffs.GetAt(1));
    ASSERT_EQ(copy->m_children.GetSize(), 1);
    auto* hole = copy->m_children.GetAtAs<CPolygonEx>(0);
    ASSERT_NE(hole, nullptr) << "holes are recreated in their own class";
    EXPECT_NE(copy->m_children.GetAt(0), source->m_children.GetAt(0));
    EXPECT_EQ(hole->m_points, Square(5, 5, 5));

    source.reset(); // the copy owns everything it holds
    EXPECT_EQ(copy->m_coeffs.GetAtAs<CMaskCoeffType>(0)->m_strName, L"划伤");
    EXPECT_EQ(copy->m_children.GetAtAs<CPolygon>(0)->GetPoint(2), CPoint(10, 10));
}

TEST(MaskAreaCopy, PhaseMaskCopiesSheetParametersTagAndHoles) {
    CPhaseMaskArea source;
    source.m_nSheetID = 9;
    source.m_strTag = L"t";
    source.SetPoints(Square(1, 1, 3));
    source.m_children.Add(new CPolygon);
    CPhaseMaskArea copy;
    copy.CopyFrom(&source);
    EXPECT_EQ(copy.m_nSheetID, 9);
    EXPECT_EQ(copy.m_strTag, L"t");
    EXPECT_EQ(copy.m_children.GetSize(), 1);
    EXPECT_EQ(copy.m_points, source.m_points);
    copy.CopyFrom(&copy); // copying onto itself changes nothing
    EXPECT_EQ(copy.m_children.GetSize(), 1);
    EXPECT_EQ(copy.m_strTag, L"t");
}

TEST(MaskAreaHitTest, AClickInsideAHoleStillHitsTheMask) {
    std::unique_ptr<CThreshMaskArea> mask(MakeShielded());
    EXPECT_TRUE(mask->HitTest(7, 7));
    EXPECT_FALSE(mask->HitTest(25, 7));
}

TEST(MaskAreaDraw, FillOffGivesOnePixelOutlinesFillOnTintsAt150AndHolesShowTheImage) {
    std::unique_ptr<CThreshMaskArea> mask(MakeShielded());
    const COLORREF line = RGB(255, 255, 0), fill = RGB(128, 0, 128);
    auto off = MakeBuffer(30, 30, IMG_FORMAT_RGB24, 200);
    mask->Draw(off.get(), 0, 0, line, fill, false, 1, 150);
    EXPECT_EQ(Bgr(*off, 0, 10), BgrOf(line));
    EXPECT_EQ(Bgr(*off, 5, 7), BgrOf(line)) << "hole outline";
    EXPECT_EQ(Bgr(*off, 3, 3), (std::array<int, 3>{200, 200, 200}));
    EXPECT_EQ(Bgr(*off, 1, 10), (std::array<int, 3>{200, 200, 200})) << "one pixel wide";

    auto on = MakeBuffer(30, 30, IMG_FORMAT_RGB24, 200);
    mask->Draw(on.get(), 0, 0, line, fill, true, 1, 150);
    const int tintRB = (128 * 106 + 200 * 150) >> 8, tintG = (0 * 106 + 200 * 150) >> 8;
    EXPECT_EQ(Bgr(*on, 3, 3), (std::array<int, 3>{tintRB, tintG, tintRB}));
    EXPECT_EQ(Bgr(*on, 7, 7), (std::array<int, 3>{200, 200, 200}));
    EXPECT_EQ(Bgr(*on, 5, 7), BgrOf(line));
}

} // namespace
