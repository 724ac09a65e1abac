// Kernels, notes, sides and phases: their own behaviour beyond the shape base.

#include "datastruct/Area.h"
#include "datastruct/ByteStream.h"
#include "datastruct/CustomMaskArea.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace {

TEST(Kernel, RectangleIsFourVerticesWhoseBoundsGiveItBack) {
    CKernel k;
    EXPECT_EQ(k.GetRect(), CRect());
    k.SetRect(10, 20, 50, 60);
    EXPECT_EQ(k.GetPointCount(), 4);
    EXPECT_EQ(k.GetPoint(0), CPoint(10, 20));
    EXPECT_EQ(k.GetPoint(2), CPoint(49, 59));
    CRect r;
    EXPECT_EQ(k.GetBoundRect(&r), CRect(10, 20, 50, 60));
    EXPECT_EQ(k.GetRect(), CRect(10, 20, 50, 60));
    k.Move(5, -5, -1);
    EXPECT_EQ(k.GetRect(), CRect(15, 15, 55, 55));
}

// The rectangle editor hands over left, top, left + width and top + height: a negative width or height
// is the same rectangle the other way round, and an empty one (a field that reads as 0) is one pixel wide.
TEST(Kernel, InvertedOrEmptyRectangleIsNormalised) {
    CKernel k;
    k.SetRect(40, 60, 10, 20);
    EXPECT_EQ(k.GetRect(), CRect(10, 20, 40, 60));
    EXPECT_EQ(k.GetPoint(0), CPoint(10, 20)); // the first vertex stays the top-left corner
    k.SetRect(10, 20, 10, 60);
    EXPECT_EQ(k.GetRect(), CRect(10, 20, 11, 60));
    k.SetRect(10, 20, 30, 20);
    EXPECT_EQ(k.GetRect(), CRect(10, 20, 30, 21));
}

TEST(Kernel, DraggingACornerKeepsItARectangleAndNothingIsInsertedOrRemoved) {
    for (int corner = 0; corner < 4; ++corner) {
        SCOPED_TRACE(corner);
        CKernel k;
        k.SetRect(0, 0, 10, 10);
        k.Move(3, 4, corner);
        std::vector<CPoint> p;
        k.GetPoints(p);
        ASSERT_EQ(p.size(), 4u);
        EXPECT_EQ(p[0].y, p[1].y);
        EXPECT_EQ(p[1].x, p[2].x);
        EXPECT_EQ(p[2].y, p[3].y);
        EXPECT_EQ(p[3].x, p[0].x);
        EXPECT_EQ(p[corner], (CPoint{(corner == 0 || corner == 3 ? 0 : 9) + 3, (corner < 2 ? 0 : 9) + 4}));
    }
    CKernel k;
    k.SetRect(0, 0, 10, 10);
    EXPECT_FALSE(k.RemovePoint(0));
    EXPECT_TRUE(k.InsertPointAtNearestEdge(5, 0));
    EXPECT_EQ(k.GetPointCount(), 4);
    EXPECT_THROW(k.Move(1, 1, 4), std::out_of_range);
    // Through the shape's own key handling: the arrow moves the grabbed corner and its neighbours.
    k.SetSelected(true);
    k.SetSelectedHandle(2);
    k.OnKeyDown(VK_RIGHT);
    EXPECT_EQ(k.GetRect(), CRect(0, 0, 11, 10));
    k.OnKeyDown(VK_DELETE);
    EXPECT_EQ(k.GetPointCount(), 4);
}

TEST(Kernel, CopyFromCopiesEveryFieldAndTheShape) {
    CKernel k;
    k.m_nID = 4;
    k.SetRect(1, 2, 3, 4);
    k.m_nPhaseID = 8;
    k.m_nSheetCol = 2;
    k.m_nSheetRow = 1;
    k.m_bSheetKernel = true;
    k.m_strParameters = L"p";
    k.m_bLocked = 1;
    k.m_nOffsetX = -40;
    std::unique_ptr<CKernel> c(k.NewInstance());
    ASSERT_TRUE(c->CopyFrom(&k));
    EXPECT_EQ(EncodeItem(*c), EncodeItem(k));
    EXPECT_FALSE(c->CopyFrom(nullptr));
}

TEST(Note, HitTestGivesTheLastHitItemAndDrawsItemsUnshifted) {
    CNote note;
    for (int i = 0; i < 3; ++i) {
        auto* area = new CArea;
        area->m_points = {CPoint(i * 5, 0), CPoint(i * 5 + 10, 0), CPoint(i * 5 + 10, 10), CPoint(i * 5, 10)};
        note.m_areas.Add(area);
    }
    EXPECT_EQ(note.HitTestItems(7, 5), 1);
    EXPECT_EQ(note.HitTestItems(12, 5), 2);
    EXPECT_EQ(note.HitTestItems(2, 5), 0);
    EXPECT_EQ(note.HitTestItems(50, 50), -1);
    CImgBuffer canvas(1, 30, 20, IMG_FORMAT_MONO8);
    ASSERT_TRUE(canvas.Create());
    note.DrawItems(&canvas, -100, -100, nullptr, RGB(0, 0, 200)); // (dx, dy) do not move small-sheet items
    EXPECT_EQ(canvas.GetMat().at<uint8_t>(0, 3), 200);
    CImgBuffer empty;
    note.DrawItems(&empty, 0, 0, nullptr, 0); // not created: nothing happens
    note.DrawItems(nullptr, 0, 0, nullptr, 0);
}

