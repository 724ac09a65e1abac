// The journal of pieces: random steps of every kind undone and redone give back exactly the bytes of a whole
// encoding; a step that changes more than it names is caught by the step check; the draft's record form
// puts the template together again, and damaged records are refused.

#include "EditorDeployment.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "editor/DraftKeeper.h"
#include "editor/EditStep.h"
#include "editor/EditorDocument.h"
#include "editor/ModelPieces.h"
#include "geometry/MaskArea.h"

#include <gtest/gtest.h>

#include <random>

namespace {

CPhase* FirstPhase(CModelInfo& model) {
    return model.m_inspTypes.GetAtAs<CInspType>(0)->m_sides.GetAtAs<CSide>(0)->m_phases.GetAtAs<CPhase>(0);
}

CPhaseMaskArea* NewArea(int x) {
    auto* area = new CPhaseMaskArea;
    area->SetPoints({{x, x}, {x + 40, x}, {x + 40, x + 20}, {x, x + 20}});
    area->m_nSheetID = 1;
    return area;
}

// A model of the sample's shape with a phase of some areas, and no identifier (so no draft is kept).
std::unique_ptr<CModelInfo> Model() {
    auto model = EditorDeployment::MakeSampleModel(1, L"样张", L"样张模板");
    model->m_nID = 0;
    CPhase* phase = FirstPhase(*model);
    for (int i = 0; i < 40; ++i)
        phase->m_areas.Add(NewArea(10 + i * 3));
    return model;
}

// One random step of one of several kinds, made through the document as the editor makes it: named where
// the editor names what it changes, whole where it does not.
void RandomStep(CEditorDocument& doc, std::mt19937& rng) {
    CModelInfo& model = *doc.GetModel();
    CPhase* phase = FirstPhase(model);
    CItemList& areas = phase->m_areas;
    const int kind = static_cast<int>(rng() % 8);
    const int n = areas.GetSize();
    CEditStep step(doc, L"步骤");
    switch (kind) {
    case 0: {  // an area drawn
        doc.TouchList(&areas);
        CPhaseMaskArea* area = NewArea(static_cast<int>(rng() % 500));
        area->m_nID = areas.GetMaxID() + 1;
        areas.Add(area);
        break;
    }
    case 1:  // a vertex moved
        if (n > 0) {
            auto* area = areas.GetAtAs<CPhaseMaskArea>(static_cast<int>(rng() % n));
            doc.TouchItem(area);
            area->m_points[rng() % area->m_points.size()].x += 1 + static_cast<int>(rng() % 9);
        }
        break;
    case 2:  // areas deleted here and there
        doc.TouchList(&areas);
        for (int k = 0; k < 3 && areas.GetSize() > 0; ++k)
            areas.RemoveAt(static_cast<int>(rng() % areas.GetSize()));
        break;
    case 3:  // two areas swap places
        if (n > 1) {
            doc.TouchList(&areas);
            std::swap(areas.m_arItems[rng() % n], areas.m_arItems[rng() % n]);
        }
        break;
    case 4:  // the phase's own parameters, its areas untouched
        doc.TouchItem(phase);
        phase->m_strParameters += L"x";
        break;
    case 5: {  // a tree command that names nothing: the whole template is compared
        auto* type = new CInspType;
        type->m_nID = model.m_inspTypes.GetMaxID() + 1;
        type->m_strName = L"T" + std::to_wstring(type->m_nID);
        model.m_inspTypes.Add(type);
        break;
    }
    case 6: {  // a kernel added and an area's tag changed in one step
        auto* refImage = model.m_refImageSet.m_refImages.GetAtAs<CRefImage>(0);
        if (refImage) {
            doc.TouchList(&refImage->m_kernels);
            auto* kernel = new CKernel;
            kernel->m_nID = refImage->m_kernels.GetMaxID() + 1;
            kernel->SetRect(5, 5, 30, 30);
            refImage->m_kernels.Add(kernel);
        }
        if (n > 0) {
            auto* area = areas.GetAtAs<CPhaseMaskArea>(static_cast<int>(rng() % n));
            doc.TouchItem(area);
            area->m_strTag += L"k";
        }
        break;
    }
    default:  // a step that changes nothing records nothing
        doc.TouchItem(phase);
        break;
    }
}

} // namespace

