#pragma once
/// The editor's main window (dialog 134, "模板管理"): a modeless dialog that holds the active template
/// (model) and the system-parameter object that supplied it, shows the model tree, the reference image of
/// the selected side one small sheet at a time, the small-sheet chooser and the toolbar, carries the
/// modified flag, saves the model and writes the last selection to the profile when it closes.
///
/// The class is split by concern: ZRKDlg.cpp (construction, start-up, controls, layout, exit),
/// ZRKDlg_Model.cpp (activation, opening, saving, host callbacks), ZRKDlg_Conflict.cpp (a save refused
/// because another station saved meanwhile), ZRKDlg_Edit.cpp (undo and redo, the offer of a draft),
/// ZRKDlg_Tree.cpp (tree, selection), ZRKDlg_Commands.cpp (the tree's context menu and its commands),
/// ZRKDlg_ToolBar.cpp (toolbar), ZRKDlg_View.cpp (display chain, channels, zoom, overlays),
/// ZRKDlg_Sheet.cpp (small sheets, chooser, note generation), ZRKDlg_Compose.cpp (composing the display
/// buffer where the view shows it), ZRKDlg_Mouse.cpp (the image window's mouse, wheel and keys, finishing
/// drawn items; the tools themselves are in DrawTools.cpp and SelectTools.cpp), ZRKDlg_Select.cpp
/// (selecting, dragging, nudging, deleting), ZRKDlg_ItemDialogs.cpp (what a double-click opens, locking),
/// ZRKDlg_Associate.cpp (kernel association and its lines), ZRKDlg_CopyData.cpp and ZRKDlg_AreaFile.cpp
/// (copy data, area files), ZRKDlg_MaskPaint.cpp (mask painting), ZRKDlg_RefImages.cpp (the
/// reference-image command).

#include "datastruct/TemplateStore.h"
#include "editor/ComposedArea.h"
#include "editor/EditJournal.h"
#include "editor/EditorDocument.h"
#include "editor/KernelLinks.h"
#include "editor/SelectTools.h"
#include "geometry/PolygonEx.h"
#include "host/DynamicLibrary.h"
#include "support/Geometry.h"
#include "view/ImgDisplay.h"

#include <QCursor>
#include <QDialog>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CCustomMaskArea;
class CDlgSelPos;
class CDlgTemplateCheck;
class CAreaProposalPanel;
class CDlgModelHistory;
class CRevisionView;
struct CEditorHistory;
class CKernelProposalPanel;
struct CCheckItem;
struct CEditorAssist;
class CGraphBase;
class CIDItem;
class CBackgroundWork;
class CImgBuffer;
class CImgView;
class CInspType;
class CKernel;
class CMaskArea;
class CItemList;
class CModelInfo;
class CModelTreeCtrl;
class CMyImageWnd;
class CNote;
class CParaAnalytic;
class CPhase;
class CRefImage;
class CSide;
class CSysPara;
class QAbstractButton;
class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QListWidget;
class QMenu;
class QPoint;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QToolBar;
class QToolButton;
class QTreeWidgetItem;

/// Host callbacks 1 to 3 (new, open, copy a model): the identifier of the model to open, below 1 when
/// cancelled. Callback 4: the loaded model's name; its result is ignored.
using PFN_HOST_MODEL = int (*)();
using PFN_MODEL_LOADED = int (*)(std::wstring name);

