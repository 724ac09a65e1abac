#pragma once
// The fixture of the template-tree dialogs' tests: a deployment copied from the build's sample (scripts,
// language pack, template store), the sample template loaded from its store, a recording prompter, and
// helpers to press buttons, read parameter texts and write screenshots into the build folder.

#include "../editor/EditorDeployment.h"

#include "datastruct/InspType.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "dialogs/ModalRunner.h"
#include "support/RecordingPrompter.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <string>

class TreeDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_sample.Load(1)) << "the build's sample store";
        ASSERT_GE(m_sample.m_inspTypes.GetSize(), 1);
    }

    /// The sample's inspection type "缺陷检测", its side "正面" and that side's phase of the given type.
    CInspType* DefectType() const { return m_sample.m_inspTypes.FindByIDAs<CInspType>(1); }
    CSide* FrontSide() const { return DefectType()->m_sides.FindByIDAs<CSide>(1); }
    CPhase* FrontPhase(int id) const { return FrontSide()->m_phases.FindByIDAs<CPhase>(id); }

    /// Presses a button of the dialog by its name ("1" OK, "2" Cancel, ...).
    static void Press(QDialog& dialog, const char* name) {
        auto* button = dialog.findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    /// The combo's entry texts, in order.
    static std::vector<std::wstring> Entries(const QComboBox* combo) {
        std::vector<std::wstring> texts;
        for (int i = 0; i < combo->count(); ++i)
            texts.push_back(combo->itemText(i).toStdWString());
        return texts;
    }

    /// The value of the node named `name` in a parameter text; "<none>" when the text has no such node.
    static std::wstring NodeValue(const std::wstring& text, const std::wstring& name) {
        CParaAnalytic analyser;
        analyser.LoadText(text);
        const CTreeTextNode* node = analyser.FindNodeByName(name);
        return node ? node->m_para.m_strValue : L"<none>";
    }

    /// Writes the dialog as it is shown into "<build>/screenshots/<name>.png".
    static void Screenshot(QDialog& dialog, const char* name) {
        QDir().mkpath(QStringLiteral(ZRK_SCREENSHOT_DIR));
        dialog.adjustSize();
        const QString path = QStringLiteral(ZRK_SCREENSHOT_DIR) + QString::fromLatin1(name) + ".png";
        EXPECT_TRUE(dialog.grab().save(path)) << path.toStdString();
    }

    EditorDeployment m_deploy{EditorDeployment::Options{.buildSample = true}};
    CModelInfo m_sample;
    CRecordingPrompter m_prompter;
    ScopedPrompter m_scoped{&m_prompter};
};
