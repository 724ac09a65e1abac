// Comparing two versions of a template item by item: what is added, removed and changed, parts counted with
// the item that holds them, items matched by identifier under their own parent only.

#include "ModelFixture.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelCompare.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "geometry/MaskArea.h"
#include "geometry/Polygon.h"
#include "geometry/PolygonEx.h"

#include <gtest/gtest.h>

namespace {

std::vector<CItemChange> Compare(const CModelInfo& older, const CModelInfo& newer) {
    std::vector<CItemPrint> a, b;
    PrintModel(older, a);
    PrintModel(newer, b);
    std::vector<CItemChange> changes;
    CompareModelPrints(a, b, changes);
    return changes;
}

CPhase* PhaseOf(CModelInfo& model, int type, int phase) {
    return model.m_inspTypes.GetAtAs<CInspType>(type)->m_sides.GetAtAs<CSide>(0)->m_phases.GetAtAs<CPhase>(phase);
}

/// A copy made through the stored form: equal bytes, other objects.
void CopyModel(const CModelInfo& from, CModelInfo& to) {
    to.Reset();
    DecodeModel(EncodeModel(from), to);
}

} // namespace

TEST(ModelCompare, EqualTemplatesDifferInNothingAndEveryEditIsSaidOnceOfTheRightItem) {
    CModelInfo older, newer;
    FillSampleModel(older);
    CopyModel(older, newer);
    EXPECT_TRUE(Compare(older, newer).empty());

    // Two areas of the second phase of the first type added, one of its first phase moved, the side's
    // shielded area removed, a hole of an area of the second type changed (said as that area's change).
    CPhase* second = PhaseOf(newer, 0, 1);
    for (int id : {50, 51}) {
        auto* area = new CPhaseMaskArea;
        area->m_nID = id;
        area->SetPoints({{0, 0}, {10, 0}, {10, 10}});
        second->m_areas.Add(area);
    }
    auto* moved = PhaseOf(newer, 0, 0)->m_areas.GetAtAs<CPhaseMaskArea>(1);
    std::vector<CPoint> points;
    moved->GetPoints(points);
    for (CPoint& p : points)
        p.x += 3;
    moved->SetPoints(points);
    auto* side = newer.m_inspTypes.GetAtAs<CInspType>(0)->m_sides.GetAtAs<CSide>(0);
    side->m_threshMasks.RemoveAll();
    auto* holder = PhaseOf(newer, 1, 0)->m_notes.GetAt(0);
    ASSERT_NE(holder, nullptr);
    auto* noteArea = dynamic_cast<CNote*>(holder)->m_areas.GetAtAs<CPolygonEx>(0);
    auto* hole = noteArea->m_children.GetAtAs<CPolygon>(0);
    hole->m_points[0].x += 1;

    const std::vector<CItemChange> changes = Compare(older, newer);
    ASSERT_EQ(changes.size(), 5u);
    int added = 0, removed = 0, changed = 0;
    for (const CItemChange& c : changes) {
        if (c.m_nKind == CItemChange::Added) {
            ++added;
            EXPECT_EQ(c.m_nItemKind, 10);
            EXPECT_EQ(c.m_pOld, nullptr);
            EXPECT_NE(c.m_pNew, nullptr);
        } else if (c.m_nKind == CItemChange::Removed) {
            ++removed;
            EXPECT_EQ(c.m_nItemKind, 11);
            EXPECT_EQ(c.m_pNew, nullptr);
        } else {
            ++changed;
            EXPECT_TRUE(c.m_pNew == moved || c.m_pNew == noteArea) << "changed: kind " << int(c.m_nItemKind);
        }
    }
    EXPECT_EQ(added, 2);
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(changed, 2);
    // The same changes counted per kind, as a save's summary says them.
    EXPECT_EQ(CountChanges(changes), L"检测区 +2 ~1, 标记区 ~1, 屏蔽区 -1");
}

TEST(ModelCompare, AnAreaMovedToAnotherPhaseIsRemovedAndAddedAndARemovedBranchIsOneChange) {
    CModelInfo older, newer;
    FillSampleModel(older);
    CopyModel(older, newer);
    // The same identifiers in another phase are other items: an area moved to the other phase is removed
    // from one and added to the other, not "unchanged".
    CPhase* first = PhaseOf(newer, 0, 0);
    CPhase* second = PhaseOf(newer, 0, 1);
    auto* taken = new CPhaseMaskArea;
    taken->CopyFrom(first->m_areas.GetAt(2));
    taken->m_nID = 99;
    first->m_areas.RemoveAt(2);
    second->m_areas.Add(taken);
    // A whole inspection type removed is one change, not one per item below it.
    newer.m_inspTypes.RemoveAt(1);
    const std::vector<CItemChange> changes = Compare(older, newer);
    EXPECT_EQ(CountChanges(changes), L"检测区 +1 -1, 检测类型 -1");

}
