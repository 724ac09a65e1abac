#include "dialogs/DlgMaskPara.h"

#include "datastruct/ParaAnalytic.h"
#include "datastruct/Side.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/ShapeDialogSupport.h"
#include "formats/LanguagePack.h"
#include "formats/TreeTextAnalyze.h"
#include "geometry/MaskArea.h"
#include "grid/GridCtrlEx.h"
#include "host/GlobalPara.h"
#include "support/Prompter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>
#include <vector>

namespace {

constexpr int kNameColumn = 1;
constexpr int kValueColumn = 2;
constexpr int kRemarkColumn = 3;

/// The nodes of a script read by the script reader, written out under a "[General]" root, lines joined
/// with CR LF. No nodes give the empty text (a lone "[General]" would read back as a parameter of that
/// name).
std::wstring GeneralText(CTreeTextAnalyze& reader) {
    if (reader.GetRoot()->GetChildCount() == 0)
        return std::wstring();
    reader.GetRoot()->m_para.m_strName = L"General";
    reader.Generate();
    return reader.GetText();
}

} // namespace

CDlgMaskPara::CDlgMaskPara(const CInspType* type, const CSide* side, CMaskArea* area,
                           const std::wstring& scriptFile, bool allowDeleteClone, QWidget* parent)
    : QDialog(parent), m_pType(type), m_pSide(side), m_pArea(area), m_strScriptFile(scriptFile),
      m_bAllowDeleteClone(allowDeleteClone) {
    setObjectName(QStringLiteral("DlgMaskPara"));
    m_pGrid = new CGridCtrlEx(this);
    m_pGrid->setMinimumSize(500, 200);
    m_pLabel = new QLineEdit(this);
    m_pLabel->setObjectName(QStringLiteral("label"));
    m_pLabel->setMinimumWidth(160);

    auto button = [this](const wchar_t* text, const char* name) {
        auto* b = new QPushButton(TrQ(text), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    m_pDelete = button(L"删除(&D)", "delete");
    m_pClone = button(L"克隆(&L)", "clone");
    QPushButton* ok = button(L"确定", "1");
    QPushButton* cancel = button(L"取消", "2");
    ok->setDefault(true);
    connect(m_pDelete, &QPushButton::clicked, this, [this] {
        m_bDelete = true;
        done(Accepted);
    });
    connect(m_pClone, &QPushButton::clicked, this, &CDlgMaskPara::OnClone);
    connect(ok, &QPushButton::clicked, this, &CDlgMaskPara::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlgMaskPara::reject);

    auto* label = new QHBoxLayout;
    label->addWidget(new QLabel(TrQ(L"标识:"), this));
    label->addWidget(m_pLabel);
    label->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {m_pDelete, m_pClone, ok, cancel})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(TrQ(L"参数:"), this));
    layout->addWidget(m_pGrid, 1);
    layout->addLayout(label);
    layout->addLayout(buttons);
}

int CDlgMaskPara::DoModal() {
    return RunModal(*this);
}

void CDlgMaskPara::Initialise() {
    setWindowTitle(TrQ(L"掩模属性"));
    m_pLabel->setText(QString::fromStdWString(m_strLabel));
    m_strOpenedLabel = m_strLabel;
    m_pDelete->setEnabled(m_bAllowDeleteClone);
    m_pClone->setEnabled(m_bAllowDeleteClone);

    CTreeTextAnalyze script;
    m_bScriptLoaded = script.LoadFile(GetTypeScriptPath(m_pType, m_strScriptFile)) && script.Parse();
    m_pGrid->LoadScriptText(m_bScriptLoaded ? GeneralText(script) : std::wstring());
    if (m_pArea) {
        CTreeTextAnalyze values;
        values.SetText(m_pArea->m_strParameters);
        values.Parse();
        m_pGrid->SetValues(GeneralText(values));
    }
    m_pGrid->BuildRows();

    // The side's switch: "1" allows other channels, any other value forbids them, no node allows them.
    m_bMultiChannel = true;
    if (m_pSide) {
        std::unique_ptr<CIDItem> item(CGlobalPara::Get().CreateInstance(L"CParaAnalytic"));
        if (auto* analyser = dynamic_cast<CParaAnalytic*>(item.get())) {
            analyser->LoadText(m_pSide->m_strParameters);
            if (const CTreeTextNode* node = analyser->FindNodeByName(L"允许多通道检测"))
                m_bMultiChannel = node->m_para.m_strValue == L"1";
        }
    }
}

void CDlgMaskPara::OnClone() {
    std::wstring label = m_pLabel->text().toStdWString();
    if (m_cloneTagTaken && m_cloneTagTaken(label)) {
        const std::wstring free = NextFreeTag(label, m_cloneTagTaken);
        if (label != m_strOpenedLabel) {
            // Typed by the operator: not replaced behind their back. The free tag is offered, selected.
            ZrkMessageBox(Translate(L"该标识已经存在!"), windowTitle().toStdWString(), MB_OK | MB_ICONWARNING);
            m_pLabel->setText(QString::fromStdWString(free));
            m_pLabel->selectAll();
            m_pLabel->setFocus();
            return;
        }
        label = free;  // the area's own tag, untouched: the clone takes the next free one
    }
    m_bClone = true;
    m_strLabel = label;
    done(Accepted);
}

void CDlgMaskPara::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        Initialise();
    }
    QDialog::showEvent(event);
}

void CDlgMaskPara::accept() {
    m_pGrid->EndEditing();
    // Every check comes before any write, so that a refused OK leaves the area as it was.
    CTreeTextAnalyze nodes;
    CTreeTextNode* root = nodes.GetRoot();
    for (int row = 1; row < m_pGrid->GetRowCount(); ++row) {
        auto* node = new CTreeTextNode;
        node->m_para.m_strName = m_pGrid->GetItemText(row, kNameColumn);
        if (m_pGrid->GetCellType(row, kValueColumn) == GridCellKind::Check)
            node->m_para.m_strValue = m_pGrid->GetCheck(row, kValueColumn) ? L"1" : L"0";
        else
            node->m_para.m_strValue = m_pGrid->GetItemText(row, kValueColumn);
        node->m_para.m_strRemark = m_pGrid->GetItemText(row, kRemarkColumn);
        node->m_nID = root->m_children.GetMaxID() + 1;
        node->m_nTreeID = node->m_nID;
        const bool refused =
            node->m_para.m_strName == L"检测通道" && node->m_para.m_strValue != L"L" && !m_bMultiChannel;
        root->AddChild(node);
        if (refused) {
            ZrkMessageBox(Translate(L"检测面未设置多通道检测!", 0), Translate(L"注 意", 0),
                          MB_OK | MB_ICONWARNING);
            return;
        }
    }
    const std::wstring label = m_pLabel->text().toStdWString();
    if (label.empty()) {
        ZrkMessageBox(Translate(L"标识不能为空，请添加标识!", 0));
        return;
    }
    if (m_pArea && m_bScriptLoaded) { // without its script the grid shows nothing: keep the area's text
        std::vector<std::wstring> lines;
        for (int i = 0; i < root->GetChildCount(); ++i)
            root->GetChild(i)->WriteNested(lines);
        m_pArea->m_strParameters = JoinLines(lines);
    }
    m_strLabel = label;
    QDialog::accept();
}
