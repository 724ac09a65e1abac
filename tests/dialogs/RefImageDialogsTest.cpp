// The reference-image manager and its three editors, driven as an operator drives them: buttons, the modal
// runner answering the nested dialogs, the prompter answering questions, and real mouse and key events
// on the composed image.

#include "dialogs/DlgCamImageEdit.h"
#include "dialogs/DlgLargeRefParameter.h"
#include "dialogs/DlgRefImageEdit.h"
#include "dialogs/DlgSelPos.h"
#include "dialogs/DlgSplitAreaParaEdit.h"
#include "dialogs/ModalRunner.h"

#include "EditorDeployment.h"

#include "datastruct/CameraRefImage.h"
#include "datastruct/RefImage.h"
#include "view/ImgDisplay.h"
#include "view/ImgView.h"
#include "view/ImgWnd.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "model/ParaTypes.h"
#include "support/RecordingPrompter.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <deque>
#include <functional>
#include <memory>

namespace {

template <class T = QWidget> T* Find(QWidget& parent, const char* name) {
    T* control = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

void Press(QWidget& parent, const char* button) {
    if (auto* b = Find<QPushButton>(parent, button))
        QTest::mouseClick(b, Qt::LeftButton);
}

void SetText(QWidget& parent, const char* name, const QString& text) {
    if (auto* edit = Find<QLineEdit>(parent, name))
        edit->setText(text);
}

void SaveScreenshot(QWidget& widget, const char* name) {
    const QString folder = QStringLiteral(ZRK_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    QApplication::processEvents();
    EXPECT_TRUE(widget.grab().save(folder + QLatin1String(name) + QStringLiteral(".png")));
}

/// Answers the nested dialogs in order, one step each; records their class names. A dialog that comes
/// with no step left is cancelled; steps left when the script ends were prepared for dialogs that never
/// came, and fail the test.
class DialogScript {
public:
    using Step = std::function<int(QDialog&)>;
    DialogScript() = default;
    ~DialogScript() {
        if (!m_steps.empty())
            ReportUnusedAnswer(std::to_string(m_steps.size()) + " step(s) of a dialog script were never given a dialog");
    }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;
    DialogScript& Then(Step step) {
        m_steps.push_back(std::move(step));
        return *this;
    }
    std::vector<std::string> m_opened;

private:
    std::deque<Step> m_steps;
    ScopedModalHandler m_handler{[this](QDialog& dialog) {
                                     m_opened.push_back(dialog.metaObject()->className());
                                     if (m_steps.empty()) {
                                         dialog.reject();
                                         return dialog.result();
                                     }
                                     Step step = std::move(m_steps.front());
                                     m_steps.pop_front();
                                     return step(dialog);
                                 },
                                 ScopedModalHandler::Optional};  // the steps are what is checked
};

/// Picks a cell of the cell picker.
DialogScript::Step PickCell(int column, int row) {
    return [column, row](QDialog& dialog) {
        auto& picker = dynamic_cast<CDlgSelPos&>(dialog);
        picker.Pick(column, row, 0);
        return picker.result();
    };
}

/// Fills the camera editor and presses OK; the result (the dialog may stay open on a refusal).
DialogScript::Step CameraFile(const QString& path, int x, int y) {
    return [=](QDialog& dialog) {
        SetText(dialog, "path", path);
        SetText(dialog, "x", QString::number(x));
        SetText(dialog, "y", QString::number(y));
        Press(dialog, "1");
        return dialog.isVisible() ? int(QDialog::Rejected) : dialog.result();
    };
}

class RefImageDialogs : public ::testing::Test {
protected:
    /// A grey camera image in the deployment ("Home/<name>.bmp", or .png): pixel (x, y) is
    /// (seed + x + 2y) & 0xFF.
    QString Camera(const std::string& name, int w, int h, int seed, bool png = false) {
        CImgBuffer image(1, w, h, IMG_FORMAT_MONO8);
        EXPECT_TRUE(image.Create());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.GetMat().at<uint8_t>(y, x) = static_cast<uint8_t>((seed + x + 2 * y) & 0xFF);
        const std::string file = "Home/" + name + (png ? ".png" : ".bmp");
        if (png) {
            std::vector<uint8_t> bytes;
            EXPECT_TRUE(cv::imencode(".png", image.GetMat(), bytes));
            m_deploy.Dir().WriteBytes(file, std::string(bytes.begin(), bytes.end()));
        } else {
            EXPECT_TRUE(WriteBmpFile(m_deploy.Dir().File(file), image));
        }
        return QString::fromStdString(file);
    }
    static uint8_t Expected(int seed, int x, int y) { return static_cast<uint8_t>((seed + x + 2 * y) & 0xFF); }

    /// A reference image with `cols` x `rows` cameras and the given cameras, appended to the list.
    CRefImage* AddRef(int id, int cols, int rows) {
        auto* ref = new CRefImage;
        ref->m_nID = id;
        ref->m_strRemark = L"参考图" + std::to_wstring(id);
        ref->m_nCamCols = cols;
        ref->m_nCamRows = rows;
        EXPECT_TRUE(m_refs.Add(ref));
        return ref;
    }
    static CCameraRefImage* AddCam(CRefImage* ref, const QString& path, int x, int y) {
        auto* camera = new CCameraRefImage;
        camera->m_nID = ref->m_cameras.GetMaxID() + 1;
        camera->m_strName = path.toStdWString();
        camera->m_nX = x;
        camera->m_nY = y;
        EXPECT_TRUE(ref->m_cameras.Add(camera));
        return camera;
    }

    /// The manager, shown (not modal) so that mouse and key events reach it.
    CDlgRefImageEdit& Open() {
        m_dlg = std::make_unique<CDlgRefImageEdit>(m_refs, &m_display);
        m_dlg->resize(1000, 700);
        m_dlg->show();
        QApplication::processEvents();
        return *m_dlg;
    }
    QTreeWidget* List(const char* name) { return Find<QTreeWidget>(*m_dlg, name); }
    cv::Mat Composed() { return m_dlg->GetSelRefImage()->GetComposedImage()->GetMat(); }

    void TearDown() override { m_dlg.reset(); }

    EditorDeployment m_deploy;
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    CImgDisplay m_display;
    CItemList m_refs;
    std::unique_ptr<CDlgRefImageEdit> m_dlg;
};

// ---- the three small editors ---------------------------------------------------------------------------

TEST_F(RefImageDialogs, CameraCountsAreCheckedAndAChangeAsksBeforeTheCamerasGo) {
    CRefImage* ref = AddRef(1, 2, 2);
    AddCam(ref, Camera("a", 20, 10, 0), 0, 0);
    AddCam(ref, Camera("b", 20, 10, 0), 20, 0);
    for (const char* bad : {"0", "33", "x"}) {
        CDlgLargeRefParameter dialog(*ref);
        DialogScript script;
        script.Then([&](QDialog& d) {
            SetText(d, "camCols", QString::fromLatin1(bad));
            Press(d, "1");
            EXPECT_TRUE(d.isVisible()) << bad;  // refused, still open
            d.reject();
            return d.result();
        });
        EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
    }
    EXPECT_EQ(m_prompter.Texts(), (std::vector<std::wstring>{L"请输入 1 到 32 之间的整数!", L"请输入 1 到 32 之间的整数!",
                                                             L"请输入一个整数!"}));
    {
        // A negative reference sheet is refused as well.
        CDlgLargeRefParameter dialog(*ref);
        DialogScript script;
        script.Then([&](QDialog& d) {
            SetText(d, "refRow", QStringLiteral("-1"));
            Press(d, "1");
            EXPECT_TRUE(d.isVisible());
            d.reject();
            return d.result();
        });
        dialog.DoModal();
    }
    m_prompter.Clear();
    // Counts changed, No: the dialog stays open and nothing changes.
    m_prompter.m_answers = {IDNO, IDYES};
    CDlgLargeRefParameter dialog(*ref);
    DialogScript script;
    script.Then([&](QDialog& d) {
        SetText(d, "camCols", QStringLiteral("3"));
        SetText(d, "refCol", QStringLiteral("2"));
        Find<QPlainTextEdit>(d, "remark")->setPlainText(QStringLiteral("新备注"));
        Press(d, "1");
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(ref->m_nCamCols, 2);
        EXPECT_EQ(ref->m_cameras.GetSize(), 2);
        EXPECT_EQ(ref->m_nCurCol, 0);
        EXPECT_EQ(ref->m_strRemark, L"参考图1");
        Press(d, "1");  // Yes: the cameras go before the new counts are stored
        return d.result();
    });
    EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>(2, L"相机的个数已经改变，会导致相机数据丢失，要继续吗?"));
    EXPECT_EQ(ref->m_cameras.GetSize(), 0);
    EXPECT_EQ(ref->m_nCamCols, 3);
    EXPECT_EQ(ref->m_nCamRows, 2);
    EXPECT_EQ(ref->m_nCurCol, 2);
    EXPECT_EQ(ref->m_strRemark, L"新备注");
}

TEST_F(RefImageDialogs, CameraFileMustBeAReadableImageOfItsNeighboursSize) {
    CRefImage* ref = AddRef(1, 2, 1);
    CCameraRefImage* first = AddCam(ref, Camera("a", 40, 30, 0), 0, 0);
    CCameraRefImage camera;
    camera.m_strName = L"Home/old.bmp";
    camera.m_nX = 7;
    const QString good = Camera("b", 40, 30, 50, true);
    const QString wrongSize = Camera("c", 41, 30, 0);
    m_deploy.Dir().WriteBytes("Home/text.bmp", "BM but nothing of a bitmap after it");
    const std::wstring missing = L"没有找到图像文件,请选择合适的图像文件!";
    const std::wstring unreadable = L"无法读取图像文件,请选择合适的图像文件!";
    const std::wstring size = L"图像尺寸与其它相机图像不同,请选择合适的图像文件!";
    struct Case {
        QString path;
        int x, y;
        std::wstring message;
    } cases[] = {{QStringLiteral("Home/none.bmp"), 40, 0, missing},
                 {QString(), 40, 0, missing},
                 {QStringLiteral("Home/text.bmp"), 40, 0, unreadable},
                 {QStringLiteral("Home"), 40, 0, missing},
                 {wrongSize, 40, 0, size},
                 {good, -1, 0, L"请输入 0 到 65496 之间的整数!"},
                 {good, 40, 65507, L"请输入 0 到 65506 之间的整数!"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        m_prompter.Clear();
        CDlgCamImageEdit dialog(camera, &ref->m_cameras);
        DialogScript script;
        script.Then(CameraFile(c.path, c.x, c.y));
        EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
        EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{c.message});
        EXPECT_EQ(camera.m_strName, L"Home/old.bmp");  // nothing half-changed
        EXPECT_EQ(camera.m_nX, 7);
    }
    // The first camera's own file may be swapped for one of another size when it is the only camera.
    m_prompter.Clear();
    {
        CDlgCamImageEdit dialog(*first, &ref->m_cameras);
        DialogScript script;
        script.Then(CameraFile(wrongSize, 0, 0));
        EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);  // its only neighbour is itself
    }
    first->m_strName = L"Home/a.bmp";
    {
        CDlgCamImageEdit dialog(camera, &ref->m_cameras);
        DialogScript script;
        script.Then(CameraFile(good, 40, 0));
        EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
    }
    EXPECT_TRUE(m_prompter.Texts().empty());
    EXPECT_EQ(camera.m_strName, L"Home/b.png");
    EXPECT_EQ(camera.m_nX, 40);
}

TEST_F(RefImageDialogs, BrowseOffersEveryFormatAndKeepsPathsInsideTheDeploymentRelative) {
    CCameraRefImage camera;
    const QString inside = Camera("a", 8, 8, 0, true);
    TempDir outsideDir;
    CImgBuffer image(1, 8, 8, IMG_FORMAT_MONO8);
    ASSERT_TRUE(image.Create());
    ASSERT_TRUE(WriteBmpFile(outsideDir.File("far.bmp"), image));
    m_prompter.m_openPaths = {{m_deploy.Dir().Folder() + inside.toStdWString()}, {outsideDir.File("far.bmp")}};
    for (const std::wstring& expected : {inside.toStdWString(), outsideDir.File("far.bmp")}) {
        CDlgCamImageEdit dialog(camera);
        DialogScript script;
        script.Then([](QDialog& d) {
            Press(d, "browse");
            Press(d, "1");
            return d.result();
        });
        EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
        EXPECT_EQ(camera.m_strName, expected);
    }
    ASSERT_EQ(m_prompter.m_fileRequests.size(), 2u);
    const FileDialogRequest& request = m_prompter.m_fileRequests.front();
    EXPECT_EQ(request.defaultExt, L"BMP");
    EXPECT_EQ(request.fileName, L"*.bmp");
    EXPECT_EQ(request.filter, L"图像文件(*.bmp *.png *.tif *.tiff)|*.bmp;*.png;*.tif;*.tiff|所有文件(*.*)|*.*||");
    EXPECT_EQ(request.folder, m_deploy.Dir().Folder());
    // The second time the dialog starts in the folder of the file chosen before.
    EXPECT_EQ(m_prompter.m_fileRequests.back().folder, m_deploy.Dir().Folder() + L"Home/");
}

TEST_F(RefImageDialogs, SplitSchemeNeedsSmallSheetsAndStoresItsCropAsTyped) {
    CSplitAreaPara split;
    for (auto [field, text] : {std::pair{"cols", "0"}, std::pair{"rows", "257"}, std::pair{"left", "1.5"},
                               std::pair{"extendX", "-1"}}) {
        SCOPED_TRACE(field);
        CDlgSplitAreaParaEdit dialog(split);
        DialogScript script;
        script.Then([&](QDialog& d) {
            SetText(d, field, QString::fromLatin1(text));
            Press(d, "1");
            EXPECT_TRUE(d.isVisible());
            d.reject();
            return d.result();
        });
        dialog.DoModal();
    }
    EXPECT_EQ(m_prompter.Texts(), (std::vector<std::wstring>{L"请输入 1 到 256 之间的整数!", L"请输入 1 到 256 之间的整数!",
                                                             L"请输入一个整数!", L"请输入 0 到 65536 之间的整数!"}));
    EXPECT_EQ(split.m_nCols, 1);
    CDlgSplitAreaParaEdit dialog(split);
    DialogScript script;
    script.Then([](QDialog& d) {
        for (auto [field, text] : {std::pair{"cols", "3"}, std::pair{"rows", "2"}, std::pair{"extendX", "4"},
                                   std::pair{"extendY", "5"}, std::pair{"left", "-20"}, std::pair{"top", "10"},
                                   std::pair{"right", "99999"}, std::pair{"bottom", "0"}})
            SetText(d, field, QString::fromLatin1(text));
        Find<QPlainTextEdit>(d, "remark")->setPlainText(QStringLiteral("三乘二"));
        Press(d, "1");
        return d.result();
    });
    // 99999 is beyond a buffer's side: refused too; the operator's next OK after mending it is taken.
    EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
    EXPECT_EQ(split.m_nCols, 1);
    CDlgSplitAreaParaEdit again(split);
    DialogScript second;
    second.Then([](QDialog& d) {
        for (auto [field, text] : {std::pair{"cols", "3"}, std::pair{"rows", "2"}, std::pair{"extendX", "4"},
                                   std::pair{"extendY", "5"}, std::pair{"left", "-20"}, std::pair{"top", "10"},
                                   std::pair{"right", "9999"}, std::pair{"bottom", "0"}})
            SetText(d, field, QString::fromLatin1(text));
        Find<QPlainTextEdit>(d, "remark")->setPlainText(QStringLiteral("三乘二"));
        Press(d, "1");
        return d.result();
    });
    EXPECT_EQ(again.DoModal(), QDialog::Accepted);
    EXPECT_EQ(split.m_nCols, 3);
    EXPECT_EQ(split.m_nRows, 2);
    EXPECT_EQ(split.m_nExtendX, 4);
    EXPECT_EQ(split.m_nExtendY, 5);
    EXPECT_EQ(split.m_rcCrop, CRect(-20, 10, 9999, 0));
    EXPECT_EQ(split.m_strRemark, L"三乘二");
}

// ---- the manager ---------------------------------------------------------------------------------------

TEST_F(RefImageDialogs, SelectingAReferenceImageComposesItsCamerasAtTheirPositions) {
    CRefImage* ref = AddRef(1, 2, 2);
    const int seeds[4] = {0, 60, 120, 180};
    AddCam(ref, Camera("c0", 50, 40, seeds[0]), 0, 0);
    AddCam(ref, Camera("c1", 50, 40, seeds[1], true), 50, 0);
    AddCam(ref, Camera("c2", 50, 40, seeds[2]), 0, 40);
    AddCam(ref, Camera("c3", 50, 40, seeds[3], true), 45, 40);  // overlaps its left neighbour by 5
    AddRef(2, 1, 1)->m_strRemark = L"空";
    CDlgRefImageEdit& dlg = Open();
    ASSERT_EQ(List("refList")->topLevelItemCount(), 2);
    EXPECT_EQ(List("refList")->topLevelItem(0)->text(1), QStringLiteral("参考图1"));
    dlg.SelectRefRow(0);
    ASSERT_NE(dlg.GetImageWnd(), nullptr);
    EXPECT_EQ(List("camList")->topLevelItemCount(), 4);
    const cv::Mat image = Composed();
    ASSERT_EQ(image.cols, 100);
    ASSERT_EQ(image.rows, 80);
    EXPECT_EQ(image.at<uint8_t>(10, 20), Expected(seeds[0], 20, 10));
    EXPECT_EQ(image.at<uint8_t>(10, 70), Expected(seeds[1], 20, 10));
    EXPECT_EQ(image.at<uint8_t>(50, 20), Expected(seeds[2], 20, 10));
    EXPECT_EQ(image.at<uint8_t>(50, 47), Expected(seeds[3], 2, 10));  // the last camera lies on top
    EXPECT_EQ(image.at<uint8_t>(50, 44), Expected(seeds[2], 44, 10));
    EXPECT_EQ(image.at<uint8_t>(79, 99), 0);  // uncovered
    EXPECT_TRUE(m_prompter.Texts().empty());

    // The image without cameras: the message, and the other image's pixels are released.
    dlg.SelectRefRow(1);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"没有发现图像文件或没有足够的内存!"});
    EXPECT_FALSE(ref->IsLoaded());
    EXPECT_EQ(dlg.GetImageWnd(), nullptr);
    SaveScreenshot(dlg, "DlgRefImageEdit_empty");
}

