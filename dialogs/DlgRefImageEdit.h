#pragma once
/// The reference-image manager ("参考图编辑"): the template's reference images, the camera images of the
/// selected one and its split schemes, each in a list with "添加", "编辑" and "删除", and the composed large
/// image on which the operator places the cameras.
///
/// - Selecting a reference image (click or arrow keys in its list) releases the image of the one selected
///   before, applies the selected split scheme, composes the image from the camera files and shows it
///   ("没有发现图像文件或没有足够的内存!" when nothing can be composed: the camera and split lists are still
///   filled, so that a camera with a broken file can be mended).
/// - Selecting a split scheme applies it and draws, over the shown image, the crop rectangle and every
///   small sheet's rectangle in blue (red 0, green 0, blue 255), one window pixel wide. The rectangles are
///   drawn on the screen, not into the composed pixels, and stay while cameras move.
/// - A press on the image picks the topmost camera (the last in the list) under it; dragging moves it by
///   the drag in image pixels (window pixels / zoom), redrawing only what the move uncovered and covered.
///   Only what the view shows is recomposed while the mouse moves; the rest when it is released.
///   With Ctrl held the drag pans the view instead (no camera moves). The arrow keys move the selected
///   camera by one pixel. Ctrl and the mouse wheel zoom (1/8 … 4). Moving the mouse shows the image
///   position and the pixel's three bytes in the caption: "参考图编辑 (X:Y %d:%d RGB %d:%d:%d)" (a grey pixel
///   shows its byte three times).
/// - Cameras: "添加" needs a reference image ("请选择一个参考图!") with room in its camera grid
///   ("设定的相机数已满，不能添加相机!"); a second camera's place is chosen in the cell picker and starts at
///   (column × width, row × height) of the first camera's image. "删除" keeps the last camera ("必须保留一个
///   相机!") and deletes from the end only ("只能从最后一个开始删除!请确认!").
/// - Split schemes need a camera ("请先设置相机图!"); every deletion asks "确定要删除吗?".
/// - The assisted set-up (DlgRefImageEdit_Assist.cpp): "自动拼接" proposes the positions of the selected
///   reference image's cameras from their overlaps, "自动分区" a split scheme from the repeat of the small
///   sheets. The analysis runs off the interface thread (a busy cursor and a line under the image say so);
///   its proposal is drawn dashed in magenta over the image, with its score and warnings in the bar under
///   it. "接受" writes the positions into the cameras, or adds the scheme to the list with the remark
///   "自动" and selects it; "拒绝" (or another reference image selected) drops it. Nothing is changed
///   without "接受".
///
/// The template's lists are changed in place and the dialog has only "确定(&O)": the opener makes the
/// whole session one step of its edit journal, so that it can be undone there.
///
/// Controls by name: lists "refList", "camList", "splitList"; buttons "refAdd", "refEdit", "refDelete",
/// "camAdd", "camEdit", "camDelete", "splitAdd", "splitEdit", "splitDelete", "1" ("确定(&O)"); "imageFrame",
/// "hscroll", "vscroll", and "keyList" (out of sight, takes the arrow keys); "camAuto", "splitAuto" and the
/// proposal bar "proposalBar" with "proposalAccept" and "proposalReject".

#include "support/Geometry.h"

#include <QDialog>
#include <QString>
#include <memory>
#include <vector>

class CCameraRefImage;
class CImgDisplay;
class CImgView;
class CImgWnd;
class CItemList;
class CProposalBar;
class CRefImageAssist;
class CRefImage;
class CSplitAreaPara;
class QFrame;
class QListWidget;
class QScrollBar;
class QTreeWidget;
class QWidget;

class CDlgRefImageEdit : public QDialog {
    Q_OBJECT
public:
    /// `refImages` is the template's list of `CRefImage` (edited in place); `display` the shared image
    /// display (may be null). Neither is owned.
    CDlgRefImageEdit(CItemList& refImages, CImgDisplay* display, QWidget* parent = nullptr);
    /// Releases the view, the image window and the selected reference image's pixels.
    ~CDlgRefImageEdit() override;

    int DoModal();

