#include "maskpaint/MaskDraw.h"

#include "dialogs/InputBox.h"
#include "dialogs/ModalRunner.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "formats/Utility.h"
#include "geometry/GraphBase.h"
#include "geometry/PolygonEx.h"
#include "host/GlobalPara.h"
#include "maskpaint/MaskClass.h"
#include "maskpaint/MaskView.h"
#include "support/Prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <filesystem>

namespace {

QString Q(const std::wstring& text) {
    return QString::fromStdWString(text);
}
QString T(const wchar_t* key) {
    return Q(Translate(key));
}

unsigned Flags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    unsigned flags = 0;
    if (buttons & Qt::LeftButton)
        flags |= MK_LBUTTON;
    if (modifiers & Qt::ShiftModifier)
        flags |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        flags |= MK_CONTROL;
    return flags;
}

QRect ToQRect(const CRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// The zoom steps of Ctrl+wheel.
constexpr int kZoomSteps[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 15, 20, 25, 30};

// The colour value typed into the input box: a decimal integer (leading blanks, optional sign, digits),
// truncated to 8 bits; false when the text holds no number.
bool ParseColourValue(const std::wstring& text, uint8_t& value) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    if (i >= text.size() || text[i] < L'0' || text[i] > L'9')
        return false;
    uint32_t number = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i)
        number = number * 10 + static_cast<uint32_t>(text[i] - L'0'); // wraps: only the low byte counts
    value = static_cast<uint8_t>(negative ? 0u - number : number);
    return true;
}

} // namespace

CMaskDraw::CMaskDraw(const CImgBuffer* source, CGraphBase* item, CMaskClass* maskClass, bool showMaskOnly,
                     bool simplifyOutline, QWidget* parent)
    : QDialog(parent), m_pSource(source), m_pItem(item), m_pMaskClass(maskClass),
      m_bShowMaskOnly(showMaskOnly), m_bSimplify(simplifyOutline) {
    setObjectName(QString::number(maskid::IDD_MASKDRAW));
    setMouseTracking(true);
    BuildControls();
    resize(1380, 925);
}

CMaskDraw::~CMaskDraw() = default;

void CMaskDraw::BuildControls() {
    m_pFrame = new QFrame(this);
    m_pFrame->setObjectName(QString::number(maskid::IDC_FRAME));
    m_pFrame->setFrameShape(QFrame::Box);
    m_pView = new CMaskView(this);
    m_pView->setObjectName(QStringLiteral("view"));
    m_pView->SetDisplay(&m_display);
    m_pView->installEventFilter(this);
    m_pHScroll = new QScrollBar(Qt::Horizontal, this);
    m_pHScroll->setObjectName(QString::number(maskid::IDC_HSCROLL));
    m_pVScroll = new QScrollBar(Qt::Vertical, this);
    m_pVScroll->setObjectName(QString::number(maskid::IDC_VSCROLL));
    connect(m_pHScroll, &QScrollBar::valueChanged, this, [this](int v) { SetScroll(v, m_nScrollY); });
    connect(m_pVScroll, &QScrollBar::valueChanged, this, [this](int v) { SetScroll(m_nScrollX, v); });

    m_pZoomLabel = new QLabel(this);
    m_pZoomList = new QComboBox(this);
    m_pZoomList->setObjectName(QString::number(maskid::IDC_ZOOM));
    m_pZoomList->setEditable(true);
    m_pZoomList->setInsertPolicy(QComboBox::NoInsert);
    for (int i = 1; i <= 10; ++i)
        m_pZoomList->addItem(QString::number(i));
    m_pZoomList->setCurrentIndex(1);
    connect(m_pZoomList, &QComboBox::activated, this, [this] { ApplyZoomList(); });
    connect(m_pZoomList->lineEdit(), &QLineEdit::returnPressed, this, [this] { ApplyZoomList(); });

    m_pRadiusGroup = new QGroupBox(this);
    m_pBrushSize = new QSpinBox(m_pRadiusGroup);
    m_pBrushSize->setObjectName(QString::number(maskid::IDC_BRUSH_SIZE));
    m_pBrushSize->setRange(1, 500); // anything else is refused as it is typed
    m_pBrushSize->setValue(m_nBrushSize);
    m_pBrushSize->setGeometry(10, 20, 100, 24);
    connect(m_pBrushSize, &QSpinBox::valueChanged, this, [this](int size) { OnBrushSizeChanged(size); });

    // REFACTOR: "缩小显示图像" has never had a behaviour; it is kept so that stations find the control.
    m_pShrink = new QCheckBox(this);
    m_pRestore = new QPushButton(this);
    m_pRestore->setObjectName(QStringLiteral("restore"));
    m_pRestore->setAutoDefault(false); // Enter in the zoom field must not restore the mask
    connect(m_pRestore, &QPushButton::clicked, this, [this] { OnRestore(); });
    m_pOK = new QPushButton(this);
    m_pOK->setObjectName(QStringLiteral("1"));
    m_pOK->setAutoDefault(false);
    connect(m_pOK, &QPushButton::clicked, this, &CMaskDraw::accept);
    m_pCancel = new QPushButton(this);
    m_pCancel->setObjectName(QStringLiteral("2"));
    m_pCancel->setAutoDefault(false);
    connect(m_pCancel, &QPushButton::clicked, this, &CMaskDraw::reject);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this); // Ctrl+Z reaches the dialog whatever has the focus
}

