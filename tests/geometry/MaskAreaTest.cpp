// Mask areas: identities, copies with coefficients and holes, and the drawing contract the editor uses.

#include "geometry/MaskArea.h"

#include "AllocationCounter.h"
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

TEST(MaskAreaDrag, DraggingAShieldedAreaAllocatesNothingAfterItsStart) {
    std::unique_ptr<CThreshMaskArea> mask(MakeShielded());
    for (int i = 0; i < mask->m_coeffs.GetSize(); ++i) // remarks long enough to live on the heap
        static_cast<CMaskCoeffType*>(mask->m_coeffs.GetAt(i))->m_strRemark = L"一个足够长、放不进字符串本身的备注";
    const CIDItem* firstCoeff = mask->m_coeffs.GetAt(0);
    mask->OnLButtonDown(0, 15, 15); // inside, away from the handles: a move drag starts
    ASSERT_EQ(mask->m_nDragMode, 1);
    AgePress(*mask, 1.0);
    mask->OnMouseMove(MK_LBUTTON, 16, 15, 0); // the first step may still size buffers

    long allocations = -1;
    {
        CAllocationCounter counter;
        for (int step = 0; step < 20; ++step)
            mask->OnMouseMove(MK_LBUTTON, 16 + step, 15 + step / 2, 0);
        allocations = counter.GetCount();
    }
    EXPECT_EQ(allocations, 0);

    // The drag did its work and the coefficients are the same objects with the snapshot's content.
    EXPECT_EQ(mask->m_points.front(), CPoint(20, 9)); // moved by (35, 24) - (15, 15)
    EXPECT_EQ(mask->m_coeffs.GetAt(0), firstCoeff);
    ASSERT_EQ(mask->m_coeffs.GetSize(), 2);
    const auto* coeff = static_cast<const CMaskCoeffType*>(mask->m_coeffs.GetAt(1));
    EXPECT_EQ(coeff->m_nID, 5);
    EXPECT_EQ(coeff->m_strName, L"脏点");
    EXPECT_DOUBLE_EQ(coeff->m_dCoeff, 7.5);
}

TEST(MaskAreaCopy, CopyIntoADifferentCoefficientListStillCopiesWhole) {
    std::unique_ptr<CThreshMaskArea> source(MakeShielded());
    CThreshMaskArea target;
    auto* extra = new CMaskCoeffType;
    extra->m_strName = L"多余";
    target.m_coeffs.Add(extra);
    ASSERT_TRUE(target.CopyFrom(source.get()));
    ASSERT_EQ(target.m_coeffs.GetSize(), 2);
    EXPECT_EQ(target.m_coeffs.GetAt(0)->m_nID, 2);
    EXPECT_EQ(target.m_coeffs.GetAt(0)->GetName(), L"划伤");
    EXPECT_EQ(target.m_coeffs.GetAt(1)->m_nID, 5);
    // Same shape of list: copied in place, content and identifiers from the source.
    static_cast<CMaskCoeffType*>(source->m_coeffs.GetAt(1))->m_dCoeff = 9;
    source->m_coeffs.GetAt(1)->m_nID = 8;
    const CIDItem* kept = target.m_coeffs.GetAt(1);
    ASSERT_TRUE(target.CopyFrom(source.get()));
    EXPECT_EQ(target.m_coeffs.GetAt(1), kept);
    EXPECT_EQ(target.m_coeffs.GetAt(1)->m_nID, 8);
    EXPECT_DOUBLE_EQ(static_cast<const CMaskCoeffType*>(target.m_coeffs.GetAt(1))->m_dCoeff, 9);
}

} // namespace