/// Control and command identifiers of the editor window (kept as the widgets' object names).
namespace zrkid {
inline constexpr int IDD_ZRKDLG = 134;
inline constexpr int IDC_VSCROLL = 1000;
inline constexpr int IDC_HSCROLL = 1001;
inline constexpr int IDC_IMAGE_FRAME = 1002;
inline constexpr int IDC_TREE = 1003;
inline constexpr int IDI_ICON = 1006;
inline constexpr int IDR_TOOLBAR = 1009;
inline constexpr int IDC_SHOW_PHASEMASK = 1011;
inline constexpr int IDC_SHOW_KERNEL = 1012;
inline constexpr int IDC_SHOW_THRESHMASK = 1013;
inline constexpr int IDC_MASK_FILL = 1014;
inline constexpr int IDC_SAVE_LOAD = 1015;
inline constexpr int IDC_EXIT = 1016;
inline constexpr int IDC_CHANNEL_B = 1017;
inline constexpr int IDC_CHANNEL_L = 1020;
inline constexpr int IDC_KEY_LIST = 1025;
inline constexpr int IDC_TOOL_FIRST = 1504;
inline constexpr int IDC_TOOL_LAST = 1511;
inline constexpr int IDC_GROUP_TOOLS = 35013;
inline constexpr int IDC_GROUP_SHOW = 35014;
inline constexpr int IDC_GROUP_CHANNEL = 35015;
inline constexpr int ID_NEW_MODEL = 32784;
inline constexpr int ID_OPEN_MODEL = 32785;
inline constexpr int ID_COPY_MODEL = 32786;
inline constexpr int ID_SAVE = 32787;
inline constexpr int ID_FIT_WIDTH = 32802;
inline constexpr int ID_FIT_HEIGHT = 32810;
inline constexpr int ID_ZOOM_ORIGINAL = 32801;
inline constexpr int ID_SHAPE_POLYGON = 32814;
inline constexpr int ID_SHAPE_RECT = 32812;
inline constexpr int ID_SHAPE_ELLIPSE = 32813;
inline constexpr int IDR_TREE_MENU = 138;
inline constexpr int ID_ADD_TYPE = 32772;
inline constexpr int ID_ADD_SIDE = 32773;
inline constexpr int ID_EDIT_TYPE = 32774;
inline constexpr int ID_DELETE_TYPE = 32775;
inline constexpr int ID_DELETE_SIDE = 32776;
inline constexpr int ID_EDIT_SIDE = 32777;
inline constexpr int ID_EDIT_PHASE = 32778;
inline constexpr int ID_DELETE_PHASE = 32779;
inline constexpr int ID_ADD_PHASE = 32780;
inline constexpr int ID_CUSTOM_HIGH = 32792;
inline constexpr int ID_CUSTOM_LOW = 32793;
inline constexpr int ID_IMPORT_AREA = 32794;
inline constexpr int ID_GENERATE_NOTES = 32798;
inline constexpr int ID_SIDE_TYPES = 32804;
inline constexpr int ID_PHASE_TYPES = 32803;
inline constexpr int ID_MASK_COEFF_TYPES = 32805;
inline constexpr int ID_CUSTOM_TYPES = 32806;
inline constexpr int ID_REF_IMAGES = 32807;
/// Undo and redo (the editor's own commands: Ctrl+Z; Ctrl+Y and Ctrl+Shift+Z; the tree's context menu).
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_EDIT_REDO = 57644;
inline constexpr int ID_MASK_PAINT = 32789;
inline constexpr int ID_EXPORT_AREA = 32791;
inline constexpr int ID_COPY_DATA = 32815;
/// The assisted set-up's commands of the tree's context menu: "模板检查" (the template) and "推荐定位核" (a phase).
inline constexpr int ID_TEMPLATE_CHECK = 32840;
inline constexpr int ID_PROPOSE_KERNELS = 32841;
inline constexpr int ID_PROPOSE_AREAS = 32842;
/// "模板历史" (the template's context menu): the saved versions of the open template.
inline constexpr int ID_MODEL_HISTORY = 32843;
} // namespace zrkid

class CZRKDlg : public QDialog, public IToolView, private IShapeRules, private IJournalListener {
    Q_OBJECT
public:
    static constexpr int kZoomSteps = 10;
    static const double kZoomTable[kZoomSteps];

    /// Creates the image display and initialises the state: every display switch on (the mask fill
    /// included), status text "您正在进行 选择 操作" translated, zoom step 3 (zoom 1.0), indices -1,
    /// callbacks null, no drawing. The window itself is made by `Create`.
    CZRKDlg();
    ~CZRKDlg() override;

    // ---- window lifetime ----
    /// Creates the modeless window from template 134 and runs the start-up (see ZRKDlg.cpp). True.
    bool Create();
    /// Whether the window exists (created and not destroyed).
    bool HasWindow() const { return m_bWindowCreated; }
    /// Destroys the window: hides it, drops the chooser and the display chain. The object stays.
    void DestroyWindow();

    // ---- operations other parts call ----
    /// Activation by identifier: a new "CSysPara" from the data library, begin, load, select the model,
    /// get it, reset and load it, rebuild the tree, end. False when the data library or its entry is
    /// missing (its message shown once in the process), or when the operator's unsaved edits could not be
    /// saved; true otherwise.
    bool ActivateByID(int modelID);
    /// Activation by host objects: refused (false, nothing changed) for a null model; otherwise the editor
    /// keeps both pointers (the host keeps ownership), rebuilds the tree and calls end.
    bool ActivateByHost(CSysPara* sysPara, CModelInfo* model);
    /// Opening by identifier (after host callbacks 1 to 3). False for an identifier below 1.
    bool OpenByID(int modelID);
    /// Selects the phase item whose type, side and phase texts equal the names exactly; false (selection
    /// kept) when a name is empty or matches nothing.
    bool SelectByNames(const std::wstring& type, const std::wstring& side, const std::wstring& phase);
    /// Saves the model (see ZRKDlg_Model.cpp). True when the model saved and the release call, when the
    /// release library is loaded, went through; the modified flag is then clear.
    bool Save();
    /// The exit path (cancel, exit button): asks to save a modified template (yes, no, cancel); cancel,
    /// or a save that fails, keeps the editor open. Otherwise drops the chooser, writes the last
    /// selection to the profile when a type, a side and a phase are selected, and hides the window.
    /// True when the editor closed.
    bool Exit();
    /// Clears the tree and fills it from the model (null: empty tree).
    void RebuildTree(CModelInfo* model);
    /// Runs host callback 1, 2 or 3 (command 32784, 32785, 32786).
    void RunHostModelCallback(int command);
    /// "保存 并 加载" (button 1015): save, callback 4 with the model's name, then the exit path.
    void OnSaveAndLoad();

