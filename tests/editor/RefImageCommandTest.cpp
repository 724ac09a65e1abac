// The toolbar's reference-image command: enabled by the deployment's configuration, one step of the edit
// journal for the whole session, and the side shown again afterwards from what the session left.

#include "EditorDeployment.h"

#include "datastruct/CameraRefImage.h"
#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/RefImage.h"
#include "datastruct/RefImageSet.h"
#include "datastruct/Side.h"
#include "dialogs/DlgRefImageEdit.h"
#include "dialogs/DlgSelPos.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/RefImageAssist.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/ZRKDlg.h"
#include "geometry/ImgBuffer.h"
#include "model/ParaTypes.h"
#include "support/RecordingPrompter.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>

namespace {

using Step = std::function<int(QDialog&)>;

class RefImageCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearProfile();
        m_deploy.Dir().WriteBytes("config.ini", "[General]\r\nbIfMouseTimeDelay=1\r\nbEnableCatalogueEditors=1\r\n");
        m_nModelID = m_deploy.AddSampleModel();
        m_dlg.Create();
        m_dlg.resize(1000, 700);
        m_dlg.show();
        ASSERT_TRUE(m_dlg.ActivateByID(m_nModelID));
    }
    void Select(std::initializer_list<std::wstring> path) {
        QTreeWidgetItem* item = m_dlg.GetTree()->topLevelItem(0);
        for (const std::wstring& text : path) {
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; item && i < item->childCount(); ++i)
                if (CModelTreeCtrl::GetItemText(item->child(i)) == text)
                    next = item->child(i);
            item = next;
        }
        ASSERT_NE(item, nullptr);
        m_dlg.GetTree()->setCurrentItem(item);
    }
    /// Runs the command; the manager's session is `session`, nested dialogs are answered by class.
    void RunCommand(std::function<void(CDlgRefImageEdit&)> session) {
        ScopedModalHandler handler([&](QDialog& dialog) {
            const std::string name = dialog.metaObject()->className();
            m_opened.push_back(name);
            if (auto* manager = dynamic_cast<CDlgRefImageEdit*>(&dialog)) {
                m_nDepthInside = m_dlg.GetDocument().GetEditDepth();
                session(*manager);
                manager->findChild<QPushButton*>(QStringLiteral("1"))->click();
                return manager->result();
            }
            auto& queue = m_steps[name];
            if (queue.empty()) {
                dialog.reject();
                return dialog.result();
            }
            Step step = std::move(queue.front());
            queue.pop_front();
            return step(dialog);
        });
        EXPECT_TRUE(m_dlg.OnCommand(zrkid::ID_REF_IMAGES));
    }
    CRefImage* Ref(int id) const { return m_dlg.GetDocument().GetModel()->m_refImageSet.FindRefImage(id); }

    EditorDeployment m_deploy;
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    int m_nModelID = 0;
    CZRKDlg m_dlg;
    std::map<std::string, std::deque<Step>> m_steps;
    std::vector<std::string> m_opened;
    int m_nDepthInside = -1;
};

Step Fill(std::vector<std::pair<const char*, QString>> fields) {
    return [fields](QDialog& dialog) {
        for (const auto& [name, text] : fields)
            dialog.findChild<QLineEdit*>(QLatin1String(name))->setText(text);
        dialog.findChild<QPushButton*>(QStringLiteral("1"))->click();
        return dialog.result();
    };
}

TEST_F(RefImageCommandTest, TheSessionIsOneJournalStepAndTheSideIsShownAgainWithTheMovedCamera) {
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ASSERT_NE(m_dlg.GetSourceImage(), nullptr);
    // Pixel (101, 120) of sheet (0, 0) lies in the sample's first print block, which starts at x = 100.
    auto pixel = [&](int x, int y) { return m_dlg.GetSourceImage()->GetMat().at<cv::Vec3b>(y, x); };
    const cv::Vec3b paper(230, 240, 250);
    EXPECT_NE(pixel(101, 120), paper);
    m_dlg.GetDocument().SetModified(false);
    RunCommand([](CDlgRefImageEdit& manager) {
        manager.SelectRefRow(0);
        manager.SelectCamRow(0);
        QListWidget* keys = manager.findChild<QListWidget*>(QStringLiteral("keyList"));
        QTest::keyClick(keys, Qt::Key_Right);
        QTest::keyClick(keys, Qt::Key_Right);
    });
    EXPECT_EQ(m_opened, std::vector<std::string>{"CDlgRefImageEdit"});
    EXPECT_EQ(m_nDepthInside, 1);
    EXPECT_EQ(m_dlg.GetDocument().GetEditDepth(), 0);
    EXPECT_TRUE(m_dlg.GetDocument().IsModified());
    EXPECT_EQ(Ref(1)->m_cameras.GetAtAs<CCameraRefImage>(0)->m_nX, 2);
    // The side is shown again, composed from the camera's new place.
    ASSERT_NE(m_dlg.GetDocument().GetRefImage(), nullptr);
    ASSERT_NE(m_dlg.GetSourceImage(), nullptr);
    EXPECT_EQ(m_dlg.GetTree()->currentItem(), m_dlg.GetTree()->FindItemByData(m_dlg.GetCurPhase()));
    EXPECT_EQ(pixel(101, 120), paper);
    EXPECT_NE(pixel(102, 120), paper);
    EXPECT_TRUE(m_prompter.Texts().empty());
}

