#include "dialogs/DlgRefImageEdit.h"

#include "datastruct/CameraRefImage.h"
#include "datastruct/RefImage.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/ProposalBar.h"
#include "dialogs/RefImageAssist.h"
#include "view/ImgView.h"
#include "view/ImgWnd.h"
#include "view/WaitCursor.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"
#include "host/GlobalPara.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

constexpr double kZoomMin = 0.125, kZoomMax = 4.0;

// The image window of this dialog: the composed image, then the split overlay in blue on top.
class CRefImageWnd : public CImgWnd {
public:
    CRefImageWnd(CImgView* view, QWidget* frame, QScrollBar* horz, QScrollBar* vert, const CDlgRefImageEdit* owner)
        : CImgWnd(view, frame, horz, vert), m_pOwner(owner) {}

protected:
    void paintEvent(QPaintEvent* event) override {
        CImgWnd::paintEvent(event);
        if (!GetView())
            return;
        QPainter painter(this);
        painter.setClipRect(event->rect());
        painter.setBrush(Qt::NoBrush);
        DrawRects(painter, event->rect(), m_pOwner->GetSplitOverlay(), QPen(QColor(0, 0, 255), 1));
        // The proposal of the assisted set-up, dashed in a colour of its own.
        DrawRects(painter, event->rect(), m_pOwner->GetProposalOverlay(),
                  QPen(QColor(255, 0, 255), 1, Qt::DashLine));
    }

private:
    void DrawRects(QPainter& painter, const QRect& exposed, const std::vector<CRect>& rects, const QPen& pen) {
        painter.setPen(pen);
        for (const CRect& rect : rects) {
            if (rect.Width() < 1 || rect.Height() < 1)
                continue;
            QRect shown = GetView()->ImageToWindow(QRect(rect.left, rect.top, rect.Width(), rect.Height()));
            if (shown.intersects(exposed.adjusted(-1, -1, 1, 1)))
                painter.drawRect(shown.adjusted(0, 0, -1, -1));  // the outline on the rectangle's own pixels
        }
    }

private:
    const CDlgRefImageEdit* m_pOwner;
};