bool CMaskDraw::InitDialog() {
    if (m_bInitialised)
        return true;
    const uint8_t* clarity = nullptr;
    if (CGlobalPara::Exists() && CGlobalPara::Get().m_byClarity.size() == 65536) {
        clarity = CGlobalPara::Get().m_byClarity.data();
    } else {
        BuildClarityTable(m_ownClarity, 150);
        clarity = m_ownClarity.data();
    }
    const uint8_t back = m_pMaskClass ? m_pMaskClass->m_nBackValue : 0;
    const wchar_t* refusal = nullptr;
    switch (m_canvas.Init(m_pSource, m_pItem, clarity, m_bShowMaskOnly, back)) {
    case CMaskCanvas::InitResult::Ok:
        break;
    case CMaskCanvas::InitResult::NoImage:
        refusal = L"没有图像,不能绘制掩模!";
        break;
    case CMaskCanvas::InitResult::NoOutline:
        refusal = L"掩模没有轮廓,不能绘制!";
        break;
    case CMaskCanvas::InitResult::OutsideImage:
        refusal = L"掩模不在图像范围内,不能绘制!";
        break;
    case CMaskCanvas::InitResult::NoMemory:
        refusal = L"掩模区域太大,无法创建绘制缓冲区!";
        break;
    }
    if (refusal) {
        ZrkMessageBox(Translate(refusal), Translate(L"掩模绘制"), MB_OK | MB_ICONWARNING);
        return false;
    }
    if (m_pMaskClass)
        m_pMaskClass->MoveBar(140, 40);

    setWindowTitle(T(L"掩模绘制"));
    m_pZoomLabel->setText(T(L"放大比例:"));
    m_pRadiusGroup->setTitle(T(L"半径"));
    m_pShrink->setText(T(L"缩小显示图像"));
    m_pRestore->setText(T(L"恢复数据"));
    m_pOK->setText(T(L"确定"));
    m_pCancel->setText(T(L"取消"));

    // The tool column; plain tiles when the deployment has no button pictures.
    const std::wstring folder = GetExeFolder() + L"image/";
    if (std::filesystem::exists(std::filesystem::path(folder + L"ButtonUp.bmp")))
        m_bmpUp.LoadFromFile(folder + L"ButtonUp.bmp");
    if (std::filesystem::exists(std::filesystem::path(folder + L"ButtonDown.bmp")))
        m_bmpDown.LoadFromFile(folder + L"ButtonDown.bmp");
    m_tools.m_pUp = &m_bmpUp;
    m_tools.m_pDown = &m_bmpDown;
    m_tools.m_arTexts = {Translate(L"移动"), Translate(L"复制"), Translate(L"矩形"), Translate(L"圆形"),
                         Translate(L"画笔")};
    m_tools.SetOrigin(10, 35);
    m_tools.SetLayout(5, 120, 22, 0);

    m_nZoom = ZoomOfSelection(m_pZoomList->currentIndex(), m_pZoomList->currentText());
    m_bInitialised = true;
    SelectTool(kMove);
    LayoutControls();
    return true;
}

int CMaskDraw::DoModal() {
    if (!InitDialog())
        return -1;
    return RunModal(*this);
}

