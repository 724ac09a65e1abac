// Inspection and shielded areas proposed in the editor, on a generated sheet of 3 x 2 labels printed in two
// passes with a serial number each: nothing changes until the operator accepts; the acceptance makes the
// groups' areas in the phases chosen for them and the shields on the side in one journal step; one more
// click copies them to every small sheet.

#include "EditorDeployment.h"

#include "assist/SheetGenerator.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "datastruct/SysPara.h"
#include "formats/CodePage.h"
#include "dialogs/AreaProposalPanel.h"
#include "dialogs/ModalRunner.h"
#include "editor/KernelLinks.h"
#include "editor/ZRKDlg.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"
#include "support/RecordingPrompter.h"

#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace {

constexpr int kCols = 3, kRows = 2;

CPhase* Phase(int id) {
    auto* phase = new CPhase;
    phase->m_nID = id;
    for (int i = 1; i <= kCols * kRows; ++i) {
        auto* note = new CNote;
        note->m_nID = i;
        phase->m_notes.Add(note);
    }
    return phase;
}

/// Writes the generated sheet as the camera file and stores a template of one side, two phases, and the split
/// scheme of the sheet's truth.
int AddLabelModel(const EditorDeployment& deploy) {
    CSheetRecipe recipe;
    recipe.m_nSeed = 21;
    recipe.m_nWidth = 1500;
    recipe.m_nHeight = 900;
    recipe.m_nColumns = kCols;
    recipe.m_nRows = kRows;
    recipe.m_bPartialSheets = false;
    recipe.m_bTint = false;
    recipe.m_nMissing = 0;
    recipe.m_nDamaged = 0;
    const CGeneratedSheet sheet = GenerateSheet(recipe);
    if (!cv::imwrite((deploy.Dir().Path() / "Home" / "labels.png").string(), sheet.m_image))
        throw std::runtime_error("camera file");
    auto model = std::make_unique<CModelInfo>();
    for (int id : {1, 2}) {
        auto* type = new CPhaseType;
        type->m_nID = id;
        type->m_strName = id == 1 ? L"第一印次" : L"第二印次";
        model->m_phaseTypes.Add(type);
    }
    auto* sideType = new CSideType;
    sideType->m_nID = 1;
    sideType->m_strName = L"正面";
    model->m_sideTypes.Add(sideType);
    auto* ref = new CRefImage;
    ref->m_nID = 1;
    auto* camera = new CCameraRefImage;
    camera->m_nID = 1;
    camera->m_strName = L"Home/labels.png";
    ref->m_cameras.Add(camera);
    auto* split = new CSplitAreaPara;
    split->m_nID = 1;
    split->m_nCols = kCols;
    split->m_nRows = kRows;
    const int pitchX = static_cast<int>(sheet.m_truth.m_period.x + 0.5), pitchY = static_cast<int>(sheet.m_truth.m_period.y + 0.5);
    const int left = static_cast<int>(sheet.m_truth.m_origin.x) - sheet.m_truth.m_gutter.width / 2;
    const int top = static_cast<int>(sheet.m_truth.m_origin.y) - sheet.m_truth.m_gutter.height / 2;
    split->m_rcCrop = CRect(left, top, left + kCols * pitchX, top + kRows * pitchY);
    ref->m_splits.Add(split);
    // Two kernels of the first phase on every sheet, top left and bottom right: areas accepted are located by
    // the nearer one.
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            for (const CPoint at : {CPoint(30, 30), CPoint(pitchX - 70, pitchY - 70)}) {
                auto* kernel = new CKernel;
                kernel->m_nID = ref->m_kernels.GetMaxID() + 1;
                const CPoint origin(left + c * pitchX, top + r * pitchY);
                kernel->SetRect(origin.x + at.x, origin.y + at.y, origin.x + at.x + 40, origin.y + at.y + 40);
                kernel->m_nPhaseID = 1;
                kernel->m_nSheetCol = c;
                kernel->m_nSheetRow = r;
                kernel->m_nOffsetX = -origin.x;
                kernel->m_nOffsetY = -origin.y;
                ref->m_kernels.Add(kernel);
            }
    model->m_refImageSet.m_refImages.Add(ref);
    auto* type = new CInspType;
    type->m_nID = 1;
    type->m_strName = L"缺陷检测";
    auto* side = new CSide;
    side->m_nID = 1;
    side->m_nRefImageID = 1;
    side->m_nSplitID = 1;
    side->m_phases.Add(Phase(1));
    side->m_phases.Add(Phase(2));
    type->m_sides.Add(side);
    model->m_inspTypes.Add(type);
    CSysPara sysPara;
    model->m_nID = sysPara.CreateModel(L"标签", L"标签");
    if (model->m_nID < 1 || !model->Save())
        throw std::runtime_error("cannot store the label model");
    return model->m_nID;
}

class EditorAssistAreasTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearProfile();
        m_nModelID = AddLabelModel(m_deploy);
        m_dlg.Create();
        m_dlg.resize(1200, 800);
        m_dlg.show();
        ASSERT_TRUE(m_dlg.ActivateByID(m_nModelID));
        ASSERT_TRUE(m_dlg.SelectByNames(L"缺陷检测", L"正面", L"第一印次"));
        ASSERT_NE(m_dlg.GetSourceImage(), nullptr);
    }
    CSide* Side() const { return m_dlg.GetCurSide(); }
    CPhase* PhaseAt(int i) const { return Side()->m_phases.GetAtAs<CPhase>(i); }
    void Propose() {
        ASSERT_TRUE(m_dlg.ProposeAreas());
        ASSERT_TRUE(m_dlg.WaitForAssist(120000));
        ASSERT_FALSE(m_dlg.GetAreaProposalPanel()->IsBusy());
    }
    /// Answers the area and shield dialogs: OK, or cancel for the class named.
    ModalHandler Dialogs(const std::string& cancel = "") {
        return [this, cancel](QDialog& dialog) {
            const std::string name = dialog.metaObject()->className();
            m_dialogs.push_back(name);
            if (name == cancel) {
                dialog.reject();
                return int(QDialog::Rejected);
            }
            if (name == "CDlgThreshMaskPara") {  // what the shield dialog shows, as for a drawn shield
                m_shieldID = dialog.findChild<QLineEdit*>("id")->text().toStdString();
                m_shieldTag = dialog.findChild<QLineEdit*>("label")->text().toStdString();
            }
            dialog.findChild<QPushButton*>("1")->click();
            return dialog.result();
        };
    }

    EditorDeployment m_deploy;
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    int m_nModelID = 0;
    CZRKDlg m_dlg;
    std::vector<std::string> m_dialogs;
    std::string m_shieldID, m_shieldTag;
};

TEST_F(EditorAssistAreasTest, ProposedAreasAreDrawnAndChangeNothingUntilAccepted) {
    const std::string before = EncodeModel(*m_dlg.GetDocument().GetModel());
    Propose();
    CAreaProposalPanel* panel = m_dlg.GetAreaProposalPanel();
    ASSERT_GE(panel->GetGroupCount(), 1);
    EXPECT_TRUE(panel->isVisible());
    const auto outlines = m_dlg.GetAreaProposalOutlines();
    ASSERT_FALSE(outlines.empty());
    // Each outline lies on the small sheet.
    const CRefImage* ref = m_dlg.GetDocument().GetRefImage();
    const CRect sheet = ref->GetSheetRect(0, 0);
    for (const auto& outline : outlines)
        for (const CPoint& p : outline) {
            EXPECT_GE(p.x, 0);
            EXPECT_GE(p.y, 0);
            EXPECT_LE(p.x, sheet.Width());
            EXPECT_LE(p.y, sheet.Height());
        }
    EXPECT_EQ(EncodeModel(*m_dlg.GetDocument().GetModel()), before);
    EXPECT_FALSE(m_dlg.GetDocument().GetJournal().CanUndo());
    panel->findChild<QPushButton*>("areaReject")->click();
    EXPECT_TRUE(m_dlg.GetAreaProposalOutlines().empty());
    EXPECT_EQ(EncodeModel(*m_dlg.GetDocument().GetModel()), before);
}