QTreeWidget* MakeList(QWidget* parent, const char* name, std::initializer_list<std::pair<const wchar_t*, int>> columns) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setColumnCount(static_cast<int>(columns.size()));
    QStringList titles;
    for (const auto& column : columns)
        titles << Tr(column.first);
    list->setHeaderLabels(titles);
    int i = 0;
    for (const auto& column : columns)
        list->setColumnWidth(i++, column.second);
    return list;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const wchar_t* text) {
    auto* button = new QPushButton(Tr(text), parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

// A group box with three buttons above a list, and the button of the assisted set-up, if any, under them.
QGroupBox* MakeGroup(QWidget* parent, const wchar_t* title, QPushButton* add, QPushButton* edit,
                     QPushButton* remove, QTreeWidget* list, QPushButton* assist = nullptr) {
    auto* group = new QGroupBox(Tr(title), parent);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(edit);
    buttons->addWidget(remove);
    auto* layout = new QVBoxLayout(group);
    layout->addLayout(buttons);
    if (assist)
        layout->addWidget(assist);
    layout->addWidget(list);
    return group;
}

void AddRow(QTreeWidget* list, int id, const std::wstring& second) {
    auto* item = new QTreeWidgetItem(list);
    item->setText(0, QString::number(id));
    item->setText(1, QString::fromStdWString(second));
    item->setData(0, Qt::UserRole, id);
}

} // namespace

CDlgRefImageEdit::CDlgRefImageEdit(CItemList& refImages, CImgDisplay* display, QWidget* parent)
    : QDialog(parent), m_refImages(refImages), m_pDisplay(display) {
    setObjectName(QStringLiteral("DlgRefImageEdit"));
    m_strTitle = Tr(L"参考图编辑");
    setWindowTitle(m_strTitle);

    m_pLeftPanel = new QWidget(this);
    m_pRefList = MakeList(m_pLeftPanel, "refList", {{L"编号", 80}, {L"备注", 160}});
    m_pCamList = MakeList(m_pLeftPanel, "camList", {{L"编号", 80}, {L"", 80}});
    m_pSplitList = MakeList(m_pLeftPanel, "splitList", {{L"编号", 80}, {L"备注", 160}});
    QPushButton* buttons[9] = {
        MakeButton(m_pLeftPanel, "refAdd", L"添加(&A)"),   MakeButton(m_pLeftPanel, "refEdit", L"编辑(&E)"),
        MakeButton(m_pLeftPanel, "refDelete", L"删除(&D)"), MakeButton(m_pLeftPanel, "camAdd", L"添加"),
        MakeButton(m_pLeftPanel, "camEdit", L"编辑"),       MakeButton(m_pLeftPanel, "camDelete", L"删除"),
        MakeButton(m_pLeftPanel, "splitAdd", L"添加"),      MakeButton(m_pLeftPanel, "splitEdit", L"编辑"),
        MakeButton(m_pLeftPanel, "splitDelete", L"删除"),
    };
    void (CDlgRefImageEdit::*const actions[9])() = {
        &CDlgRefImageEdit::OnRefAdd,   &CDlgRefImageEdit::OnRefEdit,   &CDlgRefImageEdit::OnRefDelete,
        &CDlgRefImageEdit::OnCamAdd,   &CDlgRefImageEdit::OnCamEdit,   &CDlgRefImageEdit::OnCamDelete,
        &CDlgRefImageEdit::OnSplitAdd, &CDlgRefImageEdit::OnSplitEdit, &CDlgRefImageEdit::OnSplitDelete,
    };
    for (int i = 0; i < 9; ++i)
        connect(buttons[i], &QPushButton::clicked, this, actions[i]);
    QPushButton* camAuto = MakeButton(m_pLeftPanel, "camAuto", L"自动拼接");
    QPushButton* splitAuto = MakeButton(m_pLeftPanel, "splitAuto", L"自动分区");
    connect(camAuto, &QPushButton::clicked, this, &CDlgRefImageEdit::OnCamAuto);
    connect(splitAuto, &QPushButton::clicked, this, &CDlgRefImageEdit::OnSplitAuto);
    auto* ok = MakeButton(m_pLeftPanel, "1", L"确定(&O)");
    connect(ok, &QPushButton::clicked, this, &CDlgRefImageEdit::accept);

    auto* left = new QVBoxLayout(m_pLeftPanel);
    left->setContentsMargins(5, 5, 5, 5);
    left->addWidget(MakeGroup(m_pLeftPanel, L"大张参考图管理", buttons[0], buttons[1], buttons[2], m_pRefList), 2);
    left->addWidget(MakeGroup(m_pLeftPanel, L"单相机管理", buttons[3], buttons[4], buttons[5], m_pCamList, camAuto), 2);
    left->addWidget(MakeGroup(m_pLeftPanel, L"分区方案管理", buttons[6], buttons[7], buttons[8], m_pSplitList, splitAuto), 2);
    left->addWidget(ok);

    m_pFrame = new QFrame(this);
    m_pFrame->setObjectName(QStringLiteral("frame"));
    m_pFrame->setFrameShape(QFrame::Box);
    m_pImageArea = new QFrame(this);
    m_pImageArea->setObjectName(QStringLiteral("imageFrame"));
    m_pImageArea->setStyleSheet(QStringLiteral("background: rgb(64, 64, 64)"));
    m_pHScroll = new QScrollBar(Qt::Horizontal, this);
    m_pHScroll->setObjectName(QStringLiteral("hscroll"));
    m_pVScroll = new QScrollBar(Qt::Vertical, this);
    m_pVScroll->setObjectName(QStringLiteral("vscroll"));
    for (QScrollBar* bar : {m_pHScroll, m_pVScroll})
        bar->setRange(0, 0);
    m_pKeyList = new QListWidget(this);
    m_pKeyList->setObjectName(QStringLiteral("keyList"));
    m_pKeyList->setGeometry(-1000, -1000, 20, 20);
    m_pKeyList->installEventFilter(this);
    m_pAssist = new CRefImageAssist(this);
    connect(m_pAssist, &CRefImageAssist::finished, this, &CDlgRefImageEdit::OnAssistFinished);
    m_pProposalBar = new CProposalBar(this);
    connect(m_pProposalBar, &CProposalBar::accepted, this, &CDlgRefImageEdit::AcceptProposal);
    connect(m_pProposalBar, &CProposalBar::rejected, this, &CDlgRefImageEdit::RejectProposal);

    connect(m_pRefList, &QTreeWidget::itemSelectionChanged, this, [this] { SelectRefRow(SelectedRow(m_pRefList)); });
    connect(m_pSplitList, &QTreeWidget::itemSelectionChanged, this,
            [this] { SelectSplitRow(SelectedRow(m_pSplitList)); });
    connect(m_pRefList, &QTreeWidget::itemDoubleClicked, this, [this] { OnRefEdit(); });
    connect(m_pCamList, &QTreeWidget::itemDoubleClicked, this, [this] { OnCamEdit(); });
    connect(m_pSplitList, &QTreeWidget::itemDoubleClicked, this, [this] { OnSplitEdit(); });
    resize(1200, 800);
}

CDlgRefImageEdit::~CDlgRefImageEdit() {
    m_pAssist->Wait(60000);  // an analysis still running ends before the pixels and lists go
    ReleaseImage();
}

int CDlgRefImageEdit::DoModal() {
    return RunModal(*this);
}

// ---- lists ----------------------------------------------------------------------------------------------

int CDlgRefImageEdit::SelectedRow(QTreeWidget* list) const {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.front());
}