// ---- zoom, scrolling, display ----

int CMaskDraw::ZoomOfSelection(int index, const QString& itemText) {
    bool ok = false;
    const int number = itemText.trimmed().toInt(&ok);
    if (index < 0 && !ok)
        return 4;
    return std::clamp(ok ? number : 1, 1, kMaxZoom);
}

void CMaskDraw::ApplyZoomList() {
    const QString text = m_pZoomList->currentText();
    const int index = m_pZoomList->findText(text) >= 0 ? m_pZoomList->currentIndex() : -1;
    SetZoom(ZoomOfSelection(index, text));
}

void CMaskDraw::SetZoom(int zoom) {
    SetZoom(zoom, QPoint(m_pView->width() / 2, m_pView->height() / 2));
}

void CMaskDraw::SetZoom(int zoom, const QPoint& anchor) {
    zoom = std::clamp(zoom, 1, kMaxZoom);
    // The region point under the anchor stays under it.
    const double fx = double(anchor.x() + m_nScrollX) / m_nZoom,
                 fy = double(anchor.y() + m_nScrollY) / m_nZoom;
    m_nZoom = zoom;
    {
        const QSignalBlocker block(m_pZoomList);
        if (zoom <= m_pZoomList->count())
            m_pZoomList->setCurrentIndex(zoom - 1);
        else
            m_pZoomList->setEditText(QString::number(zoom));
    }
    m_bHasBrushPos = false;
    m_pView->SetBrushOutline(QRect());
    m_pView->SetBand(QRect(), false);
    m_bBand = m_bCircle = m_bMovingTracker = false;
    m_nScrollX = static_cast<int>(std::lround(fx * zoom)) - anchor.x();
    m_nScrollY = static_cast<int>(std::lround(fy * zoom)) - anchor.y();
    UpdateScrollBars();
    RefreshDisplayAll();
}

void CMaskDraw::UpdateScrollBars() {
    const int maxX = std::max(0, m_canvas.GetWidth() * m_nZoom - m_pView->width());
    const int maxY = std::max(0, m_canvas.GetHeight() * m_nZoom - m_pView->height());
    m_nScrollX = std::clamp(m_nScrollX, 0, maxX);
    m_nScrollY = std::clamp(m_nScrollY, 0, maxY);
    const QSignalBlocker bh(m_pHScroll), bv(m_pVScroll);
    m_pHScroll->setRange(0, maxX);
    m_pHScroll->setPageStep(std::max(1, m_pView->width()));
    m_pHScroll->setSingleStep(m_nZoom * 4);
    m_pHScroll->setValue(m_nScrollX);
    m_pVScroll->setRange(0, maxY);
    m_pVScroll->setPageStep(std::max(1, m_pView->height()));
    m_pVScroll->setSingleStep(m_nZoom * 4);
    m_pVScroll->setValue(m_nScrollY);
}

void CMaskDraw::SetScroll(int x, int y) {
    if (x == m_nScrollX && y == m_nScrollY)
        return;
    m_nScrollX = x;
    m_nScrollY = y;
    UpdateScrollBars();
    if (m_bCopyValid)
        m_pView->SetTracker(WindowRect(m_rcCopySource));
    RefreshDisplayAll();
}

void CMaskDraw::RefreshDisplayAll() {
    if (!m_bInitialised)
        return;
    const int w = std::max(1, m_pView->width()), h = std::max(1, m_pView->height());
    if (m_display.GetWidth() != w || m_display.GetHeight() != h ||
        m_display.GetFormat() != m_canvas.GetFormat()) {
        CImgBuffer display(1, w, h, m_canvas.GetFormat());
        display.Create();
        m_display.Swap(display);
    }
    m_canvas.ZoomCopyWhole(m_display, m_nScrollX, m_nScrollY, m_nZoom);
    m_pView->update();
}

void CMaskDraw::RefreshRegion(const CRect& rect) {
    if (rect.IsRectEmpty())
        return;
    m_canvas.RefreshRegion(rect);
    m_canvas.ZoomCopy(m_display, m_nScrollX, m_nScrollY, m_nZoom, rect);
    m_pView->update(WindowRect(rect));
}

QPoint CMaskDraw::DisplayPoint(const QPoint& dialogPoint) const {
    return dialogPoint - m_pView->pos() + QPoint(m_nScrollX, m_nScrollY);
}