TEST(SideAndPhase, ClearingByNoteRemovesOnlyThatNotesAreas) {
    CSide side;
    CPhase phase;
    for (int i = 0; i < 6; ++i) {
        auto* shield = new CThreshMaskArea;
        shield->m_nSheetID = 1 + i % 3;
        side.m_threshMasks.Add(shield);
        auto* custom = new CCustomMaskArea;
        custom->m_nSheetID = 1 + i % 3;
        side.m_customMasks.Add(custom);
        auto* area = new CPhaseMaskArea;
        area->m_nSheetID = 1 + i % 2;
        phase.m_areas.Add(area);
    }
    EXPECT_EQ(side.ClearThreshMasksOfNote(2), 2);
    EXPECT_EQ(side.m_threshMasks.GetSize(), 4);
    EXPECT_EQ(side.m_customMasks.GetSize(), 6); // custom masks stay
    for (int i = 0; i < side.m_threshMasks.GetSize(); ++i)
        EXPECT_NE(side.m_threshMasks.GetAtAs<CMaskArea>(i)->m_nSheetID, 2);
    EXPECT_EQ(phase.ClearAreasOfNote(1), 3);
    EXPECT_EQ(phase.ClearAreasOfNote(1), 0);
    EXPECT_EQ(phase.m_areas.GetSize(), 3);
}

TEST(SideAndPhase, CopiesAreDeepAndKeepIdentifiers) {
    CSide side;
    side.m_nID = 3;
    side.m_nRefImageID = 2;
    side.m_nSplitID = 4;
    auto* phase = new CPhase;
    phase->m_nID = 7;
    auto* note = new CNote;
    note->m_areas.Add(new CArea);
    phase->m_notes.Add(note);
    side.m_phases.Add(phase);
    auto* mask = new CCustomMaskArea;
    mask->m_nCustomTypeID = 5;
    mask->m_children.Add(new CPolygon);
    side.m_customMasks.Add(mask);
    std::unique_ptr<CIDItem> copy(side.NewInstance());
    ASSERT_TRUE(copy->CopyFrom(&side));
    auto& c = dynamic_cast<CSide&>(*copy);
    EXPECT_EQ(EncodeItem(c), EncodeItem(side));
    EXPECT_NE(c.m_phases.GetAt(0), side.m_phases.GetAt(0));
    auto* copiedMask = c.m_customMasks.GetAtAs<CCustomMaskArea>(0);
    ASSERT_NE(copiedMask, nullptr);
    EXPECT_EQ(copiedMask->m_nCustomTypeID, 5);
    EXPECT_NE(copiedMask->m_children.GetAt(0), mask->m_children.GetAt(0));
}

TEST(ByteStream, ExtremeValuesRoundTripAndShortInputIsRefused) {
    CByteWriter w;
    w.PutVarI(INT32_MIN);
    w.PutVarI(INT32_MAX);
    w.PutF64(-0.1);
    w.PutStr(std::wstring(L"a\0b", 3) + static_cast<wchar_t>(0x10FFFF));
    w.PutPoints({CPoint(INT32_MIN, INT32_MAX), CPoint(INT32_MAX, INT32_MIN), CPoint(0, 0)});
    CByteReader r(w.Bytes());
    EXPECT_EQ(r.GetI32(), INT32_MIN);
    EXPECT_EQ(r.GetI32(), INT32_MAX);
    EXPECT_EQ(r.GetF64(), -0.1);
    EXPECT_EQ(r.GetStr(), std::wstring(L"a\0b", 3) + static_cast<wchar_t>(0x10FFFF));
    std::vector<CPoint> points;
    r.GetPoints(points);
    EXPECT_EQ(points,
              (std::vector<CPoint>{CPoint(INT32_MIN, INT32_MAX), CPoint(INT32_MAX, INT32_MIN), CPoint()}));
    EXPECT_TRUE(r.AtEnd());
    EXPECT_THROW(r.GetU8(), CByteStreamError);
    CByteWriter big;
    big.PutVarU(1000000); // a count far larger than what follows
    CByteReader shortReader(big.Bytes());
    EXPECT_THROW(shortReader.GetStr(), CByteStreamError);
    CByteWriter far; // a vertex delta no pair of 32-bit coordinates can have
    far.PutVarU(1);
    far.PutVarI(INT64_MAX);
    far.PutVarI(0);
    CByteReader farReader(far.Bytes());
    EXPECT_THROW(farReader.GetPoints(points), CByteStreamError);
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
}

} // namespace
