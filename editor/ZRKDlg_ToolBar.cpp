// The editor window: the toolbar (bar 1009) and its commands.

#include "editor/ZRKDlg.h"
#include "host/ModuleState.h"

#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"
#include "view/MyImageWnd.h"

#include <QKeySequence>
#include <QPainter>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace {

struct ToolPlace {
    int command;          ///< 0 for a separator
    const wchar_t* label;
    const wchar_t* tip;   ///< what the command does, shown as the button's tooltip
    QColor color;         ///< of the drawn button image
    QKeyCombination key = {};  ///< the command's shortcut, none when empty
};

// The 28 places of the bar; places 6, 12, 14, 18, 20 and 24 are separators.
const ToolPlace kPlaces[28] = {
    {32784, L"新建", L"新建模板", QColor(60, 120, 200)},
    {32785, L"打开", L"打开模板", QColor(60, 120, 200)},
    {32786, L"复制", L"复制模板", QColor(60, 120, 200)},
    {32790, L"暂无", L"暂无功能", QColor(150, 150, 150)},
    {32787, L"保存", L"保存模板", QColor(40, 150, 70), Qt::CTRL | Qt::Key_S},
    {32788, L"暂无", L"暂无功能", QColor(150, 150, 150)},
    {0, nullptr, nullptr, {}},
    {32804, L"检测面", L"编辑检测面类型", QColor(170, 110, 40)},
    {32803, L"分层", L"编辑分层类型", QColor(170, 110, 40)},
    {32805, L"掩模", L"编辑掩模系数类型", QColor(170, 110, 40)},
    {32806, L"自定义", L"编辑自定义参数类型", QColor(170, 110, 40)},
    {32807, L"参考图", L"管理参考图", QColor(170, 110, 40)},
    {0, nullptr, nullptr, {}},
    {32789, L"掩模", L"绘制所选检测区的掩模", QColor(150, 60, 160)},
    {0, nullptr, nullptr, {}},
    {32802, L"水平", L"图像适合窗口宽度", QColor(30, 140, 150)},
    {32810, L"垂直", L"图像适合窗口高度", QColor(30, 140, 150)},
    {32801, L"原图", L"图像原始大小", QColor(30, 140, 150)},
    {0, nullptr, nullptr, {}},
    {32791, L"导出", L"导出检测区", QColor(100, 100, 180)},
    {0, nullptr, nullptr, {}},
    {32814, L"多边形", L"以多边形绘制", QColor(200, 90, 40)},
    {32812, L"矩形", L"以矩形绘制", QColor(200, 90, 40)},
    {32813, L"椭圆", L"以椭圆绘制", QColor(200, 90, 40)},
    {0, nullptr, nullptr, {}},
    {32783, L"全选", L"选择全部图形", QColor(90, 90, 90)},
    {32811, L"全否", L"取消全部选择", QColor(90, 90, 90)},
    {32815, L"复制", L"复制数据到其他小张", QColor(90, 90, 90)},
};

// A 25 x 25 button image: the label's first character on a coloured tile.
QIcon MakeButtonImage(const QString& label, const QColor& color) {
    QPixmap pixmap(25, 25);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(color);
    p.setPen(color.darker(140));
    p.drawRoundedRect(QRectF(1.5, 1.5, 22, 22), 4, 4);
    QFont font = p.font();
    font.setPixelSize(14);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 25, 25), Qt::AlignCenter, label.left(1));
    return QIcon(pixmap);
}

} // namespace