    CInspType* GetCurType() const;
    CSide* GetCurSide() const override;
    CPhase* GetCurPhase() const override;
    CNote* GetCurNote() const;
    /// The reference image's origin of the current small sheet; (0, 0) without reference image.
    CPoint GetCurSheetOrigin() const;

    /// Restores the display buffers from the source image and draws the overlays.
    void RedrawOverlays();
    /// Builds (after releasing any previous one) and releases the display chain.
    bool BuildDisplayChain();
    void ReleaseDisplayChain();
    /// Reset of the editor at the start of every activation.
    void ResetEditor();
    /// The tree's selection changed (also run by the reference-image command).
    void OnSelChanged();
    /// Shows the selected side (and is run again when the channel mode changes).
    void ShowSide();
    /// Applies the small sheet (column, row): the chooser's pick; a double-click with a phase opens the
    /// note dialog.
    void ApplySmallSheet(int column, int row, bool doubleClick);
    /// "生成小张数据": notes for every small sheet of the caret phase (asks before replacing).
    void GenerateSmallSheetData();
    /// Lays the controls out for the current client size.
    void LayoutControls();
    // ---- undo and redo (ZRKDlg_Edit.cpp; the steps are opened and closed on the document) ----
    /// Undo (Ctrl+Z, "撤销" in the tree's context menu) and redo (Ctrl+Y, Ctrl+Shift+Z, "重做") of the last step: the
    /// template gets back its bytes of before (after) the step, the tree is rebuilt and the selection found
    /// again by identifiers. False, with nothing done and nothing said, when there is nothing to undo
    /// (redo) or a step is open.
    bool Undo();
    bool Redo();
    // ---- copy data and area files (ZRKDlg_CopyData.cpp, ZRKDlg_AreaFile.cpp) ----
    /// Toolbar "复制" (32815): the copy-data dialog on the selected phase, one journal step ("复制数据").
    void CopySheetData();
    /// Toolbar "导出" (32791): writes the selected inspection area into "InspAreaIni/<name>.ini".
    void ExportArea();
    /// "文件导入检测区" (32794) on a phase: reads an area file into a new area of the phase, one journal step.
    void ImportArea();

    /// A toolbar command or a command by identifier; false when the command is unknown or disabled.
    bool OnCommand(int command);
    /// The tree's context menu at a global point (right click; only with a model): marks the template
    /// modified, shows the submenu of menu 138 for the caret item's depth, translated through section
    /// "ZRKPopUp", and runs the chosen command.
    void OnTreeContextMenu(const QPoint& globalPos);
    /// Menu 138 with its four submenus, translated; for tests and the context menu.
    std::unique_ptr<QMenu> BuildTreeMenu();
    /// "删除检测类型", "删除检测面", "删除分层" and the Delete key on the tree: asks, then deletes the caret
    /// item's object from its owning list (the model itself is refused), rebuilds the tree on the parent
    /// and marks the template modified.
    void DeleteCaretItem();
    /// Rebuilds the tree and selects (and scrolls to) the item showing `data`, the root when it is gone.
    void RebuildTreeAt(const void* data);
    /// "增加检测类型", "增加检测面", "增加分层": a new object by class name, its dialog, and on OK the object
    /// joins its owning list (a type with the next identifier) and the tree shows it; a cancelled object is
    /// deleted. A new phase is announced with "分层已增加,请设置各分层的前景!".
    void AddInspType();
    void AddSide();
    void AddPhase();
    /// "编辑检测类型", "编辑检测面", "编辑分层": the caret item's own object in its dialog; OK rebuilds the tree.
    void EditCaretItem();
    /// The toolbar's catalogue editors ("检测面", "分层", "掩模" at place 9, "自定义") on the model's own
    /// list; afterwards the template is marked modified whatever the result, and the tree shows the new names.
    void EditCatalogue(int command);
    /// "参考图" (32807, only with a model): the reference-image manager on the template's reference images,
    /// as one step of the edit journal; afterwards the template is marked modified whatever the result, the
    /// tree is rebuilt and the selection change shows the side again (its image composed afresh).
    void EditRefImages();
    /// "修改高自定义参数", "修改低自定义参数": the custom type the caret phase's "检测力度结构_高" (or "_低")
    /// names, in the custom-type editor.
    void EditPhaseCustomType(bool high);
    /// Sets the zoom step (clamped to 0 ... 9) and the view's scale.
    void SetZoomStep(int step);
    /// Channel boxes 1017 to 1020 (mode 1 to 4): checked sets the mode, unchecked returns to 0.
    void OnChannelBox(int mode, bool checked);
    /// Display boxes 1011 to 1014.
    void OnDisplayBox(int control, bool checked);
    /// Tool radio buttons 1504 to 1511 (index 0 to 7); "选择" first deselects every shape.
    void OnToolButton(int index);
    /// The operation of the tool mode: 0 select, 1 pan, 2 zoom in, 3 zoom out, 9 shielded area,
    /// 8 inspection area, 6 kernel, 11 associate kernels.
    int GetOperation() const;
    /// Select all / select none ("全选", "全否"; only with a model): the items of the enabled groups on the
    /// current small sheet (inspection areas, shielded areas, custom masks, kernels with a phase selected,
    /// note items with a side or deeper selected); then the overlays are redrawn.
    void SelectAllShapes(bool select);
    /// "掩模" at place 13 (only with a model): the selected inspection area, shielded area or custom mask
    /// repainted in the mask drawing dialog (ZRKDlg_MaskPaint.cpp). Without a selected shape the operator
    /// is told "请选择一个掩模对象!"; another kind of shape does nothing. An OK that changed the outline is
    /// one step "掩模绘制" and marks the template modified.
    void PaintSelectedMask();