TEST_F(RefImageDialogs, AReferenceImageWhoseCameraFilesAreGoneStillListsItsCamerasForMending) {
    CRefImage* ref = AddRef(1, 1, 1);
    AddCam(ref, QStringLiteral("Home/gone.bmp"), 0, 0);
    CDlgRefImageEdit& dlg = Open();
    dlg.SelectRefRow(0);
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"没有发现图像文件或没有足够的内存!"});
    ASSERT_EQ(List("camList")->topLevelItemCount(), 1);
    dlg.SelectCamRow(0);
    const QString file = Camera("back", 30, 20, 9);
    DialogScript script;
    script.Then(PickCell(0, 0)).Then(CameraFile(file, 0, 0));
    dlg.OnCamEdit();
    EXPECT_EQ(script.m_opened, (std::vector<std::string>{"CDlgSelPos", "CDlgCamImageEdit"}));
    ASSERT_TRUE(ref->IsLoaded());
    EXPECT_EQ(Composed().at<uint8_t>(5, 5), Expected(9, 5, 5));
}

TEST_F(RefImageDialogs, CamerasAreAddedInTheirGridCellAndDeletedFromTheEndOnly) {
    CRefImage* ref = AddRef(1, 2, 2);
    const QString a = Camera("a", 2048, 16, 0), b = Camera("b", 2048, 16, 1);
    CDlgRefImageEdit& dlg = Open();
    dlg.OnCamAdd();
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"请选择一个参考图!"});
    dlg.SelectRefRow(0);  // no camera yet: the composition fails
    m_prompter.Clear();
    {
        DialogScript script;  // the first camera: no picker, column, row and position 0
        script.Then(CameraFile(a, 0, 0));
        dlg.OnCamAdd();
        EXPECT_EQ(script.m_opened, std::vector<std::string>{"CDlgCamImageEdit"});
    }
    {
        // The second: its cell from the picker, its position from the first camera's size.
        DialogScript script;
        std::wstring title;
        script
            .Then([&](QDialog& d) {
                auto& picker = dynamic_cast<CDlgSelPos&>(d);
                EXPECT_EQ(picker.m_nCols, 2);
                EXPECT_EQ(picker.m_nRows, 2);
                EXPECT_EQ(picker.m_nCellWidth, 100);
                title = picker.m_strTitle;
                picker.Pick(1, 0, 0);
                return picker.result();
            })
            .Then([&](QDialog& d) {
                EXPECT_EQ(Find<QLineEdit>(d, "x")->text(), QStringLiteral("2048"));
                EXPECT_EQ(Find<QLineEdit>(d, "y")->text(), QStringLiteral("0"));
                SetText(d, "path", b);
                Press(d, "1");
                return d.result();
            });
        dlg.OnCamAdd();
        EXPECT_EQ(title, L"请选择要增加的相机所在的位置");
    }
    ASSERT_EQ(ref->m_cameras.GetSize(), 2);
    auto* second = ref->m_cameras.GetAtAs<CCameraRefImage>(1);
    EXPECT_EQ(second->m_nID, 2);
    EXPECT_EQ(second->m_nCamCol, 1);
    EXPECT_EQ(second->m_nX, 2048);
    EXPECT_EQ(Composed().cols, 4096);
    {
        DialogScript script;
        script.Then(PickCell(0, 1)).Then(CameraFile(a, 0, 16)).Then(PickCell(1, 1)).Then(CameraFile(b, 2048, 16));
        dlg.OnCamAdd();
        dlg.OnCamAdd();
    }
    ASSERT_EQ(ref->m_cameras.GetSize(), 4);
    m_prompter.Clear();
    {
        DialogScript script;  // the grid is full: nothing opens
        dlg.OnCamAdd();
        EXPECT_TRUE(script.m_opened.empty());
    }
    // Deleting: a selection is needed, then only the last camera, and never the only one.
    dlg.SelectCamRow(-1);
    dlg.OnCamDelete();
    dlg.SelectCamRow(1);
    dlg.OnCamDelete();
    EXPECT_EQ(ref->m_cameras.GetSize(), 4);
    m_prompter.m_answers = {IDNO};
    dlg.SelectCamRow(3);
    dlg.OnCamDelete();  // asked, No
    EXPECT_EQ(ref->m_cameras.GetSize(), 4);
    dlg.SelectCamRow(3);
    dlg.OnCamDelete();  // asked, Yes
    EXPECT_EQ(ref->m_cameras.GetSize(), 3);
    EXPECT_EQ(m_prompter.Texts(),
              (std::vector<std::wstring>{L"设定的相机数已满，不能添加相机!", L"请选择一个相机!", L"只能从最后一个开始删除!请确认!",
                                         L"确定要删除吗?", L"确定要删除吗?"}));
    EXPECT_EQ(Composed().at<uint8_t>(20, 3000), 0);  // the deleted camera's pixels are gone
    for (int i = 0; i < 2; ++i) {
        dlg.SelectCamRow(ref->m_cameras.GetSize() - 1);
        dlg.OnCamDelete();
    }
    m_prompter.Clear();
    dlg.SelectCamRow(0);
    dlg.OnCamDelete();
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>{L"必须保留一个相机!"});
    EXPECT_EQ(ref->m_cameras.GetSize(), 1);
}

