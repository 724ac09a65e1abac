// The editor window: construction, start-up, controls, layout and the exit path.

#include "editor/ZRKDlg.h"
#include "editor/EditorAssist.h"
#include "editor/ModelHistory.h"
#include "host/ModuleState.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "datastruct/SysPara.h"
#include "dialogs/DlgSelPos.h"
#include "editor/ModelTreeCtrl.h"
#include "formats/LanguagePack.h"
#include "formats/Utility.h"
#include "geometry/ImgBuffer.h"
#include "geometry/PixelPool.h"
#include "host/AppProfile.h"
#include "host/GlobalPara.h"
#include "host/SysConfig.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"
#include "view/ImgView.h"
#include "view/MyImageWnd.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace {

QString Tr(const wchar_t* text) { return QString::fromStdWString(Translate(text, 0)); }

// The tool buttons of the "操作" group, in control order 1504 to 1511.
const wchar_t* const kToolCaptions[8] = {L"选择", L"漫游", L"放大", L"缩小",
                                         L"增加屏蔽区", L"增加检测区", L"增加定位核", L"关联定位核"};
const wchar_t* const kDisplayCaptions[4] = {L"检测区", L"定位核", L"屏蔽区", L"掩模颜色填充"};
const wchar_t* const kChannelCaptions[4] = {L"B", L"G", L"R", L"L"};

// Icon 1006: a printed sheet under a magnifier, drawn in code.
QIcon MakeDialogIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(3, 2, 20, 26, QColor(250, 250, 250));
    p.setPen(QColor(40, 70, 160));
    p.drawRect(3, 2, 20, 26);
    for (int y = 8; y <= 22; y += 4)
        p.drawLine(6, y, 20, y);
    p.setPen(QPen(QColor(200, 40, 40), 3));
    p.drawEllipse(QPoint(20, 19), 6, 6);
    p.drawLine(24, 23, 30, 29);
    return QIcon(pixmap);
}

} // namespace

const double CZRKDlg::kZoomTable[kZoomSteps] = {0.125, 0.25, 0.5, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0};

CZRKDlg::CZRKDlg() : QDialog(nullptr) {
    setObjectName(QString::number(zrkid::IDD_ZRKDLG));
    m_pDisplay = std::make_unique<CImgDisplay>();
    m_pDisplay->Open();
    m_strStatus = Translate(L"您正在进行 选择 操作", 0);
    m_doc.SetJournalListener(this);
}

CZRKDlg::~CZRKDlg() {
    m_doc.SetJournalListener(nullptr);
    if (m_pTree)
        disconnect(m_pTree, nullptr, this, nullptr);  // the tree dies after this object's own part
    DestroyChooser();
    ReleaseDisplayChain();
    delete m_pParaAnalytic;
    delete m_pIcon;
    m_doc.SetModel(nullptr);  // owned by the system parameters (or by the host)
    m_doc.DropOwnSysPara();
    CPixelPool::Get().Clear();
}

bool CZRKDlg::Create() {
    if (!m_bInitialised) {
        BuildControls();
        InitDialog();
        m_bInitialised = true;
    }
    m_bWindowCreated = true;
    return true;
}

void CZRKDlg::DestroyWindow() {
    if (!m_bWindowCreated)
        return;
    DestroyChooser();
    ReleaseDisplayChain();
    hide();
    m_bWindowCreated = false;
}