TEST_F(EditorAssistAreasTest, AcceptingMakesEachGroupsAreasInItsPhaseAndTheShieldsInOneStepThenCopiesThemToEverySheet) {
    Propose();
    CAreaProposalPanel* panel = m_dlg.GetAreaProposalPanel();
    const int groups = panel->GetGroupCount();
    ASSERT_GE(groups, 1);
    // Every group to the second phase: the operator's reassignment decides, not the analysis's order.
    for (int g = 0; g < groups; ++g)
        panel->SetGroupPhase(g, 1);
    const size_t proposed = m_dlg.GetAreaProposalOutlines().size();
    const int shieldsBefore = Side()->m_threshMasks.GetSize();
    {
        ScopedModalHandler handler(Dialogs());
        panel->findChild<QPushButton*>("areaAccept")->click();
    }
    // The area dialog once for the phase, the shield dialog once (when shields were proposed).
    ASSERT_FALSE(m_dialogs.empty());
    EXPECT_EQ(m_dialogs[0], "CDlgMaskPara");
    EXPECT_LE(m_dialogs.size(), 2u);
    EXPECT_EQ(PhaseAt(0)->m_areas.GetSize(), 0);
    const int areas = PhaseAt(1)->m_areas.GetSize();
    const int shields = Side()->m_threshMasks.GetSize() - shieldsBefore;
    EXPECT_GT(areas, 0);
    EXPECT_EQ(static_cast<size_t>(areas + shields), proposed);
    // Tags are unique on the sheet, and every area sits on the current sheet's note.
    std::set<std::wstring> tags;
    for (int i = 0; i < areas; ++i) {
        auto* area = PhaseAt(1)->m_areas.GetAtAs<CMaskArea>(i);
        EXPECT_TRUE(tags.insert(area->m_strTag).second) << "tag used twice";
        EXPECT_EQ(area->m_nSheetID, 1);
    }
    EXPECT_EQ(m_dlg.GetDocument().GetJournal().GetUndoLabel(), L"接受推荐检测区");
    ASSERT_GT(shields, 0) << "the labels' serial numbers are shielded";
    {
        // The shield dialog showed the identifier and the tag the first shield got.
        auto* first = Side()->m_threshMasks.GetAtAs<CMaskArea>(shieldsBefore);
        EXPECT_EQ(m_shieldID, std::to_string(first->m_nID));
        EXPECT_EQ(m_shieldTag, WideToUtf8(first->m_strTag));
        EXPECT_FALSE(m_shieldTag.empty());
    }

    // One more click: every small sheet gets them.
    ASSERT_NE(panel->findChild<QPushButton*>("areaCopyAll"), nullptr);
    panel->findChild<QPushButton*>("areaCopyAll")->click();
    EXPECT_EQ(PhaseAt(1)->m_areas.GetSize(), areas * kCols * kRows);
    EXPECT_EQ(Side()->m_threshMasks.GetSize() - shieldsBefore, shields * kCols * kRows);
    EXPECT_EQ(m_dlg.GetDocument().GetJournal().GetUndoLabel(), L"复制到所有小张");
    ASSERT_TRUE(m_dlg.Undo());
    ASSERT_TRUE(m_dlg.Undo());
    EXPECT_EQ(m_dlg.GetCurSide()->m_phases.GetAtAs<CPhase>(1)->m_areas.GetSize(), 0);
    EXPECT_EQ(m_dlg.GetCurSide()->m_threshMasks.GetSize(), shieldsBefore);
}

