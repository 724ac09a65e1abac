// The editor's document forgets every pointer into the template in one call: its own and those of every
// holder registered with it.

#include "editor/EditorDocument.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/SysPara.h"
#include "geometry/MaskArea.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
struct CountingHolder : IModelPointerHolder {
    int forgotten = 0;
    CEditorDocument* doc = nullptr;
    IModelPointerHolder* removeOnForget = nullptr;
    void ForgetModelPointers() override {
        ++forgotten;
        if (doc && removeOnForget)
            doc->RemovePointerHolder(removeOnForget);
    }
};
} // namespace

TEST(EditorDocument, ForgetsItsOwnPointersAndTellsEachHolderOnce) {
    CEditorDocument doc;
    CPhaseMaskArea area;
    doc.SetSelShape(&area);
    doc.SetAssocSource(&area);
    doc.SetAssocKernel(4);
    doc.SetNoteHit(2);
    doc.SetKernelHit(3);
    doc.GetDrawing().SetPoints({{1, 1}, {5, 1}});
    doc.SetDrawing(true);
    CountingHolder first, second, third;
    first.doc = &doc;
    first.removeOnForget = &second;  // leaves while forgetting: the second is not told any more
    doc.AddPointerHolder(&first);
    doc.AddPointerHolder(&first);  // registered once only
    doc.AddPointerHolder(&second);
    doc.AddPointerHolder(&third);
    doc.ForgetModelPointers();
    EXPECT_EQ(doc.GetSelShape(), nullptr);
    EXPECT_EQ(doc.GetAssocSource(), nullptr);
    EXPECT_EQ(doc.GetAssocKernel(), -1);
    EXPECT_EQ(doc.GetNoteHit(), -1);
    EXPECT_EQ(doc.GetKernelHit(), -1);
    EXPECT_FALSE(doc.IsDrawing());
    EXPECT_EQ(doc.GetDrawing().GetPointCount(), 0);
    EXPECT_EQ(first.forgotten, 1);
    EXPECT_EQ(second.forgotten, 0);
    EXPECT_EQ(third.forgotten, 1);
    doc.RemovePointerHolder(&third);
    doc.ForgetModelPointers();
    EXPECT_EQ(first.forgotten, 2);
    EXPECT_EQ(third.forgotten, 1);
}

TEST(EditorDocument, OwnsTheSystemParametersItAdoptsAndNeverTheHosts) {
    CEditorDocument doc;
    auto first = std::make_unique<CSysPara>();
    doc.AdoptSysPara(std::move(first));
    auto second = std::make_unique<CSysPara>();
    CSysPara* secondRaw = second.get();
    doc.AdoptSysPara(std::move(second));  // the first is deleted (a leak under the sanitizer otherwise)
    EXPECT_EQ(doc.GetSysPara(), secondRaw);
    doc.DropOwnSysPara();
    EXPECT_EQ(doc.GetSysPara(), nullptr);
    CSysPara host;
    doc.SetSysPara(&host);
    doc.DropOwnSysPara();  // the host's stay in use
    EXPECT_EQ(doc.GetSysPara(), &host);
    doc.SetModified(true);
    EXPECT_TRUE(doc.IsModified());
}

namespace {
struct JournalCounter : IJournalListener {
    int changes = 0;
    void OnJournalChanged() override { ++changes; }
};
} // namespace

// The journal's entry point: nested steps are one, a step that changed nothing or began on another template
// records nothing, a renamed step keeps its new name, and steps of the same key join.
TEST(EditorDocument, StepsNestJoinByKeyAndRecordOnlyChangesOfTheTemplateTheyBeganOn) {
    CEditorDocument doc;
    CModelInfo model;  // no identifier: no draft is written for it
    doc.SetModel(&model);
    JournalCounter counter;
    doc.SetJournalListener(&counter);

    doc.BeginEdit(L"增加检测类型");
    doc.BeginEdit(L"内层");
    EXPECT_EQ(doc.GetEditDepth(), 2);
    model.m_inspTypes.Add(new CInspType);
    doc.EndEdit();
    EXPECT_EQ(doc.GetJournal().GetStepCount(), 0u);  // the outer step is still open
    doc.EndEdit();
    EXPECT_EQ(doc.GetEditDepth(), 0);
    ASSERT_EQ(doc.GetJournal().GetStepCount(), 1u);
    EXPECT_EQ(doc.GetJournal().GetUndoLabel(), L"增加检测类型");
    EXPECT_EQ(counter.changes, 1);

    doc.BeginEdit(L"无变化");
    doc.EndEdit();
    EXPECT_EQ(doc.GetJournal().GetStepCount(), 1u);
    doc.EndEdit();  // one too many: ignored
    EXPECT_EQ(doc.GetEditDepth(), 0);

    doc.BeginEdit(L"编辑定位核");
    doc.RelabelEdit(L"删除检测类型");
    model.m_inspTypes.RemoveAt(0);
    doc.EndEdit();
    EXPECT_EQ(doc.GetJournal().GetUndoLabel(), L"删除检测类型");

    // A step that began on one template and ended on another records nothing.
    CModelInfo other;
    doc.BeginEdit(L"切换");
    doc.SetModel(&other);
    other.m_inspTypes.Add(new CInspType);
    doc.EndEdit();
    EXPECT_EQ(doc.GetJournal().GetStepCount(), 2u);
    doc.SetModel(&model);

    // Two nudges with the same key are one step.
    for (int i = 0; i < 2; ++i) {
        doc.BeginEdit(L"移动", "nudge:1");
        model.m_inspTypes.Add(new CInspType);
        doc.EndEdit();
    }
    EXPECT_EQ(doc.GetJournal().GetStepCount(), 3u);
    doc.ResetJournal();
    EXPECT_EQ(doc.GetJournal().GetStepCount(), 0u);
    doc.SetJournalListener(nullptr);
    doc.SetModel(nullptr);
}

TEST(EditorDocument, RemembersASideByIdentifiersUntilItIsForgotten) {
    CEditorDocument doc;
    int item = 0;
    CSideMemory side;
    side.item = &item;
    side.depth = 2;
    side.typeKnown = true;
    side.typeID = 1;
    side.sideID = 3;
    side.refImageID = 4;
    side.splitID = 5;
    doc.RememberSide(side);
    EXPECT_EQ(doc.GetSideMemory().sideID, 3);
    EXPECT_EQ(doc.GetSideMemory().item, &item);
    doc.ForgetSide();
    EXPECT_EQ(doc.GetSideMemory().item, nullptr);
    EXPECT_EQ(doc.GetSideMemory().depth, -1);
    EXPECT_FALSE(doc.GetSideMemory().typeKnown);
    EXPECT_EQ(doc.GetSideMemory().splitID, -1);
}