void CZRKDlg::BuildControls() {
    using namespace zrkid;
    m_pTree = new CModelTreeCtrl(this);
    connect(m_pTree, &QTreeWidget::currentItemChanged, this, [this] { CModuleSectionGuard section; OnSelChanged(); });
    m_pTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pTree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) {
                CModuleSectionGuard section;
                OnTreeContextMenu(m_pTree->viewport()->mapToGlobal(at));
            });
    connect(m_pTree, &CModelTreeCtrl::deletePressed, this, [this] {
        CModuleSectionGuard section;
        if (m_doc.GetModel() && m_pTree->GetCaretItem())
            DeleteCaretItem();
    });

    MakeAssistParts();

    m_pVScroll = new QScrollBar(Qt::Vertical, this);
    m_pVScroll->setObjectName(QString::number(IDC_VSCROLL));
    m_pHScroll = new QScrollBar(Qt::Horizontal, this);
    m_pHScroll->setObjectName(QString::number(IDC_HSCROLL));
    m_pVScroll->setRange(0, 0);
    m_pHScroll->setRange(0, 0);
    m_pImageFrame = new QFrame(this);
    m_pImageFrame->setObjectName(QString::number(IDC_IMAGE_FRAME));
    m_pImageFrame->setFrameShape(QFrame::NoFrame);
    m_pImageFrame->setAutoFillBackground(true);
    QPalette framePalette = m_pImageFrame->palette();
    framePalette.setColor(QPalette::Window, QColor(64, 64, 64));
    m_pImageFrame->setPalette(framePalette);

    m_pGroupTools = new QGroupBox(this);
    m_pGroupTools->setObjectName(QString::number(IDC_GROUP_TOOLS));
    auto* toolGrid = new QGridLayout(m_pGroupTools);
    toolGrid->setContentsMargins(6, 4, 6, 4);
    toolGrid->setVerticalSpacing(2);
    for (int i = 0; i < 8; ++i) {
        m_pToolButtons[i] = new QRadioButton(m_pGroupTools);
        m_pToolButtons[i]->setObjectName(QString::number(IDC_TOOL_FIRST + i));
        toolGrid->addWidget(m_pToolButtons[i], i / 2, i % 2);
        connect(m_pToolButtons[i], &QRadioButton::clicked, this, [this, i] { CModuleSectionGuard section; OnToolButton(i); });
    }
    m_pToolButtons[0]->setChecked(true);

    m_pGroupShow = new QGroupBox(this);
    m_pGroupShow->setObjectName(QString::number(IDC_GROUP_SHOW));
    auto* showGrid = new QGridLayout(m_pGroupShow);
    showGrid->setContentsMargins(6, 4, 6, 4);
    showGrid->setVerticalSpacing(2);
    for (int i = 0; i < 4; ++i) {
        const int id = IDC_SHOW_PHASEMASK + i;
        m_pDisplayBoxes[i] = new QCheckBox(m_pGroupShow);
        m_pDisplayBoxes[i]->setObjectName(QString::number(id));
        showGrid->addWidget(m_pDisplayBoxes[i], i / 2, i % 2);
        connect(m_pDisplayBoxes[i], &QCheckBox::clicked, this, [this, id](bool on) { CModuleSectionGuard section; OnDisplayBox(id, on); });
    }

    m_pGroupChannel = new QGroupBox(this);
    m_pGroupChannel->setObjectName(QString::number(IDC_GROUP_CHANNEL));
    auto* channelRow = new QHBoxLayout(m_pGroupChannel);
    channelRow->setContentsMargins(6, 4, 6, 4);
    for (int i = 0; i < 4; ++i) {
        m_pChannelBoxes[i] = new QCheckBox(m_pGroupChannel);
        m_pChannelBoxes[i]->setObjectName(QString::number(IDC_CHANNEL_B + i));
        channelRow->addWidget(m_pChannelBoxes[i]);
        connect(m_pChannelBoxes[i], &QCheckBox::clicked, this, [this, i](bool on) { CModuleSectionGuard section; OnChannelBox(i + 1, on); });
    }

    m_pSaveLoadButton = new QPushButton(this);
    m_pSaveLoadButton->setObjectName(QString::number(IDC_SAVE_LOAD));
    m_pSaveLoadButton->setAutoDefault(false);
    connect(m_pSaveLoadButton, &QPushButton::clicked, this, [this] { CModuleSectionGuard section; OnSaveAndLoad(); });
    m_pExitButton = new QPushButton(this);
    m_pExitButton->setObjectName(QString::number(IDC_EXIT));
    m_pExitButton->setAutoDefault(false);
    connect(m_pExitButton, &QPushButton::clicked, this, [this] { CModuleSectionGuard section; Exit(); });

    m_pKeyList = new QListWidget(this);
    m_pKeyList->setObjectName(QString::number(IDC_KEY_LIST));
    m_pKeyList->setGeometry(0, 0, 20, 20);

    BuildToolBar();
    BuildUndoActions();
}

