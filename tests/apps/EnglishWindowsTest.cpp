// Windows in English: the editor on the sample template and the dialogs its commands open, with the
// deployment's English pack. Every text an operator reads (labels, buttons, group boxes, menus, tooltips,
// window titles, table headers) is English; what stays Chinese is the template's own data and the parameter
// names of the deployment's scripts. And the English texts fit: no button or label is narrower than its text.

#include "EditorDeployment.h"

#include "datastruct/ModelInfo.h"
#include "datastruct/Phase.h"
#include "dialogs/DlgMaskPara.h"
#include "dialogs/MenuRunner.h"
#include "dialogs/ModalRunner.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/QtMenu.h"
#include "editor/ZRKDlg.h"
#include "formats/CodePage.h"
#include "formats/LanguagePack.h"
#include "formats/TreeTextAnalyze.h"
#include "geometry/MaskArea.h"
#include "host/AppProfile.h"
#include "host/ModuleState.h"
#include "support/RecordingPrompter.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

bool HasCjk(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFF00 && u <= 0xFFEF) ||
            (u >= 0x3000 && u <= 0x303F))
            return true;
    }
    return false;
}

/// The node names of every parameter script of the deployment: grids show them as stored.
std::set<QString> ParameterNames(const fs::path& plugIns) {
    std::set<QString> names;
    std::function<void(const CTreeTextNode&)> walk = [&](const CTreeTextNode& node) {
        names.insert(QString::fromStdWString(node.GetName()));
        for (int i = 0; i < node.GetChildCount(); ++i)
            walk(*node.GetChild(i));
    };
    for (const auto& entry : fs::recursive_directory_iterator(plugIns)) {
        if (entry.path().extension() != ".ini")
            continue;
        CTreeTextAnalyze script;
        if (script.LoadFile(Utf8ToWide(entry.path().string())) && script.GetRoot())
            walk(*script.GetRoot());
    }
    return names;
}

/// What one window shows: its texts that are Chinese though neither data nor parameter names, and the
/// controls whose text does not fit.
struct Findings {
    std::vector<std::string> chinese;
    std::vector<std::string> cut;
};

class TextWalker {
public:
    TextWalker(std::set<QString> allowed) : m_allowed(std::move(allowed)) {}

    Findings Walk(QWidget& window) {
        Findings found;
        const QString where = window.metaObject()->className();
        Check(found, where + " title", window.windowTitle());
        QList<QWidget*> widgets = window.findChildren<QWidget*>();
        widgets.prepend(&window);
        for (QWidget* w : widgets) {
            if (!w->isVisibleTo(&window))
                continue;
            const QString name = where + "/" + w->metaObject()->className() + "#" + w->objectName();
            Check(found, name + " tooltip", w->toolTip());
            if (auto* label = qobject_cast<QLabel*>(w)) {
                Check(found, name, label->text());
                if (!label->wordWrap() && !label->text().isEmpty() && label->pixmap().isNull() &&
                    label->width() < label->fontMetrics().horizontalAdvance(label->text()))
                    found.cut.push_back((name + ": " + label->text()).toStdString());
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                Check(found, name, button->text());
                const bool boxed = qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w);
                const int needed = boxed ? button->sizeHint().width()
                                         : button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&'));
                if (!button->text().isEmpty() && button->width() < needed)
                    found.cut.push_back((name + ": " + button->text()).toStdString());
            } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
                Check(found, name, group->title());
            } else if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
                // Headers are the window's; the rows are data (template items, parameter names and values).
                if (QAbstractItemModel* model = view->model())
                    for (int c = 0; c < model->columnCount(); ++c)
                        Check(found, name + " header", model->headerData(c, Qt::Horizontal).toString());
            }
            for (QAction* action : w->actions())
                CheckMenu(found, name, *action);
        }
        return found;
    }

    void CheckMenu(Findings& found, const QString& where, const QAction& action) {
        Check(found, where + " action", action.text());
        Check(found, where + " action tooltip", action.toolTip());
        if (QMenu* menu = action.menu())
            for (QAction* each : menu->actions())
                CheckMenu(found, where + "/" + action.text(), *each);
    }

private:
    void Check(Findings& found, const QString& where, QString text) {
        text.remove('&');
        if (HasCjk(text) && !m_allowed.count(text))
            found.chinese.push_back((where + ": " + text).toStdString());
    }

    std::set<QString> m_allowed;
};

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += "  " + line + "\n";
    return text;
}

