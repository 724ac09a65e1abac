// The mask drawing dialog: construction, start-up, zoom and scrolling, the display, the layout, painting
// the left column, and the events. What the tools do is in MaskDraw_Tools.cpp.

#include "maskpaint/MaskDraw.h"

#include "dialogs/ModalRunner.h"
#include "formats/LanguagePack.h"
#include "formats/Utility.h"
#include "geometry/GraphBase.h"
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
