#include "dialogs/DlgCustomParaTypeEdit.h"

#include "dialogs/CatalogueChecks.h"
#include "dialogs/ColorSwatch.h"
#include "dialogs/ModalRunner.h"
#include "dialogs/SelectIndex.h"
#include "dialogs/TreeTextCtrl.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "formats/Utility.h"
#include "grid/GridCtrlEx.h"
#include "host/CustomFindFile.h"
#include "host/FindFileData.h"
#include "host/GlobalPara.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <vector>

namespace {

constexpr int kValueColumn = 2;
constexpr int kRemarkColumn = 3;

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

QLabel* MakeLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

CustomScriptSource CustomScriptSource::FromDeployment() {
    return {GetExeFolder() + L"PlugIns/Custom/", CGlobalPara::Get().m_pfnCreateDllInstance};
}

CDlgCustomParaTypeEdit::CDlgCustomParaTypeEdit(CItemList& list, CCustomParaType& item, QWidget* parent)
    : CDlgCustomParaTypeEdit(list, item, CustomScriptSource::FromDeployment(), parent) {}

CDlgCustomParaTypeEdit::CDlgCustomParaTypeEdit(CItemList& list, CCustomParaType& item,
                                               const CustomScriptSource& source, QWidget* parent)
    : QDialog(parent), m_byMaskGray(item.m_byMaskGray), m_crColor(item.m_crRefColor), m_list(list),
      m_item(item), m_source(source) {
    setObjectName(QStringLiteral("DlgCustomParaTypeEdit"));
    m_pName = new QLineEdit(this);
    m_pName->setObjectName(QStringLiteral("35120"));
    m_pNumber = new QLineEdit(this);
    m_pNumber->setObjectName(QStringLiteral("35121"));
    m_pNumber->setEnabled(false);
    m_pGray = new QLineEdit(this);
    m_pGray->setObjectName(QStringLiteral("35122"));
    m_pGray->setReadOnly(true);
    auto* grayButton = new QPushButton(QStringLiteral("..."), this);
    grayButton->setObjectName(QStringLiteral("35123"));
    auto* colorButton = new QPushButton(QStringLiteral("..."), this);
    colorButton->setObjectName(QStringLiteral("35124"));
    for (QPushButton* button : {grayButton, colorButton})
        button->setFixedWidth(32);
    m_pSwatch = new CColorSwatch(this);
    m_pSwatch->setObjectName(QStringLiteral("35130"));
    m_pScript = new QComboBox(this);
    m_pScript->setObjectName(QStringLiteral("35125"));
    m_pTree = new CTreeTextCtrl(this);
    m_pTree->setObjectName(QStringLiteral("35126"));
    m_pGrid = new CGridCtrlEx(m_source.factory, this);
    m_pGrid->setObjectName(QStringLiteral("35127"));
    auto* ok = new QPushButton(this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(this);
    cancel->setObjectName(QStringLiteral("2"));

    connect(grayButton, &QPushButton::clicked, this, &CDlgCustomParaTypeEdit::OnChooseGray);
    connect(colorButton, &QPushButton::clicked, this, &CDlgCustomParaTypeEdit::OnChooseColor);
    connect(m_pScript, &QComboBox::currentIndexChanged, this, [this](int) {
        if (m_bInitialised)
            LoadScript();
    });
    connect(m_pTree, &QTreeWidget::currentItemChanged, this, &CDlgCustomParaTypeEdit::ShowGroup);
    connect(ok, &QPushButton::clicked, this, &CDlgCustomParaTypeEdit::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlgCustomParaTypeEdit::reject);

    auto* form = new QGridLayout;
    form->addWidget(MakeLabel("35013", this), 0, 0);
    form->addWidget(m_pName, 0, 1, 1, 2);
    form->addWidget(MakeLabel("35014", this), 0, 3);
    form->addWidget(m_pNumber, 0, 4, 1, 2);
    form->addWidget(MakeLabel("35015", this), 1, 0);
    form->addWidget(m_pGray, 1, 1);
    form->addWidget(grayButton, 1, 2);
    form->addWidget(MakeLabel("35017", this), 1, 3);
    form->addWidget(m_pSwatch, 1, 4);
    form->addWidget(colorButton, 1, 5);
    form->addWidget(MakeLabel("35129", this), 2, 0);
    form->addWidget(m_pScript, 2, 1, 1, 5);
    form->setColumnStretch(1, 1);
    form->setColumnStretch(4, 1);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_pTree);
    splitter->addWidget(m_pGrid);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 520});

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(MakeLabel("35128", this));
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(780, 520);
}