void CZRKDlg::InitDialog() {
    using namespace zrkid;
    m_pIcon = new QIcon(MakeDialogIcon());
    setWindowIcon(*m_pIcon);
    // BuildToolBar has made the bar and labelled it; the three catalogue editors start disabled unless the
    // deployment's configuration enables them ("bEnableCatalogueEditors").
    const bool editors = CSysConfig(GetExeFolder()).m_bEnableCatalogueEditors;
    for (int command : {ID_REF_IMAGES, ID_SIDE_TYPES, ID_MASK_COEFF_TYPES})
        EnableCommand(command, editors);
    for (int box : {IDC_SHOW_PHASEMASK, IDC_SHOW_KERNEL, IDC_SHOW_THRESHMASK})
        static_cast<QCheckBox*>(GetControl(box))->setChecked(true);
    bool fill = GetProfileInt(L"ZRKDll", L"BMaskFillColor", 1) == 1;
    m_pDisplayBoxes[3]->setChecked(fill);
    m_bMaskFill = fill;  // the switch follows its box, so what is shown matches what is ticked
    m_pKeyList->move(-1000, -1000);  // receives keys for the shapes, out of sight
    if (QScreen* screen = QGuiApplication::primaryScreen())
        resize(screen->availableGeometry().size());
    else
        resize(1280, 800);
    // After the bars are positioned: the polygon kind is the current one.
    EnableCommand(ID_SHAPE_POLYGON, false);

    m_pParaAnalytic = dynamic_cast<CParaAnalytic*>(CGlobalPara::Get().CreateInstance(L"CParaAnalytic"));
    if (m_pParaAnalytic) {
        m_pParaAnalytic->LoadFile(GetPlugInFolder() + L"KernelPara.ini");
        m_strDefKernelPara = m_pParaAnalytic->GetText();
    }
    ApplyTexts();
    LayoutControls();
}

void CZRKDlg::ApplyTexts() {
    m_strTitle = Translate(L"模板管理", 0);
    m_doc.GetDrafts().SetCaption(m_strTitle);
    setWindowTitle(QString::fromStdWString(m_strTitle));
    m_pGroupTools->setTitle(Tr(L"操作"));
    m_pGroupShow->setTitle(Tr(L"显示"));
    m_pGroupChannel->setTitle(Tr(L"显示通道"));
    for (int i = 0; i < 8; ++i)
        m_pToolButtons[i]->setText(Tr(kToolCaptions[i]));
    for (int i = 0; i < 4; ++i) {
        m_pDisplayBoxes[i]->setText(Tr(kDisplayCaptions[i]));
        m_pChannelBoxes[i]->setText(Tr(kChannelCaptions[i]));
    }
    m_pSaveLoadButton->setText(Tr(L"保存并加载"));
    m_pExitButton->setText(Tr(L"退出"));
}

void CZRKDlg::UpdateTitle() { setWindowTitle(QString::fromStdWString(m_strTitle)); }

QWidget* CZRKDlg::GetControl(int id) const {
    if (QToolButton* button = GetToolButton(id))
        return button;
    return findChild<QWidget*>(QString::number(id));
}

void CZRKDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_bInitialised)
        LayoutControls();
}