int CDlgRefImageEdit::SelectedID(QTreeWidget* list) const {
    const int row = SelectedRow(list);
    return row < 0 ? -1 : list->topLevelItem(row)->data(0, Qt::UserRole).toInt();
}

void CDlgRefImageEdit::FillRefList() {
    QSignalBlocker quiet(m_pRefList);
    m_pRefList->clear();
    int selectedRow = -1;
    for (int i = 0; i < m_refImages.GetSize(); ++i) {
        if (auto* ref = m_refImages.GetAtAs<CRefImage>(i)) {
            AddRow(m_pRefList, ref->m_nID, ref->m_strRemark);
            if (ref == m_pRef)
                selectedRow = m_pRefList->topLevelItemCount() - 1;
        }
    }
    SelectListRow(m_pRefList, selectedRow);
}

void CDlgRefImageEdit::FillCamList() {
    const int keep = SelectedID(m_pCamList);
    m_pCamList->clear();
    if (!m_pRef)
        return;
    for (int i = 0; i < m_pRef->m_cameras.GetSize(); ++i) {
        if (auto* camera = m_pRef->m_cameras.GetAtAs<CCameraRefImage>(i)) {
            AddRow(m_pCamList, camera->m_nID, L"");
            if (camera->m_nID == keep)
                SelectListRow(m_pCamList, m_pCamList->topLevelItemCount() - 1);
        }
    }
}

void CDlgRefImageEdit::FillSplitList() {
    QSignalBlocker quiet(m_pSplitList);
    m_pSplitList->clear();
    if (!m_pRef)
        return;
    for (int i = 0; i < m_pRef->m_splits.GetSize(); ++i) {
        if (auto* split = m_pRef->m_splits.GetAtAs<CSplitAreaPara>(i)) {
            AddRow(m_pSplitList, split->m_nID, split->m_strRemark);
            if (split->m_nID == m_nSplitID)
                SelectListRow(m_pSplitList, m_pSplitList->topLevelItemCount() - 1);
        }
    }
}

CCameraRefImage* CDlgRefImageEdit::GetSelCamera() const {
    return m_pRef ? m_pRef->m_cameras.FindByIDAs<CCameraRefImage>(SelectedID(m_pCamList)) : nullptr;
}

CSplitAreaPara* CDlgRefImageEdit::GetSelSplit() const {
    return m_pRef ? m_pRef->m_splits.FindByIDAs<CSplitAreaPara>(SelectedID(m_pSplitList)) : nullptr;
}

void CDlgRefImageEdit::SelectCamRow(int row) {
    SelectListRow(m_pCamList, row);
}