bool CMaskDraw::IsInView(const QPoint& dialogPoint) const {
    return m_pView->geometry().contains(dialogPoint);
}

bool CMaskDraw::IsOnImage(const QPoint& p) const {
    return p.x() >= 0 && p.y() >= 0 && p.x() < m_canvas.GetWidth() * m_nZoom &&
           p.y() < m_canvas.GetHeight() * m_nZoom;
}

CPoint CMaskDraw::MaskPoint(const QPoint& p) const {
    auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    return CPoint{floorDiv(p.x(), m_nZoom), floorDiv(p.y(), m_nZoom)};
}

CRect CMaskDraw::MaskRect(const QPoint& a, const QPoint& b) const {
    const int w = m_canvas.GetWidth() * m_nZoom, h = m_canvas.GetHeight() * m_nZoom;
    const int l = std::clamp(std::min(a.x(), b.x()), 0, w), r = std::clamp(std::max(a.x(), b.x()), 0, w);
    const int t = std::clamp(std::min(a.y(), b.y()), 0, h), bo = std::clamp(std::max(a.y(), b.y()), 0, h);
    return CRect(l / m_nZoom, t / m_nZoom, (r + m_nZoom - 1) / m_nZoom, (bo + m_nZoom - 1) / m_nZoom);
}

QRect CMaskDraw::WindowRect(const CRect& r) const {
    return QRect(r.left * m_nZoom - m_nScrollX, r.top * m_nZoom - m_nScrollY, r.Width() * m_nZoom,
                 r.Height() * m_nZoom);
}

void CMaskDraw::UpdateBrushOutline(const QPoint& p, bool shown) {
    if (!shown) {
        m_bHasBrushPos = false;
        m_pView->SetBrushOutline(QRect());
        return;
    }
    m_bHasBrushPos = true;
    m_ptLastBrush = p;
    const CPoint m = MaskPoint(p);
    const int r = m_nBrushSize / 2;
    // The disc's pixels from m - r to m + r, enlarged.
    m_pView->SetBrushOutline(QRect((m.x - r) * m_nZoom - m_nScrollX, (m.y - r) * m_nZoom - m_nScrollY,
                                   (2 * r + 1) * m_nZoom, (2 * r + 1) * m_nZoom));
}

void CMaskDraw::SetReadout(const std::wstring& text) {
    m_strReadout = text;
    setWindowTitle(Q(Translate(L"掩膜绘制") + L" " + text));
}

// ---- tools ----

void CMaskDraw::SelectTool(int tool) {
    if (tool < kMove || tool > kBrush)
        return;
    m_nTool = tool;
    m_tools.m_nSelected = tool;
    m_pRadiusGroup->setVisible(tool == kBrush);
    if (tool != kBrush)
        UpdateBrushOutline(QPoint(), false);
    if (tool != kCopy) {
        m_bCopyValid = false;
        m_pView->SetTracker(QRect());
    }
    m_bBand = m_bCircle = m_bMovingTracker = false;
    m_pView->SetBand(QRect(), false);
    update();
}

void CMaskDraw::OnBrushSizeChanged(int size) {
    if (size < 1 || size > 500)
        return;
    m_nBrushSize = size;
    if (m_bHasBrushPos)
        UpdateBrushOutline(m_ptLastBrush, true);
}

template <class F> void CMaskDraw::PaintStep(F&& paint) {
    m_canvas.m_history.BeginStep(m_canvas.GetLayer().GetMat());
    const CRect changed = paint();
    m_canvas.m_history.EndStep(m_canvas.GetLayer().GetMat());
    RefreshRegion(changed);
}

void CMaskDraw::OnRestore() {
    if (!m_bInitialised)
        return;
    m_bStroking = false;
    PaintStep([&] { return m_canvas.Restore(); });
}

bool CMaskDraw::Undo() {
    CRect changed;
    if (m_bStroking || !m_canvas.m_history.Undo(m_canvas.GetLayer().GetMat(), &changed))
        return false;
    RefreshRegion(changed);
    return true;
}

bool CMaskDraw::Redo() {
    CRect changed;
    if (m_bStroking || !m_canvas.m_history.Redo(m_canvas.GetLayer().GetMat(), &changed))
        return false;
    RefreshRegion(changed);
    return true;
}