TEST_F(RefImageDialogs, DraggingACameraMovesItByTheDragInImagePixelsAtEveryZoom) {
    CRefImage* ref = AddRef(1, 2, 1);
    AddCam(ref, Camera("a", 120, 80, 0), 0, 0);
    CCameraRefImage* moved = AddCam(ref, Camera("b", 120, 80, 77), 120, 0);
    CDlgRefImageEdit& dlg = Open();
    dlg.SelectRefRow(0);
    for (double zoom : {1.0, 2.0}) {
        SCOPED_TRACE(zoom);
        dlg.SetZoom(zoom);
        CImgWnd* wnd = dlg.GetImageWnd();
        ASSERT_NE(wnd, nullptr);
        const int startX = moved->m_nX, startY = moved->m_nY;
        const QPoint press(int((startX + 10) * zoom), int(20 * zoom));
        QTest::mousePress(wnd, Qt::LeftButton, Qt::NoModifier, press);
        EXPECT_EQ(dlg.GetSelCamera(), moved);
        QTest::mouseMove(wnd, press + QPoint(20, 4));
        QTest::mouseMove(wnd, press + QPoint(-30, 12));
        QTest::mouseRelease(wnd, Qt::LeftButton, Qt::NoModifier, press + QPoint(-30, 12));
        EXPECT_EQ(moved->m_nX, startX + int(std::lround(-30 / zoom)));
        EXPECT_EQ(moved->m_nY, startY + int(std::lround(12 / zoom)));
        // The composition shows the camera at its new place, on top of its neighbour.
        const cv::Mat image = Composed();
        EXPECT_EQ(image.at<uint8_t>(moved->m_nY + 5, moved->m_nX + 3), Expected(77, 3, 5));
        QTest::mouseMove(wnd, press + QPoint(40, 40));  // after the release nothing follows the mouse
        EXPECT_EQ(moved->m_nX, startX + int(std::lround(-30 / zoom)));
    }
    // The caption reads the position and the pixel under the mouse.
    dlg.SetZoom(1.0);
    QTest::mouseMove(dlg.GetImageWnd(), QPoint(7, 9));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("参考图编辑 (X:Y 7:9 RGB %1:%1:%1)").arg(Expected(0, 7, 9)));
    // The arrow keys move the selected camera by one pixel.
    const int x = moved->m_nX, y = moved->m_nY;
    QListWidget* keys = Find<QListWidget>(dlg, "keyList");
    QTest::keyClick(keys, Qt::Key_Right);
    QTest::keyClick(keys, Qt::Key_Right);
    QTest::keyClick(keys, Qt::Key_Up);
    EXPECT_EQ(moved->m_nX, x + 2);
    EXPECT_EQ(moved->m_nY, y - 1);
    // A press beside every camera drops the camera selection, and a drag then moves nothing.
    QTest::mousePress(dlg.GetImageWnd(), Qt::LeftButton, Qt::NoModifier, QPoint(235, 100));
    EXPECT_EQ(dlg.GetSelCamera(), nullptr);
    QTest::mouseMove(dlg.GetImageWnd(), QPoint(200, 90));
    QTest::mouseRelease(dlg.GetImageWnd(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 90));
    EXPECT_EQ(moved->m_nX, x + 2);
    SaveScreenshot(dlg, "DlgRefImageEdit_cameras");
}