TEST(ModelPieces, RandomStepsUndoneAndRedoneGiveBackTheBytesOfAWholeEncoding) {
    CEditorDocument::SetStepChecks(false);  // the named parts alone: what the editor does in a release build
    auto model = Model();
    CEditorDocument doc;
    doc.SetModel(model.get());
    doc.StartJournal();
    std::mt19937 rng(20240917);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::string> states{EncodeModel(*model)};
        const size_t before = doc.GetJournal().GetPosition();  // the rounds before stay in the history
        for (int i = 0; i < 40; ++i) {
            RandomStep(doc, rng);
            const std::string now = EncodeModel(*model);
            ASSERT_EQ(doc.GetJournal().GetPieces().Assemble(), now) << "step " << i;
            if (now != states.back())
                states.push_back(now);
        }
        ASSERT_EQ(doc.GetJournal().GetPosition() - before + 1, states.size());
        for (size_t k = states.size() - 1; k > 0; --k) {
            ASSERT_TRUE(doc.UndoStep());
            ASSERT_EQ(EncodeModel(*model), states[k - 1]) << "undo to " << k - 1;
        }
        EXPECT_EQ(doc.GetJournal().GetPosition(), before);
        for (size_t k = 1; k < states.size(); ++k) {
            ASSERT_TRUE(doc.RedoStep());
            ASSERT_EQ(EncodeModel(*model), states[k]) << "redo to " << k;
        }
        // Half way back, then a new step: the redo branch goes, and the pieces still match.
        for (size_t k = 0; k < states.size() / 2; ++k)
            ASSERT_TRUE(doc.UndoStep());
        RandomStep(doc, rng);
        EXPECT_EQ(doc.GetJournal().GetPieces().Assemble(), EncodeModel(*model));
    }
    doc.SetModel(nullptr);
    CEditorDocument::SetStepChecks(true);
}

TEST(ModelPieces, NudgesThatReturnWhereTheyStartedLeaveNoStepAndCheckedStepsCatchWhatWasNotNamed) {
    CEditorDocument::SetStepChecks(true);
    CEditorDocument::ResetStepCheckFailures();
    auto model = Model();
    CEditorDocument doc;
    doc.SetModel(model.get());
    doc.StartJournal();
    auto* area = FirstPhase(*model)->m_areas.GetAtAs<CPhaseMaskArea>(3);
    const std::string start = EncodeModel(*model);
    for (int dx : {1, 1, -2}) {
        CEditStep step(doc, L"移动", "nudge:a4");
        doc.TouchItem(area);
        area->Move(dx, 0, -1);
    }
    EXPECT_EQ(doc.GetJournal().GetStepCount(), 0u);
    EXPECT_EQ(EncodeModel(*model), start);
    EXPECT_EQ(CEditorDocument::GetStepCheckFailures(), 0);

    // One area named, another changed too: the check says so and the step is recorded whole all the same.
    auto* other = FirstPhase(*model)->m_areas.GetAtAs<CPhaseMaskArea>(9);
    {
        CEditStep step(doc, L"移动");
        doc.TouchItem(area);
        area->Move(5, 0, -1);
        other->Move(0, 7, -1);
    }
    EXPECT_EQ(CEditorDocument::GetStepCheckFailures(), 1);
    EXPECT_EQ(doc.GetJournal().GetPieces().Assemble(), EncodeModel(*model));
    ASSERT_TRUE(doc.UndoStep());
    EXPECT_EQ(EncodeModel(*model), start);

    // Without the check the same mistake leaves stale pieces: the check is what finds it. (Undo replaced
    // the objects it restored: they are looked up again.)
    area = FirstPhase(*model)->m_areas.GetAtAs<CPhaseMaskArea>(3);
    other = FirstPhase(*model)->m_areas.GetAtAs<CPhaseMaskArea>(9);
    CEditorDocument::SetStepChecks(false);
    {
        CEditStep step(doc, L"移动");
        doc.TouchItem(area);
        area->Move(5, 0, -1);
        other->Move(0, 7, -1);
    }
    EXPECT_NE(doc.GetJournal().GetPieces().Assemble(), EncodeModel(*model));
    CEditorDocument::SetStepChecks(true);
    CEditorDocument::ResetStepCheckFailures();
    doc.SetModel(nullptr);
}