CDlgCustomParaTypeEdit::~CDlgCustomParaTypeEdit() = default;

int CDlgCustomParaTypeEdit::DoModal() {
    return RunModal(*this);
}

void CDlgCustomParaTypeEdit::FillScriptChoice() {
    const QSignalBlocker blocker(m_pScript);
    m_pScript->clear();
    CCustomFindFile files;
    files.Fill(m_source.folder + L"*.ini");
    int chosen = -1;
    for (int i = 0; i < files.GetSize(); ++i) {
        const std::wstring name = files.GetAt(i)->GetName();
        m_pScript->addItem(QString::fromStdWString(name));
        if (chosen < 0 && name == m_item.m_strScriptName)
            chosen = i;
    }
    m_pScript->setCurrentIndex(chosen);
}

void CDlgCustomParaTypeEdit::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        FillScriptChoice();
        m_pName->setText(QString::fromStdWString(m_item.m_strName));
        m_pNumber->setText(QString::fromStdWString(Format(L"%d", m_item.m_nID)));
        m_pGray->setText(QString::number(m_byMaskGray));
        m_pSwatch->SetColor(m_crColor);
        setWindowTitle(Tr(L"自定义参数类型编辑"));
        const std::pair<const char*, const wchar_t*> texts[] = {
            {"35013", L"名称(&M):"}, {"35014", L"编号:"},     {"35015", L"掩模灰度:"},
            {"35017", L"参考颜色:"}, {"35129", L"脚本名称:"}, {"35128", L"参数:"}};
        for (const auto& [name, text] : texts)
            if (auto* label = findChild<QLabel*>(QString::fromLatin1(name)))
                label->setText(Tr(text));
        findChild<QPushButton*>(QStringLiteral("1"))->setText(Tr(L"确定"));
        findChild<QPushButton*>(QStringLiteral("2"))->setText(Tr(L"取消"));
        m_bInitialised = true;
        LoadScript();
    }
    QDialog::showEvent(event);
}

std::wstring CDlgCustomParaTypeEdit::ChosenScriptPath() const {
    if (m_pScript->currentIndex() < 0)
        return std::wstring();
    return m_source.folder + m_pScript->currentText().toStdWString();
}

void CDlgCustomParaTypeEdit::LoadScript() {
    m_pGrid->Clear();
    m_nShownTreeID = -1;
    const std::wstring path = ChosenScriptPath();
    if (!path.empty() && PathExists(path))
        m_pGrid->LoadScriptFile(path);
    if (m_doc.Load(path, m_item.m_strScriptText) == CCustomParaScript::State::Unreadable)
        ZrkMessageBox(Format(Translate(L"无法读取脚本文件 %s, 保留原有的参数!", 0),
                             m_pScript->currentText().toStdWString()),
                      L"", MB_OK | MB_ICONWARNING);
    m_pTree->ShowTree(m_doc.GetValuesRoot());
}