// While the mouse drags a camera larger than the view, what the view shows is composed as it moves (also a
// part scrolled into view), the rest when the mouse is released: then the whole image is what composing
// the cameras at their new places gives.
TEST_F(RefImageDialogs, ADragComposesWhatTheViewShowsAsItMovesAndTheRestAtTheRelease) {
    CRefImage* ref = AddRef(1, 2, 1);
    AddCam(ref, Camera("a", 1500, 1300, 0), 0, 0);
    CCameraRefImage* moved = AddCam(ref, Camera("b", 1500, 1300, 90), 1400, 0);
    CDlgRefImageEdit& dlg = Open();
    dlg.SelectRefRow(0);
    CImgWnd* wnd = dlg.GetImageWnd();
    ASSERT_NE(wnd, nullptr);
    QScrollBar* horz = Find<QScrollBar>(dlg, "hscroll");
    horz->setValue(1300);
    QApplication::processEvents();
    // The cameras composed anew where they are now, in an image of the size the drag keeps.
    const auto fresh = [&] {
        CRefImage copy;
        copy.CopyFrom(ref);
        EXPECT_TRUE(copy.Load());
        const cv::Mat& pixels = copy.GetComposedImage()->GetMat();
        cv::Mat image = cv::Mat::zeros(Composed().size(), Composed().type());
        const cv::Rect common =
            cv::Rect(0, 0, pixels.cols, pixels.rows) & cv::Rect(0, 0, image.cols, image.rows);
        pixels(common).copyTo(image(common));
        return image;
    };
    const auto shownPart = [&] {
        const QRect shown = dlg.GetImageWnd()->GetView()->WindowToImageRect(wnd->rect());
        return cv::Rect(shown.x(), shown.y(), shown.width(), shown.height());
    };
    const QPoint press(200, 300);
    QTest::mousePress(wnd, Qt::LeftButton, Qt::NoModifier, press);
    ASSERT_EQ(dlg.GetSelCamera(), moved);
    QTest::mouseMove(wnd, press + QPoint(-37, 21));
    QTest::mouseMove(wnd, press + QPoint(-60, 25));
    wnd->repaint();
    ASSERT_EQ(moved->m_nX, 1340);
    cv::Mat expected = fresh();
    cv::Rect shown = shownPart();
    EXPECT_EQ(cv::norm(Composed()(shown), expected(shown), cv::NORM_INF), 0.0);
    // Scrolled while dragging: the part that comes into view is composed when it is painted.
    horz->setValue(400);
    wnd->repaint();
    shown = shownPart();
    EXPECT_EQ(cv::norm(Composed()(shown), expected(shown), cv::NORM_INF), 0.0);
    QTest::mouseRelease(wnd, Qt::LeftButton, Qt::NoModifier, press + QPoint(-60, 25));
    EXPECT_EQ(cv::norm(Composed(), expected, cv::NORM_INF), 0.0);
}