    /// The four host callbacks, in the order new, open, copy, loaded; the first three must not be null.
    void SetCallbacks(PFN_HOST_MODEL newModel, PFN_HOST_MODEL openModel, PFN_HOST_MODEL copyModel,
                      PFN_MODEL_LOADED modelLoaded);
    /// The widget of a control or command identifier (tree, boxes, buttons, toolbar buttons).
    QWidget* GetControl(int id) const;
    QToolButton* GetToolButton(int command) const;
    /// Enables or disables a toolbar command; whether it is enabled (false for an unknown one).
    void EnableCommand(int command, bool enable);
    bool IsCommandEnabled(int command) const;
    /// The text of the window title as last set.
    const std::wstring& GetTitle() const { return m_strTitle; }
    /// The document: the open template, its system parameters and modified flag, the reference image shown,
    /// the selection, an association in progress and the outline being drawn.
    CEditorDocument& GetDocument() { return m_doc; }
    const CEditorDocument& GetDocument() const { return m_doc; }


    // ---- the image view's mouse, keys and tools (ZRKDlg_Mouse.cpp, DrawTools.cpp) ----
    /// Mouse handlers of the image window; `at` is in the image window's coordinates.
    void OnImageLButtonDown(const QPoint& at, unsigned flags);
    void OnImageLButtonUp(const QPoint& at, unsigned flags);
    void OnImageLButtonDblClk(const QPoint& at, unsigned flags);
    void OnImageRButtonDown(const QPoint& at);
    void OnImageRButtonUp(const QPoint& at);
    /// Right double-click: the lock of the selected shape is toggled (operation aside).
    void OnImageRButtonDblClk(const QPoint& at);
    void OnImageMouseMove(const QPoint& at, bool leftHeld);
    /// One wheel event: `delta` in eighths of a degree (120 a notch). Scrolls rows; with Ctrl zooms one step
    /// per notch about the pointer.
    void OnImageWheel(const QPoint& at, int delta, bool control);
    /// Sets the zoom step and keeps the image point under the window point `at` where it is.
    void ZoomAbout(int step, const QPoint& at) override;
    /// Finishes the outline being drawn as an inspection area (operation 8) or a shielded area (9): its
    /// property dialog, the tag check, and on OK one step "增加检测区" or "增加屏蔽区". False when nothing
    /// was added.
    bool FinishOutline() override;
    /// A new kernel over `sheetRect` (small-sheet coordinates, already cut to its split area); one step
    /// "增加定位核" when added. False when nothing was added.
    bool AddKernel(const CRect& sheetRect) override;
    /// The edge check of a line-locating kernel; false (kernel not to be added) when it fails.
    bool CheckLineKernelEdges(CKernel& kernel);
    /// A tracked rectangle (small-sheet coordinates) cut to the split area of the reference image that
    /// contains its centre; stays in small-sheet coordinates.
    CRect CutToSplitArea(const CRect& sheetRect) const override;
    /// The shape of the cursor the current tool shows over the image.
    QCursor GetToolCursor();
    /// The tool of an operation.
    CViewTool* GetTool(int operation);

    // ---- selection, editing and kernel association (ZRKDlg_Select.cpp, ZRKDlg_Associate.cpp, SelectTools.cpp) ----
    /// Right double-click: locks or unlocks the selected shape (one step).
    void ToggleSelectedLock();
    /// A key for the shapes of the current small sheet (through the key list 1025): the arrows nudge the
    /// selected shapes by a pixel where they stay inside their sheet and split area (a run of nudges of the
    /// same shapes is one step), Delete asks before deleting the selected item. True when the key was one
    /// the shapes take.
    bool OnShapeKey(uint16_t keyCode);
    /// Whether a trial copy of the item fits small sheet (col, row) when moved by (dx, dy) (copy data).
    bool FitsSheet(const CGraphBase& item, int col, int row, int dx, int dy) const;
    /// The association lines of the current view (small-sheet coordinates).
    std::vector<CLinkLine> GetLinkLines();