void CDlgCustomParaTypeEdit::CommitGroup() {
    if (m_nShownTreeID < 0) {
        m_pGrid->Clear();
        return;
    }
    m_pGrid->EndEditing();
    std::vector<CCustomParaScript::RowText> rows;
    for (int row = 1; row < m_pGrid->GetRowCount(); ++row) {
        std::wstring value = m_pGrid->GetCellType(row, kValueColumn) == GridCellKind::Check
                                 ? std::wstring(m_pGrid->GetCheck(row, kValueColumn) ? L"1" : L"0")
                                 : m_pGrid->GetItemText(row, kValueColumn);
        rows.push_back({std::move(value), m_pGrid->GetItemText(row, kRemarkColumn)});
    }
    m_doc.CommitGroup(m_nShownTreeID, rows);
}

void CDlgCustomParaTypeEdit::ShowGroup(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    CommitGroup();
    CTreeTextNode* node = CTreeTextCtrl::GetNode(current);
    if (!node || CTreeTextCtrl::GetDepth(current) != 1 || current == previous) {
        m_pGrid->Clear();
        m_nShownTreeID = -1;
        m_pGrid->Refresh();
        return;
    }
    // The group as the values tree holds it (a copy appended when it was missing there).
    const std::wstring text = m_doc.GroupIniText(*node, &m_nShownTreeID);
    m_pGrid->LoadScriptText(text);
    m_pGrid->BuildRows();
    const bool readOnly = m_doc.GetState() == CCustomParaScript::State::Unreadable;
    for (int row = 1; row < m_pGrid->GetRowCount(); ++row) {
        const std::wstring value = m_doc.RowValue(m_nShownTreeID, m_pGrid->GetItemText(row, 1));
        if (!value.empty())
            m_pGrid->SetItemText(row, kValueColumn, value);
        if (readOnly) {
            m_pGrid->SetItemReadOnly(row, kValueColumn);
            m_pGrid->SetItemReadOnly(row, kRemarkColumn);
        }
    }
    m_pGrid->Refresh();
}

void CDlgCustomParaTypeEdit::OnChooseGray() {
    std::vector<uint8_t> taken;
    for (int i = 0; i < m_list.GetSize(); ++i) {
        const auto* type = m_list.GetAtAs<CCustomParaType>(i);
        // The edited type's own value is not taken by another type: it stays free to keep.
        if (type && type != &m_item)
            taken.push_back(type->m_byMaskGray);
    }
    CSelectIndex picker(Translate(L"请选择合适的灰度", 0), taken, m_byMaskGray, this);
    if (picker.DoModal() == QDialog::Accepted) {
        m_byMaskGray = picker.m_byResult;
        m_pGray->setText(QString::number(m_byMaskGray));
    }
}

void CDlgCustomParaTypeEdit::OnChooseColor() {
    COLORREF chosen = m_crColor;
    if (GetPrompter().ChooseColor(m_crColor, chosen)) {
        m_crColor = chosen;
        m_pSwatch->SetColor(chosen);
        update();
    }
}

void CDlgCustomParaTypeEdit::accept() {
    const std::wstring name = m_pName->text().toStdWString();
    std::wstring message;
    if (!CheckMaxChars(name, kMaxNameChars, message)) {
        ZrkMessageBox(message);
        m_pName->setFocus();
        return;
    }
    if (name.empty()) {
        ZrkMessageBox(Translate(L"请输入一个合适的名称!", 0));
        m_pName->setFocus();
        return;
    }
    if (m_pScript->currentIndex() < 0) {
        ZrkMessageBox(Translate(L"请选择合适的脚本!", 0));
        return;
    }
    CommitGroup();
    m_item.m_strName = name;
    m_item.m_strScriptName = m_pScript->currentText().toStdWString();
    m_item.m_byMaskGray = m_byMaskGray;
    m_item.m_crRefColor = m_crColor;
    // An unreadable script gave nothing to synchronise against: the stored text stays as it was.
    if (m_doc.GetState() != CCustomParaScript::State::Unreadable)
        m_item.m_strScriptText = m_doc.GetScriptText();
    QDialog::accept();
}