void CZRKDlg::LayoutControls() {
    const int width = this->width();
    const int height = this->height();
    int top = 0;
    if (m_pToolBar) {
        int barHeight = m_pToolBar->sizeHint().height();
        m_pToolBar->setGeometry(0, 0, width, barHeight);  // spans the client width
        top = barHeight;
    }
    // The left column: the three groups, the tree below them, the two buttons under the tree.
    // 240 pixels wide, or as wide as the groups' captions need (a translated interface's longer texts).
    const int left = 4;
    const int column = std::max({240, m_pGroupTools->sizeHint().width(), m_pGroupShow->sizeHint().width(),
                                 m_pGroupChannel->sizeHint().width()});
    int y = top + 4;
    m_pGroupTools->setGeometry(left, y, column, 128);
    y += 128 + 2;
    m_pGroupShow->setGeometry(left, y, column, 66);
    y += 66 + 2;
    m_pGroupChannel->setGeometry(left, y, column, 48);
    y += 48 + 4;
    const int treeBottom = height - 50;
    int treeEnd = treeBottom;
    if (m_pSelPos && m_pSelPos->isVisible()) {
        // The small-sheet chooser sits between the tree and the two buttons, which stay in view: the bottom
        // edge of its frame 4 pixels above "保存并加载", the tree shrinking above it.
        const int frameExtra = std::max(0, m_pSelPos->frameGeometry().height() - m_pSelPos->height());
        const int chooserTop = std::max(y, treeBottom - m_pSelPos->height() - frameExtra);
        m_pSelPos->move(mapToGlobal(QPoint(left, chooserTop)));
        treeEnd = std::max(y, chooserTop - 4);
    }
    m_pTree->setGeometry(left, y, column, std::max(0, treeEnd - y));
    m_pSaveLoadButton->setGeometry(left, treeBottom + 4, column, 21);  // 4 to 25 pixels below the tree
    const int exitTop = treeBottom + 25 + 2;
    m_pExitButton->setGeometry(left, exitTop, column, std::max(0, height - 2 - exitTop));

    // The image frame: its right and bottom edges 20 pixels inside the client area.
    const int frameLeft = left + column + 6;
    const int frameTop = top + 4;
    m_rcImage = CRect(frameLeft, frameTop, std::max(frameLeft, width - 20), std::max(frameTop, height - 20));
    m_pImageFrame->setGeometry(m_rcImage.left, m_rcImage.top, m_rcImage.Width(), m_rcImage.Height());
    m_pVScroll->setGeometry(m_rcImage.right + 5, m_rcImage.top, std::max(0, width - m_rcImage.right - 5),
                            m_rcImage.Height());
    m_pHScroll->setGeometry(m_rcImage.left, m_rcImage.bottom + 5, m_rcImage.Width(),
                            std::max(0, height - m_rcImage.bottom - 5));
    if (m_pImageWnd) {
        m_pImageWnd->OnSize();
        m_pImageWnd->Invalidate();
    }
    LayoutAssistPanel();
}

bool CZRKDlg::Exit() {
    if (m_doc.GetModel() && m_doc.IsModified()) {
        int answer = ZrkMessageBox(Translate(L"模板数据已经被修改，是否保存修改?", 0), m_strTitle,
                                   MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDCANCEL)
            return false;
        // A save that fails keeps the editor open with its message: closing would lose the work.
        if (answer == IDYES && !Save())
            return false;
        // "No" discards the edits: the next activation reloads the model from the store and must not ask
        // again, let alone save what the operator just declined.
        if (answer == IDNO) {
            m_doc.SetModified(false);
            m_doc.GetDrafts().Discard(m_doc.GetModel());
        }
    }
    DestroyChooser();
    CInspType* type = GetCurType();
    CSide* side = GetCurSide();
    CPhase* phase = GetCurPhase();
    if (m_doc.GetModel() && type && side && phase) {
        auto* sideType = m_doc.GetModel()->m_sideTypes.FindByIDAs<CSideType>(side->m_nID);
        auto* phaseType = m_doc.GetModel()->m_phaseTypes.FindByIDAs<CPhaseType>(phase->m_nID);
        WriteProfileInt(L"ZRKDll", L"PreModeID", m_doc.GetModel()->m_nID);
        WriteProfileString(L"ZRKDll", L"PreInspType", type->GetName());
        WriteProfileString(L"ZRKDll", L"PreSide", sideType ? sideType->GetName() : std::wstring());
        WriteProfileString(L"ZRKDll", L"PrePhase", phaseType ? phaseType->GetName() : std::wstring());
    }
    QDialog::reject();  // hidden, not destroyed: the next activation reuses the window
    CPixelPool::Get().Clear(); // the memory kept for the next composition goes back to the system
    return true;
}

void CZRKDlg::reject() { Exit(); }