void CDlgRefImageEdit::SelectListRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = row >= 0 && row < list->topLevelItemCount() ? list->topLevelItem(row) : nullptr;
    list->clearSelection();
    if (item) {
        list->setCurrentItem(item);
        item->setSelected(true);
    }
}

// ---- the shown image -----------------------------------------------------------------------------------

void CDlgRefImageEdit::DropView() {
    m_rcPending = CRect(); // the pixels go, or are composed again whole
    delete m_pImageWnd;
    m_pImageWnd = nullptr;
    m_pView.reset();
    m_bDragging = m_bPanning = false;
    for (QScrollBar* bar : {m_pHScroll, m_pVScroll})
        bar->setRange(0, 0);  // nothing to scroll without an image
}

void CDlgRefImageEdit::ReleaseImage() {
    DropView();
    if (m_pRef) {
        m_pRef->Release();
        m_pRef->SetKeepCameraPixels(false); // only dragging here needs them
    }
}

void CDlgRefImageEdit::SelectRefRow(int row) {
    {
        QSignalBlocker quiet(m_pRefList);
        if (row != SelectedRow(m_pRefList))
            SelectListRow(m_pRefList, row);
    }
    m_pCamList->clear();
    {
        QSignalBlocker quiet(m_pSplitList);
        m_pSplitList->clear();
    }
    ReleaseImage();
    m_pRef = nullptr;
    m_nSplitID = -1;
    RejectProposal();  // a proposal belongs to the reference image it was made for
    if (row < 0) {
        update();
        return;
    }
    m_pRef = m_refImages.FindByIDAs<CRefImage>(m_pRefList->topLevelItem(row)->data(0, Qt::UserRole).toInt());
    ReloadImage();
}

void CDlgRefImageEdit::ReloadImage() {
    CWaitCursor wait;
    DropView();  // the view wraps the pixels that loading replaces
    if (!m_pRef)
        return;
    if (m_nSplitID >= 0)
        m_pRef->ApplySplit(m_nSplitID);
    m_pRef->SetKeepCameraPixels(true); // a drag recomposes from them, reading no file
    if (!m_pRef->Load()) {
        ZrkMessageBox(Translate(L"没有发现图像文件或没有足够的内存!", 0), L"", MB_OK | MB_ICONWARNING);
    } else {
        // Loading has pasted the cameras already: no redraw of the composition is needed before showing it.
        m_pView = std::make_unique<CImgView>(m_pDisplay, m_pRef->GetComposedImage(), m_pImageArea);
        if (!m_pView->Create()) {
            m_pView.reset();
            done(-1);
            return;
        }
        m_pView->SetScale(m_dZoom, m_dZoom);
        m_pImageWnd = new CRefImageWnd(m_pView.get(), m_pImageArea, m_pHScroll, m_pVScroll, this);
        m_pImageWnd->SetComposeHook([this](const CRect& shown, const CSampleGrid&) { ComposeShown(shown); });
        m_pImageWnd->installEventFilter(this);
        m_pImageWnd->show();
    }
    // The lists are filled even when nothing could be composed: a camera with a broken file must stay
    // reachable to be mended.
    FillCamList();
    FillSplitList();
    Layout();
}

void CDlgRefImageEdit::SelectSplitRow(int row) {
    {
        QSignalBlocker quiet(m_pSplitList);
        if (row != SelectedRow(m_pSplitList))
            SelectListRow(m_pSplitList, row);
    }
    const int id = row < 0 ? -1 : m_pSplitList->topLevelItem(row)->data(0, Qt::UserRole).toInt();
    if (id == m_nSplitID || !m_pRef)
        return;
    m_nSplitID = id;
    if (id >= 0)
        m_pRef->ApplySplit(id);
    if (m_pImageWnd)
        m_pImageWnd->update();
}

std::vector<CRect> CDlgRefImageEdit::GetSplitOverlay() const {
    std::vector<CRect> rects;
    if (!m_pRef || m_nSplitID < 0 || !m_pRef->m_splits.FindByID(m_nSplitID))
        return rects;
    rects.push_back(m_pRef->GetCropRect());
    for (int row = 0; row < m_pRef->m_nRows; ++row)
        for (int col = 0; col < m_pRef->m_nCols; ++col)
            rects.push_back(m_pRef->GetSheetRect(col, row));
    return rects;
}