int CMaskDraw::PaletteIndexAt(const QPoint& point) const {
    if (!m_pMaskClass)
        return -1;
    const CRect& bar = m_pMaskClass->m_rcBar;
    const int count = m_pMaskClass->m_brushes.GetSize();
    const int x = point.x(), y = point.y();
    if (count > 0 && x >= bar.left && x < bar.right && y >= bar.top && y < bar.bottom) {
        const int segment = count == 1 ? 255 : 256 / count;
        const int index = (y - bar.top) / segment;
        return index < count ? index : -1;
    }
    const CRect& back = m_pMaskClass->m_rcBackground;
    if (x >= back.left && x < back.right && y >= back.top && y < back.bottom)
        return CMaskClass::kBackgroundBrush;
    return -1;
}

void CMaskDraw::OnLButtonDown(unsigned flags, const QPoint& point) {
    if (!m_bInitialised)
        return;
    if (const int tool = m_tools.ButtonAt(point.x(), point.y()); tool >= 0) {
        SelectTool(tool);
        return;
    }
    if (const int index = PaletteIndexAt(point); index != -1) {
        m_pMaskClass->m_nCurBrush = index;
        update();
        return;
    }
    if (IsInView(point)) {
        const QPoint p = DisplayPoint(point);
        switch (m_nTool) {
        case kMove:
            m_bPanning = true;
            m_ptPanStart = point;
            m_nPanScrollX = m_nScrollX;
            m_nPanScrollY = m_nScrollY;
            break;
        case kRectangle:
            m_bBand = true;
            m_ptBandStart = p;
            break;
        case kCircle:
            m_bCircle = true;
            m_ptCircleStart = p;
            break;
        case kCopy:
            if (m_bCopyValid && WindowRect(m_rcCopySource).contains(point - m_pView->pos())) {
                m_bMovingTracker = true;
                m_ptMoveStart = p;
            } else {
                m_bBand = true;
                m_ptBandStart = p;
            }
            break;
        case kBrush:
            if (IsOnImage(p)) {
                m_bStroking = true;
                m_bHasLastPaint = false;
                m_canvas.m_history.BeginStep(m_canvas.GetLayer().GetMat());
            }
            break;
        }
    }
    OnMouseMove(flags, point); // the brush paints at the press point
}

void CMaskDraw::OnMouseMove(unsigned flags, const QPoint& point) {
    if (!m_bInitialised)
        return;
    const bool left = (flags & MK_LBUTTON) != 0;
    // The read-out.
    const int palette = PaletteIndexAt(point);
    const QPoint p = DisplayPoint(point);
    if (palette != m_nHoverIndex && (palette != -1 || m_nHoverIndex != -1)) {
        m_nHoverIndex = palette;
        update(ToQRect(m_pMaskClass->m_rcHover).adjusted(-3, -3, 3, 3));
    }
    if (palette == CMaskClass::kBackgroundBrush) {
        SetReadout(Translate(L"背景"));
    } else if (palette >= 0) {
        if ((flags & (MK_CONTROL | MK_SHIFT)) == MK_CONTROL)
            SetReadout(Format(Translate(L"画笔 %d").c_str(), palette));
        else
            SetReadout(m_pMaskClass->m_brushes.GetAt(palette)->m_strName);
    } else {
        const CPoint m = MaskPoint(p);
        const int v = m_canvas.GetMaskValue(m.x, m.y);
        SetReadout(Format(L"(%d:%d) R:%d G:%d B:%d", std::max(p.x(), 0), std::max(p.y(), 0), v, v, v));
    }

    const bool onImage = IsInView(point) && IsOnImage(p);
    switch (m_nTool) {
    case kBrush:
        if (onImage) {
            if (left && m_bStroking) {
                const CPoint m = MaskPoint(p);
                const CPoint from = m_bHasLastPaint ? m_ptLastPaint : m;
                const CRect changed = m_canvas.PaintStroke(
                    from, m, m_nBrushSize / 2, m_pMaskClass ? m_pMaskClass->GetCurrentValue() : 0);
                m_ptLastPaint = m;
                m_bHasLastPaint = true;
                RefreshRegion(changed);
            }
            UpdateBrushOutline(p, true);
        } else {
            UpdateBrushOutline(p, false);
            m_bHasLastPaint = false; // a stroke that leaves the image starts again where it comes back
        }
        break;
    case kCircle:
        if (left && m_bCircle)
            m_pView->SetBand(WindowRect(MaskRect(m_ptCircleStart, p)), true);
        break;
    case kRectangle:
    case kCopy:
        if (left && m_bBand) {
            m_pView->SetBand(WindowRect(MaskRect(m_ptBandStart, p)), false);
        } else if (left && m_bMovingTracker) {
            const CPoint from = MaskPoint(m_ptMoveStart), to = MaskPoint(p);
            CRect moved = m_rcCopySource;
            moved.OffsetRect(to.x - from.x, to.y - from.y);
            m_pView->SetTracker(WindowRect(moved));
        }
        break;
    case kMove:
        if (left && m_bPanning) {
            if (!IsInView(point)) {
                m_bPanning = false;
                m_pView->unsetCursor();
                break;
            }
            m_pView->setCursor(Qt::SizeAllCursor);
            const int x = m_nPanScrollX + m_ptPanStart.x() - point.x();
            const int y = m_nPanScrollY + m_ptPanStart.y() - point.y();
            SetScroll(x >= 0 ? x : m_nScrollX, y >= 0 ? y : m_nScrollY);
        }
        break;
    }
}