    // ---- the buttons ----
    void OnRefAdd();
    void OnRefEdit();
    void OnRefDelete();
    void OnCamAdd();
    void OnCamEdit();
    void OnCamDelete();
    void OnSplitAdd();
    void OnSplitEdit();
    void OnSplitDelete();
    /// "自动拼接" and "自动分区": start the analysis of the selected reference image (see above).
    void OnCamAuto();
    void OnSplitAuto();
    /// The proposal bar's "接受" and "拒绝".
    void AcceptProposal();
    void RejectProposal();
    /// The analyses and the proposal bar (for the tests).
    CRefImageAssist& GetAssist() const { return *m_pAssist; }
    CProposalBar& GetProposalBar() const { return *m_pProposalBar; }
    /// The rectangles of the proposal shown (dashed over the image), in image pixels; empty without one.
    std::vector<CRect> GetProposalOverlay() const;

    /// Selects the reference image in that row of its list and shows it (as a click does); -1 clears.
    void SelectRefRow(int row);
    /// Selects the split scheme in that row (as a click does; -1 clears) and draws it.
    void SelectSplitRow(int row);
    /// Selects the camera in that row (-1 clears).
    void SelectCamRow(int row);
    /// The view's zoom (window pixels per image pixel), clamped to 1/8 … 4.
    void SetZoom(double zoom);
    double GetZoom() const { return m_dZoom; }

    CRefImage* GetSelRefImage() const { return m_pRef; }
    CCameraRefImage* GetSelCamera() const;
    CSplitAreaPara* GetSelSplit() const;
    /// The image window showing the composed image; null while nothing is shown.
    CImgWnd* GetImageWnd() const { return m_pImageWnd; }
    /// The rectangles drawn in blue over the image (crop first, then every small sheet row by row), in
    /// image pixels; empty without a drawn split scheme.
    std::vector<CRect> GetSplitOverlay() const;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillRefList();
    void FillCamList();
    void FillSplitList();
    /// Composes and shows the selected reference image again (after a camera changed).
    void ReloadImage();
    /// Drops the view and the image window (before the pixels they show go).
    void DropView();
    void ReleaseImage();
    /// The analysis ended: its proposal is shown, unless it belongs to another reference image.
    void OnAssistFinished();
    void Layout();
    void UpdateCaption(const QPoint& windowPos);
    void OnImagePress(const QPoint& windowPos, bool ctrl);
    void OnImageMove(const QPoint& windowPos);
    /// Moves the camera and recomposes what it covered and covers. During a mouse drag only what the view
    /// shows is recomposed (by the paint, ComposeShown); the rest waits for the release.
    void MoveCamera(CCameraRefImage& camera, int x, int y, bool dragging = false);
    /// Recomposes what is pending inside `imageRect` (before the view paints it).
    void ComposeShown(const CRect& imageRect);
    /// Recomposes everything pending (the drag is over, an analysis reads the image).
    void ComposePending();
    bool NeedRefImage();
    bool AskDelete();
    int SelectedRow(QTreeWidget* list) const;
    /// Makes the row current and its only selected one (none for a row outside the list).
    static void SelectListRow(QTreeWidget* list, int row);
    int SelectedID(QTreeWidget* list) const;

    CItemList& m_refImages;
    CImgDisplay* m_pDisplay;
    CRefImage* m_pRef = nullptr;       ///< the selected reference image
    int m_nSplitID = -1;               ///< the drawn split scheme, -1 none
    std::unique_ptr<CImgView> m_pView;
    CImgWnd* m_pImageWnd = nullptr;
    double m_dZoom = 1.0;
    // The drag: of a camera (its identifier and position at the start) or of the view (scroll positions).
    bool m_bDragging = false;
    bool m_bPanning = false;
    int m_nDragCamID = -1;
    QPoint m_ptDragStart;
    int m_nCamStartX = 0, m_nCamStartY = 0;
    int m_nScrollStartX = 0, m_nScrollStartY = 0;

    QTreeWidget* m_pRefList;
    QTreeWidget* m_pCamList;
    QTreeWidget* m_pSplitList;
    QWidget* m_pLeftPanel;
    QFrame* m_pFrame;
    QFrame* m_pImageArea;
    QScrollBar* m_pHScroll;
    QScrollBar* m_pVScroll;
    QListWidget* m_pKeyList;
    CRefImageAssist* m_pAssist;
    CProposalBar* m_pProposalBar;
    bool m_bProposalShown = false;
    CRect m_rcPending; ///< image pixels a camera drag changed that are not recomposed yet
    QString m_strTitle;
};