void CDlgRefImageEdit::SetZoom(double zoom) {
    m_dZoom = std::clamp(zoom, kZoomMin, kZoomMax);
    if (m_pImageWnd)
        m_pImageWnd->SetScale(m_dZoom);
    else if (m_pView)
        m_pView->SetScale(m_dZoom, m_dZoom);
}

// ---- layout ---------------------------------------------------------------------------------------------

void CDlgRefImageEdit::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_pRefList->topLevelItemCount() == 0 && m_refImages.GetSize() > 0)
        FillRefList();
    Layout();
    QTimer::singleShot(100, this, [this] { Layout(); });
}

void CDlgRefImageEdit::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Layout();
}

void CDlgRefImageEdit::Layout() {
    const int width = this->width(), height = this->height();
    m_pLeftPanel->setGeometry(0, 0, 255, height);
    // The proposal bar, when shown, takes the bottom of the image area.
    const int bar = m_pProposalBar->isVisible() ? std::min(m_pProposalBar->sizeHint().height(), height / 3) : 0;
    m_pImageArea->setGeometry(260, 5, std::max(0, width - 280), std::max(0, height - 25 - bar));
    if (bar > 0)
        m_pProposalBar->setGeometry(260, height - 20 - bar, std::max(0, width - 280), bar);
    m_pFrame->setGeometry(258, 3, std::max(0, width - 260), std::max(0, height - 5));
    m_pFrame->lower();
    m_pHScroll->setGeometry(260, height - 20, std::max(0, width - 280), 15);
    m_pVScroll->setGeometry(width - 20, 5, 15, std::max(0, height - 25));
    m_pKeyList->move(-1000, -1000);
    if (m_pImageWnd)
        m_pImageWnd->OnSize();
}

// ---- the mouse and the keys on the image -----------------------------------------------------------------

bool CDlgRefImageEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pKeyList && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        int dx = 0, dy = 0;
        switch (key->key()) {
        case Qt::Key_Left: dx = -1; break;
        case Qt::Key_Right: dx = 1; break;
        case Qt::Key_Up: dy = -1; break;
        case Qt::Key_Down: dy = 1; break;
        default: return false;
        }
        if (CCameraRefImage* camera = GetSelCamera(); camera && m_pImageWnd)
            MoveCamera(*camera, camera->m_nX + dx, camera->m_nY + dy);
        return true;
    }
    if (watched != m_pImageWnd || !m_pImageWnd)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        OnImagePress(mouse->position().toPoint(), mouse->modifiers() & Qt::ControlModifier);
        return true;
    }
    case QEvent::MouseMove:
        OnImageMove(static_cast<QMouseEvent*>(event)->position().toPoint());
        return true;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        m_bDragging = m_bPanning = false;
        ComposePending();
        m_pImageWnd->unsetCursor();
        return true;
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (!(wheel->modifiers() & Qt::ControlModifier) || wheel->angleDelta().y() == 0)
            return false;
        SetZoom(wheel->angleDelta().y() > 0 ? m_dZoom * 2 : m_dZoom / 2);
        return true;
    }
    default: return false;
    }
}

void CDlgRefImageEdit::OnImagePress(const QPoint& windowPos, bool ctrl) {
    m_pKeyList->setFocus();
    m_pImageWnd->setCursor(Qt::SizeAllCursor);
    m_ptDragStart = windowPos;
    m_bDragging = m_bPanning = false;
    if (ctrl) {
        m_bPanning = true;
        m_nScrollStartX = m_pHScroll->value();
        m_nScrollStartY = m_pVScroll->value();
        return;
    }
    const CPoint point = m_pImageWnd->TranslateMousePos(windowPos);
    CCameraRefImage* hit = nullptr;
    for (int i = m_pRef ? m_pRef->m_cameras.GetSize() - 1 : -1; i >= 0 && !hit; --i) {
        auto* camera = m_pRef->m_cameras.GetAtAs<CCameraRefImage>(i);
        if (camera && camera->GetRect().PtInRect(point))
            hit = camera;
    }
    if (!hit) {
        SelectListRow(m_pCamList, -1);
        return;
    }
    for (int row = 0; row < m_pCamList->topLevelItemCount(); ++row)
        if (m_pCamList->topLevelItem(row)->data(0, Qt::UserRole).toInt() == hit->m_nID)
            SelectListRow(m_pCamList, row);
    m_bDragging = true;
    m_nDragCamID = hit->m_nID;
    m_nCamStartX = hit->m_nX;
    m_nCamStartY = hit->m_nY;
}