void CMaskDraw::OnLButtonUp(unsigned /*flags*/, const QPoint& point) {
    if (!m_bInitialised)
        return;
    if (m_bPanning) {
        m_bPanning = false;
        m_pView->unsetCursor();
    }
    const QPoint p = DisplayPoint(point);
    const uint8_t value = m_pMaskClass ? m_pMaskClass->GetCurrentValue() : 0;
    if (m_bStroking) {
        m_bStroking = false;
        m_bHasLastPaint = false;
        m_canvas.m_history.EndStep(m_canvas.GetLayer().GetMat());
    }
    if (m_bCircle) {
        m_bCircle = false;
        m_pView->SetBand(QRect(), false);
        const CRect r = MaskRect(m_ptCircleStart, p);
        if (r.Width() > 0 && r.Height() > 0)
            PaintStep([&] { return m_canvas.FillEllipse(r, value); });
    }
    if (m_bBand) {
        m_bBand = false;
        m_pView->SetBand(QRect(), false);
        const CRect r = MaskRect(m_ptBandStart, p);
        if (m_nTool == kRectangle) {
            PaintStep([&] { return m_canvas.FillRect(r, value); });
        } else if (std::abs(p.x() - m_ptBandStart.x()) < 5 || r.IsRectEmpty()) {
            m_bCopyValid = false; // too narrow to be a source
            m_pView->SetTracker(QRect());
        } else {
            m_bCopyValid = true;
            m_rcCopySource = r;
            m_pView->SetTracker(WindowRect(r));
        }
    }
    if (m_bMovingTracker) {
        m_bMovingTracker = false;
        const CPoint from = MaskPoint(m_ptMoveStart), to = MaskPoint(p);
        CRect moved = m_rcCopySource;
        moved.OffsetRect(to.x - from.x, to.y - from.y);
        if (moved != m_rcCopySource) {
            const CRect source = m_rcCopySource;
            PaintStep([&] { return m_canvas.CopyRect(source, CPoint{moved.left, moved.top}); });
            m_rcCopySource = moved;
        }
        m_pView->SetTracker(WindowRect(m_rcCopySource));
    }
}

void CMaskDraw::OnLButtonDblClk(unsigned /*flags*/, const QPoint& point) {
    if (!m_bInitialised || !m_pMaskClass)
        return;
    const int index = PaletteIndexAt(point);
    if (index == -1 && !m_bShowMaskOnly)
        return;
    CBrushEntry* brush = m_pMaskClass->m_brushes.GetAt(index);
    std::wstring text = brush ? Format(L"%d", brush->m_byValue) : std::wstring();
    CInputBox box(Translate(L"请输入颜色值(0-255)"), Translate(L"输入数据"), text, this);
    if (box.DoModal() != QDialog::Accepted)
        return;
    uint8_t value = 0;
    if (!ParseColourValue(text, value))
        return; // no number: nothing changes
    m_pMaskClass->m_nCurBrush = index;
    if (brush)
        brush->m_byValue = value;
    update();
}