TEST(ModelPieces, ADraftOfRecordsPutsTheTemplateTogetherAndRefusesRecordsThatDoNotFit) {
    auto model = Model();
    CModelSnapshot pieces;
    pieces.Build(*model);
    const std::string saved = EncodeModel(*model);
    // Two steps as records after a draft that names the saved version.
    std::vector<std::string> records;
    CModelEdits forward, backward;
    FirstPhase(*model)->m_areas.Add(NewArea(77));
    pieces.Update(*model, {}, {&FirstPhase(*model)->m_areas}, false, forward, backward);
    records.push_back(forward.Serialize());
    FirstPhase(*model)->m_strParameters = L"改";
    pieces.Update(*model, {FirstPhase(*model)}, {}, false, forward, backward);
    records.push_back(forward.Serialize());
    const std::string expected = EncodeModel(*model);

    const std::string namesSaved = std::string("ZRKD") + '\x01' + '\x00' + CModelEdits().Serialize();
    const auto savedBytes = [&](std::string& out) {
        out = saved;
        return true;
    };
    std::string bytes;
    ASSERT_TRUE(CDraftKeeper::ComposeDraft(namesSaved, records, savedBytes, bytes));
    EXPECT_EQ(bytes, expected);
    // The whole-template form of earlier versions is the template itself.
    ASSERT_TRUE(CDraftKeeper::ComposeDraft(expected, {}, savedBytes, bytes));
    EXPECT_EQ(bytes, expected);
    // A record cut short, one applied to a template it was not made for, and a truncated old draft: refused.
    std::vector<std::string> cut = records;
    cut.back().pop_back();
    EXPECT_FALSE(CDraftKeeper::ComposeDraft(namesSaved, cut, savedBytes, bytes));
    EXPECT_FALSE(CDraftKeeper::ComposeDraft(namesSaved, {records[1], records[1], records[1]},
                                            [](std::string& out) { out = EncodeModel(CModelInfo()); return true; }, bytes));
    EXPECT_FALSE(CDraftKeeper::ComposeDraft(expected.substr(0, expected.size() / 2), {}, savedBytes, bytes));
    EXPECT_FALSE(CDraftKeeper::ComposeDraft(namesSaved, records, [](std::string&) { return false; }, bytes));
}

TEST(ModelPieces, AListFilledAnewWithTheSameItemsIsNoChange) {
    // New objects (at new addresses, as a sanitizer's allocator always gives) with the same stored form.
    auto model = Model();
    CModelSnapshot pieces;
    pieces.Build(*model);
    CItemList& areas = FirstPhase(*model)->m_areas;
    std::vector<std::unique_ptr<CIDItem>> old;
    std::vector<CIDItem*> copies;
    for (CIDItem* item : areas.m_arItems) {
        CIDItem* copy = item->NewInstance();
        copy->CopyFrom(item);
        copies.push_back(copy);
        old.emplace_back(item);  // kept alive until the comparison: no address is reused
    }
    areas.m_arItems = copies;
    CModelEdits forward, backward;
    pieces.Update(*model, {}, {&areas}, false, forward, backward);
    EXPECT_TRUE(forward.Empty());
    EXPECT_EQ(pieces.Assemble(), EncodeModel(*model));
}

TEST(ModelPieces, AListFilledAnewIsNoChangeWhenItsNewItemsGetFreedAddressesInAnotherOrder) {
    // The allocator gives the new items' memory back in any order: here the first item's object comes back
    // last, holding what the last item held, and the others are new. The stored form is the same: no step.
    auto model = Model();
    CModelSnapshot pieces;
    pieces.Build(*model);
    CItemList& areas = FirstPhase(*model)->m_areas;
    const std::string start = EncodeModel(*model);
    std::vector<std::unique_ptr<CIDItem>> old;
    std::vector<CIDItem*> renewed;
    for (size_t i = 1; i < areas.m_arItems.size(); ++i) {
        CIDItem* copy = areas.m_arItems[i - 1]->NewInstance();
        copy->CopyFrom(areas.m_arItems[i - 1]);
        renewed.push_back(copy);
        old.emplace_back(areas.m_arItems[i]);
    }
    CIDItem* reused = areas.m_arItems.front();
    reused->CopyFrom(old.back().get());
    renewed.push_back(reused);
    areas.m_arItems = renewed;
    ASSERT_EQ(EncodeModel(*model), start);
    CModelEdits forward, backward;
    pieces.Update(*model, {}, {&areas}, false, forward, backward);
    EXPECT_TRUE(forward.Empty());
    EXPECT_EQ(pieces.Assemble(), start);

    // A later edit of the item at the reused address is found and undone exactly.
    static_cast<CPhaseMaskArea*>(reused)->Move(4, 0, -1);
    pieces.Update(*model, {reused}, {}, false, forward, backward);
    EXPECT_FALSE(forward.Empty());
    EXPECT_EQ(pieces.Assemble(), EncodeModel(*model));
    pieces.Apply(backward);
    EXPECT_EQ(pieces.Assemble(), start);

    // Items that only moved are a reorder, recorded as such.
    std::swap(areas.m_arItems[2], areas.m_arItems[7]);
    pieces.Update(*model, {}, {&areas}, false, forward, backward);
    EXPECT_FALSE(forward.Empty());
}