    // ---- composing the display buffer (ZRKDlg_View.cpp) ----
    /// The image rectangle holding every image pixel the view shows now (empty without a view).
    CRect GetVisibleImageRect() const;
    /// Makes the display buffer hold the kept channel image with the overlays inside `imageRect`
    /// (cut to the image), drawing only shapes that reach it; on a sample grid, only the pixels on it.
    void ComposeRect(const CRect& imageRect, const CSampleGrid& grid = {});
    /// Composes what the pixels of `imageRect` on `grid` need unless they have been composed since the last
    /// redraw (see ComposedArea.h).
    void EnsureComposed(const CRect& imageRect, const CSampleGrid& grid = {});
    /// The overlays changed inside `dirty` (image pixels): what of it has been composed is composed again,
    /// and what the view shows of it is repainted.
    void RecomposeChanged(const CRect& dirty);
    /// The source pixels changed in place: the kept channel image is computed again at the next redraw.
    void InvalidateChannelImage() { m_nChannelImageMode = -1; }
    /// Recomposes only the rubber band's old and new bounding rectangles.
    void RedrawRubberBand();
    /// Moves the rubber band's free end without drawing it (the full redraw's baseline draws it).
    void SetRubberBandEnd(const CPoint& imagePoint) {
        m_nLastImageX = imagePoint.x;
        m_nLastImageY = imagePoint.y;
    }
    /// The full redraw as the overlays were first drawn: source copied into the channel and display buffers,
    /// channel transform, every overlay drawn over the whole buffer. Kept as the reference that the
    /// composed redraw must match, and as a benchmark baseline.
    void RedrawOverlaysFull();
    /// The full redraw of the current side into `target` (given the source's size and format), leaving the
    /// display buffer and what is kept for redraws as they are: what the view must show, for comparisons.
    /// False without a reference image.
    bool RenderFullRedraw(CImgBuffer& target);

    // ---- the assisted set-up on the view and the template check (ZRKDlg_Assist.cpp) ----
    /// "推荐定位核" (the phase's context menu): proposes locating kernels for the current small sheet of the
    /// selected phase, computed off the interface thread; the panel under the view lists them and the view
    /// draws them dashed with their numbers. False (the operator told why) when nothing can be proposed.
    bool ProposeKernels();
    /// Makes the proposals of these rows kernels of the current small sheet, as drawn ones are made: the
    /// locating-method and edge check of a "尺寸定位" type, the kernel dialog (once, its parameters taken by
    /// every kernel of the acceptance), the fit test; one journal step "接受推荐定位核". The number made.
    int AcceptKernelProposals(const std::vector<int>& rows);
    /// Drops the proposals (nothing changes).
    void RejectKernelProposals();
    /// Waits for an analysis or check still running and takes its result (tests; false after the time).
    bool WaitForAssist(int milliseconds);
    /// "模板检查" (the tree root's context menu): checks a copy of the template off the interface thread
    /// and lists the findings in the check window.
    void RunTemplateCheck();
    /// Shows the item a finding is about: its phase (or side) in the tree, its small sheet, the item selected.
    /// False when the item is no longer in the template or has no place on a sheet.
    bool ShowCheckItem(const CCheckItem& item);
    CKernelProposalPanel* GetKernelProposalPanel() const;
    CDlgTemplateCheck* GetTemplateCheckWindow() const;
    /// The proposed kernels' rectangles in whole-image coordinates (empty while none are shown).
    std::vector<CRect> GetKernelProposalRects() const;
    /// "推荐检测区" (a phase's or side's context menu): inspection areas per print pass and shielded areas over
    /// variable print, proposed for the current small sheet from all the side's small sheets, computed off the
    /// interface thread; the panel under the view lists the ink groups with the phase each goes to.
    bool ProposeAreas();
    /// Makes the checked groups' areas inspection areas of their phases on the current small sheet and, when
    /// checked, the shielded areas shielded areas of the side, as drawn ones are made (the area dialog once per
    /// phase and once for the shields, its parameters taken by the rest, free tags, the fit test); one journal
    /// step "接受推荐检测区". The number of items made.
    int AcceptAreaProposals();
    void RejectAreaProposals();
    /// "复制到所有小张" after an acceptance: copy data of the accepted phases' inspection areas (and the
    /// shielded areas) onto every small sheet, one journal step.
    bool CopyAcceptedAreasToEverySheet();
    CAreaProposalPanel* GetAreaProposalPanel() const;
    /// The proposed areas shown (small-sheet coordinates; shields last), empty while none are.
    std::vector<std::vector<CPoint>> GetAreaProposalOutlines() const;

    // ---- the template's history (ZRKDlg_History.cpp) ----
    /// "模板历史": the history window with the saved versions of the open template.
    void OpenHistory();
    /// Draws the revision's shapes of the small sheet shown over the view; the template is not touched.
    bool ShowRevisionOnView(int64_t number);
    /// Lists and draws what changed from the revision to the open template.
    bool CompareRevision(int64_t number);
    /// Takes the revision back as the working state: one journal step "恢复版本", after the operator's yes.
    bool RestoreRevision(int64_t number);
    /// Stops drawing a revision over the view.
    void HideRevision();
    CDlgModelHistory* GetHistoryWindow() const;
    /// The revision shown or compared (null while none is).
    const CRevisionView* GetRevisionView() const;