void CMaskDraw::OnMouseWheel(int delta, unsigned flags, const QPoint& point) {
    if (!m_bInitialised)
        return;
    if (flags & MK_CONTROL) {
        const int* step = std::find(std::begin(kZoomSteps), std::end(kZoomSteps), m_nZoom);
        int index = step != std::end(kZoomSteps) ? int(step - std::begin(kZoomSteps)) : 0;
        if (step == std::end(kZoomSteps)) // a typed zoom between the steps: start from the step below
            while (index + 1 < int(std::size(kZoomSteps)) && kZoomSteps[index + 1] < m_nZoom)
                ++index;
        index = std::clamp(index + (delta > 0 ? 1 : delta < 0 ? -1 : 0), 0, int(std::size(kZoomSteps)) - 1);
        SetZoom(kZoomSteps[index], point - m_pView->pos());
        return;
    }
    SetScroll(m_nScrollX, std::max(0, m_nScrollY - static_cast<int16_t>(delta)));
}

void CMaskDraw::accept() {
    if (!m_bInitialised) {
        QDialog::accept();
        return;
    }
    if (m_bStroking) {
        m_bStroking = false;
        m_canvas.m_history.EndStep(m_canvas.GetLayer().GetMat());
    }
    // An untouched layer leaves the outline as it is: tracing it again would move the vertices each time.
    if (m_canvas.IsUnchanged()) {
        m_bItemChanged = false;
        QDialog::accept();
        return;
    }
    std::vector<CPoint> outer;
    std::vector<std::vector<CPoint>> holes;
    if (m_canvas.TraceOutline(m_bSimplify, outer, holes) == CMaskCanvas::TraceResult::Split) {
        ZrkMessageBox(Translate(L"一个图形不能被分割,请把分散的图像连在一起!"), Translate(L"掩模绘制"),
                      MB_OK | MB_ICONWARNING);
        return;
    }
    m_pItem->ClearPoints();
    if (!outer.empty()) {
        m_pItem->SetPoints(outer);
        if (auto* withHoles = dynamic_cast<CPolygonEx*>(m_pItem)) {
            for (const std::vector<CPoint>& points : holes) {
                auto* hole = new CPolygonEx;
                hole->SetPoints(points);
                withHoles->m_children.Add(hole);
            }
        }
    }
    m_bItemChanged = true;
    QDialog::accept();
}

// ---- layout and painting ----

void CMaskDraw::LayoutControls() {
    const int cx = width(), cy = height();
    m_pView->setGeometry(260, 5, std::max(1, cx - 280), std::max(1, cy - 25));
    m_pFrame->setGeometry(258, 3, std::max(1, cx - 260), std::max(1, cy - 5));
    m_pHScroll->setGeometry(260, cy - 20, std::max(1, cx - 280), 15);
    m_pVScroll->setGeometry(cx - 20, 5, 15, std::max(1, cy - 25));
    m_pZoomLabel->setGeometry(10, 310, 75, 24);
    m_pZoomList->setGeometry(90, 310, 70, 24);
    m_pRadiusGroup->setGeometry(10, 342, 150, 54);
    m_pShrink->setGeometry(10, 404, 200, 22);
    m_pRestore->setGeometry(10, 434, 120, 26);
    m_pOK->setGeometry(10, 470, 120, 26);
    m_pCancel->setGeometry(135, 470, 120, 26);
    m_pFrame->lower();
    UpdateScrollBars();
    RefreshDisplayAll();
}

void CMaskDraw::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayoutControls();
}