void CDlgRefImageEdit::OnImageMove(const QPoint& windowPos) {
    UpdateCaption(windowPos);
    const double dx = (windowPos.x() - m_ptDragStart.x()) / m_dZoom;
    const double dy = (windowPos.y() - m_ptDragStart.y()) / m_dZoom;
    if (m_bDragging && m_pRef) {
        if (auto* camera = m_pRef->m_cameras.FindByIDAs<CCameraRefImage>(m_nDragCamID))
            MoveCamera(*camera, m_nCamStartX + static_cast<int>(std::lround(dx)),
                       m_nCamStartY + static_cast<int>(std::lround(dy)), true);
    } else if (m_bPanning) {
        const int x = m_nScrollStartX - static_cast<int>(std::lround(dx));
        const int y = m_nScrollStartY - static_cast<int>(std::lround(dy));
        if (x >= 0)
            m_pHScroll->setValue(x);
        if (y >= 0)
            m_pVScroll->setValue(y);
    }
}

void CDlgRefImageEdit::MoveCamera(CCameraRefImage& camera, int x, int y, bool dragging) {
    if (camera.m_nX == x && camera.m_nY == y)
        return;
    const CRect before = camera.GetRect();
    camera.m_nX = x;
    camera.m_nY = y;
    const CRect after = camera.GetRect();
    const CRect changed(std::min(before.left, after.left), std::min(before.top, after.top),
                        std::max(before.right, after.right), std::max(before.bottom, after.bottom));
    // A camera covers far more than the view shows: while the mouse drags it, the paint recomposes what it
    // shows of the change (ComposeShown), and the rest waits for the release.
    m_rcPending.UnionRect(m_rcPending, changed);
    if (!dragging || !m_pImageWnd)
        ComposePending();
    if (m_pImageWnd && m_pView)
        m_pImageWnd->update(m_pView->ImageToWindow(QRect(changed.left, changed.top, changed.Width(), changed.Height()))
                                .adjusted(-1, -1, 1, 1));
}

void CDlgRefImageEdit::ComposeShown(const CRect& imageRect) {
    CRect shown;
    if (m_pRef && shown.IntersectRect(imageRect, m_rcPending))
        m_pRef->RedrawArea(shown);
}

void CDlgRefImageEdit::ComposePending() {
    if (m_pRef && !m_rcPending.IsRectEmpty())
        m_pRef->RedrawArea(m_rcPending);
    m_rcPending = CRect();
}

void CDlgRefImageEdit::UpdateCaption(const QPoint& windowPos) {
    const CImgBuffer* image = m_pRef ? m_pRef->GetComposedImage() : nullptr;
    if (!image || !image->IsCreated() || !m_pImageWnd)
        return;
    const CPoint point = m_pImageWnd->TranslateMousePos(windowPos);
    if (point.x < 0 || point.y < 0 || point.x >= image->GetWidth() || point.y >= image->GetHeight()) {
        setWindowTitle(m_strTitle);
        return;
    }
    ComposeShown(CRect(point.x, point.y, point.x + 1, point.y + 1)); // the pixel read out is the composed one
    const uint8_t* pixel = image->GetMat().ptr<uint8_t>(point.y) + point.x * image->GetBytesPerPixel();
    const bool grey = image->GetBytesPerPixel() < 3;
    const int low = pixel[0], middle = grey ? pixel[0] : pixel[1], high = grey ? pixel[0] : pixel[2];
    setWindowTitle(m_strTitle + QString::fromStdWString(Format(L" (X:Y %d:%d RGB %d:%d:%d)", point.x, point.y,
                                                                 low, middle, high)));
}