    // ---- the view as the tools see it (ZRKDlg_Mouse.cpp) ----
    bool IsGroupShown(Group group) const override;
    int GetZoomStep() const override { return m_nZoomStep; }
    int GetShapeKind() const override { return m_nShapeKind; }
    void MoveRubberBand(const CPoint& imagePoint) override;
    void ShowTracker(const CRect& rect) override;
    void HideTracker() override;
    void Redraw() override;

    // ---- the widgets and the view, for the host program, the benchmarks and the tests ----
    CModelTreeCtrl* GetTree() const { return m_pTree; }
    /// The small-sheet chooser (null while none is shown).
    CDlgSelPos* GetSheetChooser() const { return m_pSelPos; }
    CMyImageWnd* GetImageWnd() const { return m_pImageWnd; }
    CImgView* GetView() const { return m_pView.get(); }
    QScrollBar* GetScrollBar(bool vertical) const { return vertical ? m_pVScroll : m_pHScroll; }
    QToolBar* GetToolBar() const { return m_pToolBar; }
    /// The frame's rectangle the image window fills (client coordinates).
    const CRect& GetImageRect() const { return m_rcImage; }
    /// The small sheet shown (the source of the display chain) and the composed display buffer.
    CImgBuffer* GetSourceImage() const { return m_pSrcImage; }
    CImgBuffer* GetDisplayBuffer() const { return m_pDispBuffer.get(); }
    /// Shows `image` (owned by the caller) as the small sheet until the side is shown again or null is
    /// given: the display chain, the read-out, the channels and the overlays work on it (the benchmarks and
    /// pictures of formats no template holds). Build the display chain afterwards.
    void SetSourceImage(CImgBuffer* image);
    double GetZoom() const { return m_dZoom; }
    /// The channel shown: 0 all, 1 blue, 2 green, 3 red, 4 luminance (the channel boxes 1017 to 1020).
    int GetChannelMode() const { return m_nChannelMode; }
    /// Shows a channel of the small sheet shown, as the channel boxes do, without reading it again.
    void SetChannelMode(int mode);
    /// The status text ("您正在进行 ... 操作").
    const std::wstring& GetStatusText() const { return m_strStatus; }
    /// The parameter text new kernels take (from the parameter script).
    const std::wstring& GetDefaultKernelPara() const { return m_strDefKernelPara; }
    /// Whether a mask is drawn filled (box 1014).
    bool IsMaskFilled() const { return m_bMaskFill; }
    /// Whether the view follows the mouse (a pan in progress).
    bool IsPanning() const { return m_bPanning; }
    /// The host callback of command 32784, 32785 or 32786 (null for another command), and callback 4.
    PFN_HOST_MODEL GetHostCallback(int command) const {
        return command == zrkid::ID_NEW_MODEL    ? m_pfnNewModel
               : command == zrkid::ID_OPEN_MODEL ? m_pfnOpenModel
               : command == zrkid::ID_COPY_MODEL ? m_pfnCopyModel
                                                 : nullptr;
    }
    PFN_MODEL_LOADED GetModelLoadedCallback() const { return m_pfnModelLoaded; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- members, in declaration order ----
    CModelTreeCtrl* m_pTree = nullptr;
    QScrollBar* m_pVScroll = nullptr;
    QScrollBar* m_pHScroll = nullptr;
    QFrame* m_pImageFrame = nullptr;
    int m_nToolMode = 0;
    QIcon* m_pIcon = nullptr;
    QToolBar* m_pToolBar = nullptr;
    CRect m_rcImage;
    void* m_pImageAddress = nullptr;       ///< pixel (0, 0) of the source image
    CImgBuffer* m_pSrcImage = nullptr;     ///< the reference image's current small sheet
    std::unique_ptr<CImgBuffer> m_pDispBuffer;
    std::unique_ptr<CImgBuffer> m_pChannelBuffer;
    std::unique_ptr<CImgView> m_pView;
    CMyImageWnd* m_pImageWnd = nullptr;
    std::unique_ptr<CImgDisplay> m_pDisplay;
    int m_nChannelMode = 0;
    bool m_bShowSideOutline = true;
    bool m_bShowThreshMask = true;
    bool m_bShowKernel = true;
    bool m_bShowNote = true;
    bool m_bShowPhaseMask = true;
    bool m_bMaskFill = true;
    bool m_bPanning = false;
    int m_nPanStartX = 0, m_nPanStartY = 0, m_nPanScrollX = 0, m_nPanScrollY = 0;
    int m_nLastImageX = 0, m_nLastImageY = 0;
    int m_nZoomStep = 3;
    double m_dZoom = 1.0;
    QTreeWidgetItem* m_hLastItem = nullptr;  ///< the tree item selected last (compared, never followed)
    PFN_HOST_MODEL m_pfnNewModel = nullptr;
    PFN_HOST_MODEL m_pfnCopyModel = nullptr;
    PFN_HOST_MODEL m_pfnOpenModel = nullptr;
    PFN_MODEL_LOADED m_pfnModelLoaded = nullptr;
    std::wstring m_strTitle;
    std::wstring m_strStatus;
    int m_nShapeKind = 0;
    int m_nRButtonState = 0;
    CDlgSelPos* m_pSelPos = nullptr;
    std::wstring m_strDefKernelPara;
    CParaAnalytic* m_pParaAnalytic = nullptr;
    bool m_bSpaceDown = false;       ///< the space bar is held (panning)
    bool m_bSpacePressed = false;    ///< the space bar went down since the last move looked
    int m_nChannelImageMode = -1;    ///< the channel mode the kept channel image holds; -1 none
    /// For a transformed channel: which tiles of the kept channel image hold their pixels already (row-major,
    /// `kChannelTile` pixels square). The transform runs per tile the first time a redraw needs it.
    std::vector<bool> m_channelTiles;
    static constexpr int kChannelTile = 256;
    void EnsureChannelPixels(const CRect& area);
    /// Copies the source's pixels on the grid inside `area` into the display buffer, channel transformed.
    void CopyChannelOnGrid(const CRect& area, const CSampleGrid& grid);
    CComposedArea m_composed;        ///< what of the display buffer is composed since the last redraw
    CRect m_rcBand;                  ///< the rubber band's last bounding rectangle (empty: none drawn)
    bool m_bTracking = false;        ///< a rectangle is being tracked
    CPoint m_ptTrackStart;           ///< where the tracked rectangle started (image point)
    std::unique_ptr<CEditorAssist> m_pAssist;  ///< kernel proposals and the template check (ZRKDlg_Assist.cpp)
    std::unique_ptr<CEditorHistory> m_pHistory; ///< the history window and the revision on the view
    /// Reads revision `number` of the open template into the revision view; false, the operator told why.
    bool LoadRevisionView(int64_t number);
    /// Draws the revision shown or compared into `buffer` holding image rectangle `area`.
    void DrawRevision(CImgBuffer* buffer, const CRect& area);
    void MakeAssistParts();
    /// The composed image a proposal is made on, once the checks every proposal makes pass (a phase, its
    /// note on the current sheet, the image loaded, no analysis of `work` running); null, the operator told
    /// why, otherwise.
    const CImgBuffer* ComposedForProposal(const CBackgroundWork& work);
    /// The analysis's proposals arrived: shown in the panel and on the view.
    void TakeKernelProposals();
    void ShowKernelProposals();
    void TakeCheckReport();
    void TakeAreaProposals();
    /// Draws the proposed areas (dashed outlines) into `buffer` holding image rectangle `area`.
    void DrawAreaProposals(CImgBuffer* buffer, const CRect& area);
    /// Places the kernel proposals' panel over the bottom of the image frame.
    void LayoutAssistPanel();
    /// Draws the kernel proposals (dashed, numbered) into `buffer` holding image rectangle `area`.
    void DrawKernelProposals(CImgBuffer* buffer, const CRect& area);
    /// Makes one kernel over `rect` (whole-image coordinates) on the current small sheet of the phase, as
    /// a drawn one is made, without the step; `parameters` empty runs the kernel dialog and returns its text
    /// there. Null when it is abandoned.
    std::unique_ptr<CKernel> MakeKernel(const CRect& rect, int lineDirection, std::wstring& parameters, bool& cancelled);

    // ---- the rules of the select and associate tools (ZRKDlg_Select.cpp, ZRKDlg_Associate.cpp) ----
    /// The "选择" tool (operation 0). A press selects what lies under the point (note items, then kernels of
    /// the selected phase, then inspection areas, shielded areas and custom masks of the current note, each
    /// group only while shown); Shift or Ctrl keeps the other selections. A drag from the press to the
    /// release is one step "移动".
    void SelectPress(const CToolEvent& event) override;
    void SelectMove(const CToolEvent& event) override;
    void SelectRelease(const CToolEvent& event) override;
    /// Ends a drag in progress where it is (a right press, another tool), as one step.
    void CancelDrag() override;
    /// Opens the dialog of the kernel, inspection area or shielded area under the point (unlocked ones only).
    void SelectDoubleClick(const CToolEvent& event) override;
    /// The "关联定位核" tool (operation 11): links kernels to inspection areas ("缺陷检测") or kernel pairs
    /// with a tolerance ("尺寸定位"); one step "关联定位核" for each link stored.
    void AssociatePress(const CToolEvent& event) override;
    CEditorDocument m_doc;
    /// Draws every overlay into `buffer`, which holds the image rectangle `area` (its pixel (0, 0) is the
    /// image point (area.left, area.top)); shapes that do not reach `area` are skipped.
    void DrawOverlaysInto(CImgBuffer* buffer, const CRect& area);
    /// Computes the kept channel image for the current channel mode when it holds another.
    void UpdateChannelImage();
    /// The bounding rectangle of the rubber band now (with room for its pen); empty when none is drawn.
    CRect BandRect() const;
    void ShowReadout(const QPoint& at);
    std::map<int, std::shared_ptr<CViewTool>> m_tools;
    // ---- selection helpers (ZRKDlg_Select.cpp) ----
    /// Every shape of the enabled groups selected or deselected, without a redraw.
    void SetAllSelected(bool select);
    /// Presses the list's items of the current note at the point, last to first: the first one that is
    /// unlocked, selected afterwards and under the point; else, the first locked one under the point. Its
    /// position, or -1.
    int PressList(CItemList& list, unsigned flags, const CPoint& at);
    /// The kernels of the selected phase on the current small sheet, in list order (empty without a phase).
    std::vector<CKernel*> PhaseKernels() const;
    /// Names to the open step the shapes that a drag or a key may have changed: the selected ones of the
    /// current phase, side, note and kernels, and the shape pressed last.
    void TouchSelectedShapes();
    /// Deletes the kernel from the reference image, clearing the kernel pairs of a "尺寸定位" side that name
    /// it. False when it is no longer in the list.
    bool DeleteKernel(int kernelID);
    void AssociateWithArea(const CToolEvent& event);
    void AssociateKernels(const CToolEvent& event);
    /// Recomposes only `dirty` (image coordinates) and the association lines that differ from
    /// `linesBefore`: what a drag changed.
    void RedrawChanged(CRect dirty, const std::vector<CLinkLine>& linesBefore);
    void DrawLinkLines(CImgBuffer* buffer, const CRect& area);
    bool m_bDragStep = false;       ///< a step "移动" is open from a press of the select tool
    CAreaLinkReader m_linkReader;   ///< the kernel links of areas, by parameter text

protected:
    void reject() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void BuildToolBar();
    void InitDialog();
    void ApplyTexts();
    bool AskToSaveBeforeSwitching();
    bool ResolveDataLibrary();
    CIDItem* CreateByName(const std::wstring& className) const;
    void FillTree(CModelInfo* model);
    /// Selects and loads the model; false, with a message and no model, when its data cannot be read.
    bool LoadSelectedModel(int modelID);
    /// Tells the reference image to release its pixels, forgets it, drops the chooser and the chain.
    void DropReferenceImage();
    void RememberSide(QTreeWidgetItem* sideItem);
    void DestroyChooser();
    bool ShowChooser();
    /// The commands of the tree's context menu; false for another command.
    bool OnTreeCommand(int command);
    /// Ticks the display boxes as the switches stand.
    void SyncDisplayBoxes();
    void DrawMaskList(CImgBuffer* target, CItemList& list, uint32_t lineColor, uint32_t fillColor);
    /// Every overlay of the full redraw, drawn over the whole of `target`.
    void DrawOverlaysFull(CImgBuffer* target);
    void UpdateTitle();
    static void OnChooserPick(int column, int row, void* user, int doubleClick);

    // ---- the edit journal (ZRKDlg_Edit.cpp) ----
    /// Called at the end of every activation: a fresh journal, then the offer of the model's draft.
    void OfferDraft();
    /// The journal changed: the undo and redo commands follow.
    void OnJournalChanged() override;
    /// A save refused because another station saved, deleted or created the model since it was opened
    /// (ZRKDlg_Conflict.cpp): says who and when, then saves the edits as a copy, reloads the stored
    /// version, or goes on editing, as the operator chooses. True when the edits were saved as a copy.
    bool ResolveSaveConflict();
    bool SaveEditsAsCopy();
    void RestoreModelBytes(const std::string& bytes);
    /// Where the selection stands, by identifiers, before the template's objects are replaced.
    struct SelectionIDs {
        int depth = -1;
        int typeID = -1, sideID = -1, phaseID = -1;
    };
    /// Notes the selection, then forgets every pointer into the template and empties the tree.
    SelectionIDs ForgetBeforeRestore();
    /// Rebuilds the tree on the restored template, selects again by identifiers and redraws.
    void ShowRestored(const SelectionIDs& where);
    /// Undo (false) or redo (true) of one step: the template takes the journal's bytes.
    bool StepJournal(bool redo);
    void BuildUndoActions();
    void UpdateUndoActions();
    /// Appends "撤销 <step>" and "重做 <step>" to a context menu when there is something to undo or redo.
    void AppendUndoEntries(QMenu& menu) const;
    bool m_bHostToldOfSave = false; ///< the save in progress already told the host which model is loaded
    QAction* m_pUndoAction = nullptr;
    QAction* m_pRedoAction = nullptr;
    bool m_bWindowCreated = false;
    bool m_bInitialised = false;
    CDynamicLibrary m_hDataStruct;  ///< resolved again at each activation, as the start-up did
    CIDItem* (*m_pfnCreate)(std::wstring, std::wstring) = nullptr;
    QListWidget* m_pKeyList = nullptr;
    QGroupBox* m_pGroupTools = nullptr;
    QGroupBox* m_pGroupShow = nullptr;
    QGroupBox* m_pGroupChannel = nullptr;
    QRadioButton* m_pToolButtons[8] = {};
    QCheckBox* m_pDisplayBoxes[4] = {};
    QCheckBox* m_pChannelBoxes[4] = {};
    QPushButton* m_pSaveLoadButton = nullptr;
    QPushButton* m_pExitButton = nullptr;
};