class EnglishWindows : public ::testing::Test {
protected:
    void SetUp() override {
        ClearProfile();
        m_language = GetLanguagePack()->GetLanguage();
        // Inside the module, as its exported calls are: its texts are looked up in its section of the pack
        // (the module's start-up on the first call loads the configured language: English is loaded after).
        m_module = std::make_unique<CModuleStateGuard>();
        ASSERT_TRUE(GetLanguagePack()->LoadLanguage(L"english"));
        m_dlg = std::make_unique<CZRKDlg>();
        m_dlg->Create();
        m_dlg->resize(1400, 900);
        m_dlg->show();
        {
            ScopedModalHandler decline(
                [](QDialog& dialog) {
                    dialog.reject();
                    return static_cast<int>(QDialog::Rejected);
                },
                ScopedModalHandler::Optional);  // whatever the activation may ask
            ASSERT_TRUE(m_dlg->ActivateByID(1));
        }
        // The template's own names: the tree's items, and what the model calls its types and sides.
        for (QTreeWidgetItemIterator it(m_dlg->GetTree()); *it; ++it)
            m_allowed.insert((*it)->text(0));
        for (const QString& name : ParameterNames(m_deploy.Dir().Path() / "PlugIns"))
            m_allowed.insert(name);
        SelectFirstPhase();
    }
    void TearDown() override {
        m_dlg.reset();
        m_module.reset();
        GetLanguagePack()->LoadLanguage(m_language);
    }

    void SelectFirstPhase() {
        QTreeWidgetItem* item = m_dlg->GetTree()->topLevelItem(0);
        while (item && CModelTreeCtrl::GetItemDepth(item) < 3 && item->childCount())
            item = item->child(0);
        m_dlg->GetTree()->setCurrentItem(item);
        QApplication::processEvents();
    }
    void CaretAt(int depth) {
        QTreeWidgetItem* item = m_dlg->GetTree()->GetCaretItem();
        while (item && CModelTreeCtrl::GetItemDepth(item) > depth)
            item = item->parent();
        m_dlg->GetTree()->setCurrentItem(item);
    }

    /// Runs `open` and walks the first dialog it shows; the dialog's class name, or empty when none showed.
    std::string WalkDialog(const std::function<void()>& open, Findings& found) {
        std::string shown;
        ScopedModalHandler walk([&](QDialog& dialog) {
            if (shown.empty()) {
                shown = dialog.metaObject()->className();
                dialog.show();
                QApplication::processEvents();
                Findings one = TextWalker(m_allowed).Walk(dialog);
                found.chinese.insert(found.chinese.end(), one.chinese.begin(), one.chinese.end());
                found.cut.insert(found.cut.end(), one.cut.begin(), one.cut.end());
            }
            dialog.reject();
            return static_cast<int>(QDialog::Rejected);
        }, ScopedModalHandler::Optional);  // the caller checks what showed
        open();
        return shown;
    }

    EditorDeployment m_deploy{{.buildSample = true}};
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
    std::wstring m_language;
    std::unique_ptr<CModuleStateGuard> m_module;
    std::unique_ptr<CZRKDlg> m_dlg;
    std::set<QString> m_allowed;
};

} // namespace

TEST_F(EnglishWindows, TheEditorShowsEnglishTextsThatFit) {
    Findings found = TextWalker(m_allowed).Walk(*m_dlg);
    // The tree's context menu at each depth, as it is built for the caret.
    std::unique_ptr<QMenu> menu = m_dlg->BuildTreeMenu();
    for (QAction* action : menu->actions())
        TextWalker(m_allowed).CheckMenu(found, "tree menu", *action);
    EXPECT_TRUE(found.chinese.empty()) << "Chinese texts left:\n" << Lines(found.chinese);
    EXPECT_TRUE(found.cut.empty()) << "texts cut off:\n" << Lines(found.cut);
    // The texts really are the pack's: a pack that failed to load would leave the Chinese ones.
    auto* exit = qobject_cast<QAbstractButton*>(m_dlg->GetControl(zrkid::IDC_EXIT));
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(exit->text(), QStringLiteral("Exit"));
}