void CZRKDlg::BuildToolBar() {
    m_pToolBar = new QToolBar(this);
    m_pToolBar->setObjectName(QString::number(zrkid::IDR_TOOLBAR));
    m_pToolBar->setIconSize(QSize(25, 25));
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_pToolBar->setMovable(false);
    m_pToolBar->setFloatable(false);
    for (const ToolPlace& place : kPlaces) {
        if (place.command == 0) {
            m_pToolBar->addSeparator();
            continue;
        }
        QString label = QString::fromStdWString(Translate(place.label, 0));
        QAction* action = m_pToolBar->addAction(MakeButtonImage(label, place.color), label);
        QString tip = QString::fromStdWString(Translate(place.tip, 0));
        if (place.key != QKeyCombination()) {
            action->setShortcut(QKeySequence(place.key));
            action->setShortcutContext(Qt::WindowShortcut);
            tip += QStringLiteral(" (") + action->shortcut().toString(QKeySequence::NativeText) + ')';
        }
        action->setToolTip(tip);
        const int command = place.command;
        connect(action, &QAction::triggered, this, [this, command] { CModuleSectionGuard section; OnCommand(command); });
        if (auto* button = qobject_cast<QToolButton*>(m_pToolBar->widgetForAction(action))) {
            button->setObjectName(QString::number(command));
            // 50 pixels square; wider only when a translated label would not fit under the image.
            const int text = button->fontMetrics().horizontalAdvance(label) + 8;
            button->setFixedSize(std::max(50, text), 50);
        }
    }
}

void CZRKDlg::EnableCommand(int command, bool enable) {
    if (QToolButton* button = GetToolButton(command); button && button->defaultAction())
        button->defaultAction()->setEnabled(enable);
}

bool CZRKDlg::IsCommandEnabled(int command) const {
    QToolButton* button = GetToolButton(command);
    return button && button->defaultAction() && button->defaultAction()->isEnabled();
}

QToolButton* CZRKDlg::GetToolButton(int command) const {
    if (!m_pToolBar)
        return nullptr;
    return m_pToolBar->findChild<QToolButton*>(QString::number(command));
}

bool CZRKDlg::OnCommand(int command) {
    using namespace zrkid;
    if (GetToolButton(command) && !IsCommandEnabled(command))
        return false;
    switch (command) {
    case ID_NEW_MODEL:
    case ID_OPEN_MODEL:
    case ID_COPY_MODEL: RunHostModelCallback(command); return true;
    case ID_SAVE: Save(); return true;
    case 32790:
    case 32788: return true;  // "暂无": nothing
    case ID_EXPORT_AREA: ExportArea(); return true;
    case ID_COPY_DATA: CopySheetData(); return true;
    case 32783: SelectAllShapes(true); return true;
    case 32811: SelectAllShapes(false); return true;
    case ID_MASK_PAINT: PaintSelectedMask(); return true;
    case ID_ZOOM_ORIGINAL:
    case ID_FIT_WIDTH:
    case ID_FIT_HEIGHT: {
        double zoom = 1.0;
        int step = 3;
        if (command != ID_ZOOM_ORIGINAL) {
            int imageSide = !m_pSrcImage ? 0
                            : command == ID_FIT_WIDTH ? m_pSrcImage->GetWidth() : m_pSrcImage->GetHeight();
            int frameSide = command == ID_FIT_WIDTH ? m_rcImage.Width() : m_rcImage.Height();
            if (imageSide <= 0)
                return true;
            zoom = double(frameSide) / imageSide;
            step = m_nZoomStep;  // kept when the zoom exceeds the table's last value
            for (int i = 0; i < kZoomSteps; ++i) {
                if (kZoomTable[i] >= zoom) {
                    step = i;
                    break;
                }
            }
        }
        m_dZoom = zoom;
        m_nZoomStep = step;
        if (m_pImageWnd)
            m_pImageWnd->SetScale(m_dZoom);
        LayoutControls();
        return true;
    }
    case ID_SHAPE_POLYGON:
    case ID_SHAPE_RECT:
    case ID_SHAPE_ELLIPSE: {
        m_nShapeKind = command == ID_SHAPE_POLYGON ? zrkshape::kPolygon
                       : command == ID_SHAPE_RECT  ? zrkshape::kRectangle
                                                   : zrkshape::kEllipse;
        m_doc.GetDrawing().ClearPoints();
        for (int kind : {ID_SHAPE_POLYGON, ID_SHAPE_RECT, ID_SHAPE_ELLIPSE})
            EnableCommand(kind, kind != command);
        return true;
    }
    default: return OnTreeCommand(command);
    }
}