TEST_F(RefImageCommandTest, DeletingTheShownReferenceImageLeavesTheEditorNothingToFollow) {
    Select({L"缺陷检测", L"正面", L"第一印次"});
    ASSERT_EQ(m_dlg.GetDocument().GetRefImage(), Ref(1));
    RunCommand([](CDlgRefImageEdit& manager) {
        manager.SelectRefRow(0);
        manager.OnRefDelete();  // the prompter answers Yes
    });
    EXPECT_EQ(Ref(1), nullptr);
    EXPECT_EQ(m_dlg.GetDocument().GetRefImage(), nullptr);
    EXPECT_EQ(m_dlg.GetSourceImage(), nullptr);
    const std::vector<std::wstring> texts = m_prompter.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], L"确定要删除吗?");
    EXPECT_EQ(texts[1], L"没有发现图像文件或没有足够的内存!");
    m_dlg.RedrawOverlays();  // nothing left pointing at the deleted image's pixels
    QApplication::processEvents();
}

TEST_F(RefImageCommandTest, AReferenceImageBuiltInTheSessionCutsItsSideIntoTheSchemesSmallSheets) {
    Select({L"缺陷检测", L"反面"});
    m_steps["CDlgLargeRefParameter"] = {Fill({{"camCols", QStringLiteral("2")}})};
    m_steps["CDlgCamImageEdit"] = {Fill({{"path", QStringLiteral("Home/cam1.bmp")}}),
                                   Fill({{"path", QStringLiteral("Home/cam1.bmp")}})};
    m_steps["CDlgSelPos"] = {[](QDialog& d) {
        auto& picker = dynamic_cast<CDlgSelPos&>(d);
        picker.Pick(1, 0, 0);
        return picker.result();
    }};
    m_steps["CDlgSplitAreaParaEdit"] = {Fill({{"cols", QStringLiteral("4")}, {"rows", QStringLiteral("2")}})};
    RunCommand([](CDlgRefImageEdit& manager) {
        manager.OnRefAdd();
        manager.SelectRefRow(2);
        manager.OnCamAdd();
        manager.OnCamAdd();
        manager.OnSplitAdd();
    });
    EXPECT_EQ(m_opened, (std::vector<std::string>{"CDlgRefImageEdit", "CDlgLargeRefParameter", "CDlgCamImageEdit",
                                                  "CDlgSelPos", "CDlgCamImageEdit", "CDlgSplitAreaParaEdit"}));
    CRefImage* added = Ref(3);
    ASSERT_NE(added, nullptr);
    ASSERT_EQ(added->m_cameras.GetSize(), 2);
    EXPECT_EQ(added->m_cameras.GetAtAs<CCameraRefImage>(1)->m_nX, 1200);
    ASSERT_EQ(added->m_splits.GetSize(), 1);
    // The side "反面" (whose image had no file) takes the new image and scheme, as its dialog would set them.
    CSide* back = m_dlg.GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(0)->m_sides.FindByIDAs<CSide>(2);
    ASSERT_NE(back, nullptr);
    back->m_nRefImageID = 3;
    back->m_nSplitID = 1;
    Select({L"缺陷检测", L"反面", L"第一印次"});
    ASSERT_EQ(m_dlg.GetDocument().GetRefImage(), added);
    EXPECT_EQ(added->m_nCols, 4);
    EXPECT_EQ(added->m_nRows, 2);
    ASSERT_NE(m_dlg.GetSourceImage(), nullptr);
    EXPECT_EQ(m_dlg.GetSourceImage()->GetWidth(), 600);  // 2400 / 4
    EXPECT_EQ(m_dlg.GetSourceImage()->GetHeight(), 400); // 800 / 2
}

} // namespace

TEST_F(RefImageCommandTest, AnAcceptedSplitProposalIsPartOfTheSessionsOneStepAndUndoTakesItBack) {
    Select({L"缺陷检测", L"正面", L"第一印次"});
    const int before = Ref(1)->m_splits.GetSize();
    RunCommand([](CDlgRefImageEdit& manager) {
        manager.SelectRefRow(0);
        manager.findChild<QPushButton*>(QStringLiteral("splitAuto"))->click();
        ASSERT_TRUE(manager.GetAssist().Wait(60000));
        QApplication::processEvents();
        manager.findChild<QPushButton*>(QStringLiteral("proposalAccept"))->click();
    });
    ASSERT_EQ(Ref(1)->m_splits.GetSize(), before + 1);
    const auto* split = Ref(1)->m_splits.GetAtAs<CSplitAreaPara>(before);
    EXPECT_EQ(split->m_strRemark, L"自动");
    EXPECT_EQ(split->m_nCols, 3);  // the sample's 3 x 2 small sheets
    EXPECT_EQ(split->m_nRows, 2);
    EXPECT_EQ(m_dlg.GetDocument().GetJournal().GetUndoLabel(), L"编辑参考图");
    ASSERT_TRUE(m_dlg.Undo());
    EXPECT_EQ(Ref(1)->m_splits.GetSize(), before);
    ASSERT_TRUE(m_dlg.Redo());
    EXPECT_EQ(Ref(1)->m_splits.GetSize(), before + 1);
    EXPECT_TRUE(m_prompter.Texts().empty());
}