TEST_F(RefImageDialogs, CtrlDragPansTheViewWithoutMovingAnyCamera) {
    CRefImage* ref = AddRef(1, 2, 1);
    CCameraRefImage* left = AddCam(ref, Camera("a", 900, 800, 0), 0, 0);
    AddCam(ref, Camera("b", 900, 800, 50), 900, 0);
    CDlgRefImageEdit& dlg = Open();
    dlg.SelectRefRow(0);
    QScrollBar* h = Find<QScrollBar>(dlg, "hscroll");
    QScrollBar* v = Find<QScrollBar>(dlg, "vscroll");
    ASSERT_GT(h->maximum(), 200);
    ASSERT_GT(v->maximum(), 50);
    h->setValue(150);
    v->setValue(40);
    CImgWnd* wnd = dlg.GetImageWnd();
    QTest::mousePress(wnd, Qt::LeftButton, Qt::ControlModifier, QPoint(300, 300));
    QTest::mouseMove(wnd, QPoint(350, 310));
    EXPECT_EQ(h->value(), 100);
    EXPECT_EQ(v->value(), 30);
    QTest::mouseMove(wnd, QPoint(420, 280));
    EXPECT_EQ(h->value(), 30);
    EXPECT_EQ(v->value(), 60);
    QTest::mouseMove(wnd, QPoint(500, 360));  // both positions would become negative: they stay
    QTest::mouseRelease(wnd, Qt::LeftButton, Qt::ControlModifier, QPoint(500, 360));
    EXPECT_EQ(h->value(), 30);
    EXPECT_EQ(v->value(), 60);
    EXPECT_EQ(wnd->GetView()->GetOrigin(), QPoint(30, 60));
    EXPECT_EQ(left->m_nX, 0);
    EXPECT_EQ(left->m_nY, 0);
    EXPECT_EQ(ref->m_cameras.GetAtAs<CCameraRefImage>(1)->m_nX, 900);
}