void CMaskDraw::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (!m_bInitialised || !m_pMaskClass)
        return;
    QPainter painter(this);
    const CMaskClass& mc = *m_pMaskClass;
    auto grey = [](int v) { return QColor(v, v, v); };
    // The hover swatch: the value of the palette entry last under the pointer.
    int hover = 0;
    if (m_nHoverIndex == CMaskClass::kBackgroundBrush)
        hover = mc.m_nBackValue;
    else if (const CBrushEntry* b = mc.m_brushes.GetAt(m_nHoverIndex))
        hover = b->m_byValue;
    painter.fillRect(ToQRect(mc.m_rcHover), grey(hover));
    // The bar: one segment per label.
    const QRect bar = ToQRect(mc.m_rcBar);
    const int count = mc.m_brushes.GetSize();
    const int segment = count == 1 ? 255 : count > 0 ? 256 / count : 0;
    for (int i = 0; i < count; ++i)
        painter.fillRect(QRect(bar.left(), bar.top() + i * segment, bar.width(), segment),
                         grey(mc.m_brushes.GetAt(i)->m_byValue));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(Qt::white);
    painter.drawRect(bar.adjusted(-1, -1, 0, 0));
    painter.setPen(QColor(0x3C, 0x3C, 0x3C));
    painter.drawRect(bar.adjusted(-2, -2, 1, 1));
    painter.fillRect(ToQRect(mc.m_rcBackground), grey(mc.m_nBackValue));
    const QRect current = ToQRect(mc.m_rcCurrent);
    painter.fillRect(current, grey(mc.GetCurrentValue()));
    painter.setPen(Qt::red);
    painter.drawRect(current.adjusted(0, 0, -1, -1));
    if (mc.m_nCurBrush == CMaskClass::kBackgroundBrush)
        painter.drawRect(ToQRect(mc.m_rcBackground).adjusted(0, 0, -1, -1));
    else if (mc.m_nCurBrush >= 0 && mc.m_nCurBrush < count)
        painter.drawRect(QRect(bar.left(), bar.top() + mc.m_nCurBrush * segment, bar.width(), segment)
                             .adjusted(0, 0, -1, -1));
    // The tool column.
    if (!m_bmpUp.IsAttached())
        for (size_t i = 0; i < m_tools.m_arRects.size(); ++i)
            painter.fillRect(ToQRect(m_tools.m_arRects[i]).adjusted(0, 0, 0, -1),
                             int(i) == m_tools.m_nSelected ? QColor(40, 90, 160) : QColor(90, 90, 90));
    m_tools.SetDC(&painter);
    m_tools.Draw();
    m_tools.SetDC(nullptr);
}

// ---- events ----

void CMaskDraw::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        OnLButtonDown(Flags(event->buttons(), event->modifiers()), event->position().toPoint());
    QDialog::mousePressEvent(event);
}

void CMaskDraw::mouseMoveEvent(QMouseEvent* event) {
    OnMouseMove(Flags(event->buttons(), event->modifiers()), event->position().toPoint());
}

void CMaskDraw::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        OnLButtonUp(Flags(event->buttons(), event->modifiers()), event->position().toPoint());
}

void CMaskDraw::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        OnLButtonDblClk(Flags(event->buttons(), event->modifiers()), event->position().toPoint());
}

void CMaskDraw::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Undo)) {
        Undo();
        return;
    }
    if (event->matches(QKeySequence::Redo) ||
        (event->key() == Qt::Key_Y && event->modifiers() == Qt::ControlModifier)) {
        Redo();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CMaskDraw::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool undo = key->matches(QKeySequence::Undo);
        const bool redo = key->matches(QKeySequence::Redo) ||
                          (key->key() == Qt::Key_Y && key->modifiers() == Qt::ControlModifier);
        if (undo || redo) {
            if (event->type() == QEvent::KeyPress)
                undo ? Undo() : Redo();
            event->accept();
            return event->type() == QEvent::KeyPress; // the override is taken so that the press comes here
        }
    }
    if (watched != m_pView)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint point = m_pView->mapTo(this, mouse->position().toPoint());
        const unsigned flags = Flags(mouse->buttons(), mouse->modifiers());
        if (event->type() == QEvent::MouseMove)
            OnMouseMove(flags, point);
        else if (mouse->button() == Qt::LeftButton) {
            if (event->type() == QEvent::MouseButtonPress)
                OnLButtonDown(flags, point);
            else if (event->type() == QEvent::MouseButtonRelease)
                OnLButtonUp(flags, point);
            else
                OnLButtonDblClk(flags, point);
        }
        return true;
    }
    case QEvent::Leave:
        if (m_nTool == kBrush)
            UpdateBrushOutline(QPoint(), false);
        return false;
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        OnMouseWheel(wheel->angleDelta().y(), Flags(wheel->buttons(), wheel->modifiers()),
                     m_pView->mapTo(this, wheel->position().toPoint()));
        return true;
    }
    case QEvent::Resize:
        RefreshDisplayAll();
        return false;
    default:
        return false;
    }
}