TEST_F(EnglishWindows, TheDialogsOfTheEditorsCommandsShowEnglishTextsThatFit) {
    using namespace zrkid;
    Findings found;
    std::vector<std::string> opened;
    auto command = [&](int depth, int id) {
        if (depth > 0)
            CaretAt(depth);
        opened.push_back(WalkDialog([&] { m_dlg->OnCommand(id); }, found));
        SelectFirstPhase();
    };
    command(1, ID_EDIT_TYPE);
    command(2, ID_EDIT_SIDE);
    command(3, ID_EDIT_PHASE);
    command(0, ID_COPY_DATA);
    command(0, ID_SIDE_TYPES);
    command(0, ID_PHASE_TYPES);
    command(0, ID_MASK_COEFF_TYPES);
    command(0, ID_CUSTOM_TYPES);
    command(0, ID_REF_IMAGES);
    CPhase* phase = m_dlg->GetCurPhase();
    ASSERT_NE(phase, nullptr);
    CPhaseMaskArea* area = nullptr;
    for (int i = 0; i < phase->m_areas.GetSize() && !area; ++i)
        area = phase->m_areas.GetAtAs<CPhaseMaskArea>(i);
    ASSERT_NE(area, nullptr) << "the sample's first print pass has inspection areas";
    opened.push_back(WalkDialog(
        [&] {
            CDlgMaskPara dialog(m_dlg->GetCurType(), m_dlg->GetCurSide(), area, L"PhaseMaskPara.ini", true,
                                m_dlg.get());
            dialog.DoModal();
        },
        found));
    opened.push_back(WalkDialog(
        [&] {
            m_dlg->GetDocument().SetSelShape(area);
            m_dlg->PaintSelectedMask();
        },
        found));
    for (const std::string& name : opened)
        EXPECT_FALSE(name.empty()) << "a command opened no dialog";
    EXPECT_EQ(std::set<std::string>(opened.begin(), opened.end()).size(), opened.size()) << "each a dialog of its own";
    EXPECT_TRUE(found.chinese.empty()) << "Chinese texts left:\n" << Lines(found.chinese);
    EXPECT_TRUE(found.cut.empty()) << "texts cut off:\n" << Lines(found.cut);
}

TEST_F(EnglishWindows, TheChineseEditorKeepsItsNarrowLayout) {
    // Widening is for longer translations only: in Chinese the left column and the toolbar's buttons keep
    // their sizes.
    GetLanguagePack()->LoadLanguage(L"chinese");
    CZRKDlg chinese;
    chinese.Create();
    chinese.resize(1400, 900);
    chinese.show();
    QApplication::processEvents();
    EXPECT_EQ(chinese.GetTree()->width(), 240);
    for (QToolButton* button : chinese.GetToolBar()->findChildren<QToolButton*>()) {
        if (button->objectName().toInt() > 0) {
            EXPECT_EQ(button->width(), 50) << button->text().toStdString();
        }
    }
    // In English both grew to hold their texts.
    EXPECT_GT(m_dlg->GetTree()->width(), 240);
}

TEST_F(EnglishWindows, CustomParametersStayOfferedForTheDefectInspectionTypeUnderItsStoredName) {
    // The sample's type is stored as "缺陷检测"; an English interface still offers its custom parameters.
    std::vector<bool> enabled;
    ScopedMenuHandler look([&](QMenu& menu) -> QAction* {
        for (QAction* action : menu.actions())
            if (int command = CQtMenu::GetCommand(action);
                command == zrkid::ID_CUSTOM_HIGH || command == zrkid::ID_CUSTOM_LOW)
                enabled.push_back(action->isEnabled());
        return nullptr;
    });
    emit m_dlg->GetTree()->customContextMenuRequested(QPoint(5, 5));
    EXPECT_EQ(enabled, (std::vector<bool>{true, true}));
}

// In the host, clicks reach the editor through its own windows, outside every exported call, while the
// host's own section of the pack is current: what they open must still speak English, and the host gets its
// section back afterwards.
TEST_F(EnglishWindows, WhatTheEditorsOwnControlsOpenOutsideAnExportedCallIsEnglishToo) {
    m_module.reset();
    GetLanguagePack()->SetSection(L"HostSection");
    QToolButton* refImages = m_dlg->GetToolButton(zrkid::ID_REF_IMAGES);
    ASSERT_NE(refImages, nullptr);
    Findings found;
    const std::string shown = WalkDialog([&] { refImages->click(); }, found);
    EXPECT_EQ(shown, "CDlgRefImageEdit");
    EXPECT_TRUE(found.chinese.empty()) << "Chinese texts left:\n" << Lines(found.chinese);
    EXPECT_EQ(GetLanguagePack()->GetSection(), L"HostSection");
    // A tool chosen by its button says so in English.
    auto* kernelTool = qobject_cast<QAbstractButton*>(m_dlg->GetControl(zrkid::IDC_TOOL_FIRST + 6));
    ASSERT_NE(kernelTool, nullptr);
    kernelTool->click();
    EXPECT_FALSE(HasCjk(QString::fromStdWString(m_dlg->GetStatusText()))) << m_dlg->GetStatusText().size();
    EXPECT_EQ(GetLanguagePack()->GetSection(), L"HostSection");
    GetLanguagePack()->SetSection(L"ZRKDll.dll");
}