TEST_F(RefImageDialogs, SplitSchemeDrawsItsCropAndEverySmallSheetInBlueOnTheirPixels) {
    CRefImage* ref = AddRef(1, 1, 1);
    const QString file = Camera("a", 200, 120, 0);
    CDlgRefImageEdit& dlg = Open();
    dlg.SelectRefRow(0);
    dlg.OnSplitAdd();
    AddCam(ref, file, 0, 0);
    dlg.SelectRefRow(0);
    EXPECT_EQ(m_prompter.Texts(), (std::vector<std::wstring>{L"没有发现图像文件或没有足够的内存!", L"请先设置相机图!"}));
    m_prompter.Clear();
    dlg.OnSplitEdit();
    dlg.OnSplitDelete();
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>(2, L"请选择一个分区方案!"));
    {
        DialogScript script;
        script.Then([](QDialog& d) {
            for (auto [field, text] : {std::pair{"cols", "2"}, std::pair{"rows", "1"}, std::pair{"left", "10"},
                                       std::pair{"top", "20"}, std::pair{"right", "110"}, std::pair{"bottom", "80"},
                                       std::pair{"extendX", "3"}})
                SetText(d, field, QString::fromLatin1(text));
            Press(d, "1");
            return d.result();
        });
        dlg.OnSplitAdd();
    }
    ASSERT_EQ(List("splitList")->topLevelItemCount(), 1);
    EXPECT_TRUE(dlg.GetSplitOverlay().empty());
    List("splitList")->topLevelItem(0)->setSelected(true);
    const std::vector<CRect> overlay = dlg.GetSplitOverlay();
    // The crop, then sheets of pitch 50 widened by 3 on each side.
    EXPECT_EQ(overlay, (std::vector<CRect>{CRect(10, 20, 110, 80), CRect(7, 20, 63, 80), CRect(57, 20, 113, 80)}));
    QApplication::processEvents();
    const QImage shown = dlg.GetImageWnd()->grab().toImage();
    const QColor blue(0, 0, 255);
    for (QPoint p : {QPoint(10, 50), QPoint(109, 50), QPoint(60, 20), QPoint(60, 79), QPoint(7, 30), QPoint(112, 30)})
        EXPECT_EQ(shown.pixelColor(p), blue) << p.x() << "," << p.y();
    for (QPoint p : {QPoint(30, 50), QPoint(60, 19), QPoint(60, 81), QPoint(150, 100)})
        EXPECT_NE(shown.pixelColor(p), blue) << p.x() << "," << p.y();
    // The composed pixels themselves stay the cameras' own.
    EXPECT_EQ(Composed().at<uint8_t>(50, 10), Expected(0, 10, 50));
    SaveScreenshot(dlg, "DlgRefImageEdit_split");

    // A crop outside the image is fitted to it: the whole image.
    {
        DialogScript script;
        script.Then([](QDialog& d) {
            SetText(d, "left", QStringLiteral("500"));
            SetText(d, "right", QStringLiteral("-4"));
            Press(d, "1");
            return d.result();
        });
        dlg.OnSplitEdit();
    }
    EXPECT_EQ(dlg.GetSplitOverlay().front(), CRect(0, 20, 200, 80));
    // Deleting the drawn scheme removes its rectangles.
    dlg.OnSplitDelete();
    EXPECT_EQ(ref->m_splits.GetSize(), 0);
    EXPECT_TRUE(dlg.GetSplitOverlay().empty());
}