// Each accepted area is located by its phase's nearest kernel on the sheet, and each copy by the kernel at the
// same place of its own sheet, so that no area is left unlinked or linked across sheets.
TEST_F(EditorAssistAreasTest, AcceptedAreasAreLinkedToTheNearestKernelOfTheirPhaseOnTheirOwnSheet) {
    // The area script with the two link nodes, as the type's plug-in folder carries it.
    std::filesystem::create_directories(m_deploy.Dir().Path() / "PlugIns" / "缺陷检测");
    m_deploy.Dir().WriteBytes("PlugIns/缺陷检测/PhaseMaskPara.ini",
                              "[定位核X]\r\nType=0\r\nDefaultValue=0\r\nValue=0\r\n[END]\r\n"
                              "[定位核Y]\r\nType=0\r\nDefaultValue=0\r\nValue=0\r\n[END]\r\n");
    Propose();
    CAreaProposalPanel* panel = m_dlg.GetAreaProposalPanel();
    for (int g = 0; g < panel->GetGroupCount(); ++g)
        panel->SetGroupPhase(g, 0);
    {
        ScopedModalHandler handler(Dialogs());
        panel->findChild<QPushButton*>("areaAccept")->click();
    }
    panel->findChild<QPushButton*>("areaCopyAll")->click();
    const CRefImage* ref = m_dlg.GetDocument().GetRefImage();
    CPhase* phase = PhaseAt(0);
    ASSERT_EQ(phase->m_areas.GetSize() % (kCols * kRows), 0);
    ASSERT_GT(phase->m_areas.GetSize(), 0);
    CAreaLinkReader links;
    std::set<int> sheetsSeen;
    for (int i = 0; i < phase->m_areas.GetSize(); ++i) {
        auto* area = phase->m_areas.GetAtAs<CMaskArea>(i);
        int t = 0;
        while (t < phase->m_notes.GetSize() && phase->m_notes.GetAt(t)->m_nID != area->m_nSheetID)
            ++t;
        ASSERT_LT(t, phase->m_notes.GetSize());
        const int col = t % kCols, row = t / kCols;
        sheetsSeen.insert(t);
        const auto [x, y] = links.Read(area->m_strParameters);
        ASSERT_GT(x, 0) << "area " << area->m_nID << " is unlinked";
        EXPECT_EQ(x, y);
        const auto* kernel = ref->m_kernels.FindByIDAs<CKernel>(x);
        ASSERT_NE(kernel, nullptr);
        EXPECT_EQ(kernel->m_nPhaseID, phase->m_nID);
        EXPECT_EQ(kernel->m_nSheetCol, col);
        EXPECT_EQ(kernel->m_nSheetRow, row);
        // The nearer of the sheet's two kernels.
        const CRect sheet = ref->GetSheetRect(col, row), box = area->GetBoundRect(nullptr);
        const double mx = sheet.left + (box.left + box.right) / 2.0, my = sheet.top + (box.top + box.bottom) / 2.0;
        double nearest = 1e18;
        for (int k = 0; k < ref->m_kernels.GetSize(); ++k) {
            const auto* other = ref->m_kernels.GetAtAs<CKernel>(k);
            if (other->m_nSheetCol != col || other->m_nSheetRow != row)
                continue;
            const CRect r = other->GetRect();
            nearest = std::min(nearest, std::hypot((r.left + r.right) / 2.0 - mx, (r.top + r.bottom) / 2.0 - my));
        }
        const CRect r = kernel->GetRect();
        EXPECT_NEAR(std::hypot((r.left + r.right) / 2.0 - mx, (r.top + r.bottom) / 2.0 - my), nearest, 1.0);
    }
    EXPECT_EQ(sheetsSeen.size(), static_cast<size_t>(kCols * kRows));
}

TEST_F(EditorAssistAreasTest, CancellingADialogAbandonsTheWholeAcceptance) {
    Propose();
    const std::string before = EncodeModel(*m_dlg.GetDocument().GetModel());
    {
        ScopedModalHandler handler(Dialogs("CDlgMaskPara"));
        m_dlg.GetAreaProposalPanel()->findChild<QPushButton*>("areaAccept")->click();
    }
    EXPECT_EQ(EncodeModel(*m_dlg.GetDocument().GetModel()), before);
    EXPECT_FALSE(m_dlg.GetDocument().GetJournal().CanUndo());
    EXPECT_FALSE(m_dlg.GetAreaProposalOutlines().empty());  // still on offer
}

} // namespace