TEST_F(RefImageDialogs, ReferenceImagesAreAddedEditedAndDeleted) {
    CRefImage* first = AddRef(4, 1, 1);
    AddCam(first, Camera("a", 30, 20, 0), 0, 0);
    CDlgRefImageEdit& dlg = Open();
    dlg.OnRefEdit();
    dlg.OnRefDelete();
    EXPECT_EQ(m_prompter.Texts(), std::vector<std::wstring>(2, L"请选择一个参考图!"));
    {
        DialogScript script;
        script.Then([](QDialog& d) { d.reject(); return d.result(); })  // cancelled: nothing added
            .Then([](QDialog& d) {
                SetText(d, "camCols", QStringLiteral("3"));
                Find<QPlainTextEdit>(d, "remark")->setPlainText(QStringLiteral("新图"));
                Press(d, "1");
                return d.result();
            });
        dlg.OnRefAdd();
        dlg.OnRefAdd();
        EXPECT_EQ(script.m_opened, std::vector<std::string>(2, "CDlgLargeRefParameter"));
    }
    ASSERT_EQ(m_refs.GetSize(), 2);
    auto* added = m_refs.GetAtAs<CRefImage>(1);
    EXPECT_EQ(added->m_nID, 5);
    EXPECT_EQ(added->m_nCamCols, 3);
    EXPECT_EQ(List("refList")->topLevelItem(1)->text(1), QStringLiteral("新图"));
    dlg.SelectRefRow(0);
    ASSERT_TRUE(first->IsLoaded());
    m_prompter.Clear();
    m_prompter.m_answers = {IDNO, IDYES};
    dlg.OnRefDelete();
    EXPECT_EQ(m_refs.GetSize(), 2);
    dlg.OnRefDelete();
    EXPECT_EQ(m_refs.GetSize(), 1);
    EXPECT_EQ(dlg.GetSelRefImage(), nullptr);
    EXPECT_EQ(dlg.GetImageWnd(), nullptr);
    EXPECT_EQ(List("refList")->topLevelItemCount(), 1);
    EXPECT_EQ(List("camList")->topLevelItemCount(), 0);
}

} // namespace
