// The sample deployment: the scripts hold every node the editor reads or sets by name, and MakeSample
// builds a template that loads whole, composes, and agrees with its own small-sheet geometry.

#include "datastruct/CameraRefImage.h"
#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "datastruct/SysPara.h"
#include "formats/CodePage.h"
#include "formats/Format.h"
#include "formats/IniFile.h"
#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

const std::filesystem::path kSources = ZRK_DEPLOY_SOURCES;

std::wstring Script(const std::string& relative) {
    return Utf8ToWide((kSources / "PlugIns" / relative).string());
}

struct CExpectedNode {
    const char* file;
    const wchar_t* name;
    int type;
    const wchar_t* defaultValue;
};

TEST(SampleScripts, HoldEveryNodeReadOrSetByNameWithoutCaption) {
    const CExpectedNode nodes[] = {
        {"KernelPara.ini", L"定位方式", 3, L"区域定位"},
        {"KernelPara.ini", L"直线定位极性", 3, L"由暗到亮"},
        {"KernelPara.ini", L"直线定位阈值", 0, L"10"},
        {"KernelPara.ini", L"投影方向", 3, L"0度"},
        {"缺陷检测/SidePara.ini", L"允许多通道检测", 2, L"0"},
    };
    for (const auto& n : nodes) {
        SCOPED_TRACE(n.file);
        CParaAnalytic pa;
        ASSERT_TRUE(pa.LoadFile(Script(n.file)));
        CTreeTextNode* node = pa.FindNodeByName(n.name);
        ASSERT_NE(node, nullptr) << WideToUtf8(n.name);
        EXPECT_EQ(node->m_para.m_nType, n.type);
        EXPECT_EQ(node->m_para.m_strDefaultValue, n.defaultValue);
        EXPECT_EQ(CParaAnalytic::GetCaption(*node), L""); // the grid writes the shown name back
    }
    CParaAnalytic kernel;
    kernel.LoadFile(Script("KernelPara.ini"));
    EXPECT_EQ(kernel.FindNodeByName(L"定位方式")->m_para.m_arComboList,
              (std::vector<std::wstring>{L"区域定位", L"直线定位"}));
    // Every value the editor writes into a choice node is one of its choices.
    auto offers = [](CTreeTextNode* node, const wchar_t* value) {
        const auto& choices = node->m_para.m_arComboList;
        return std::find(choices.begin(), choices.end(), value) != choices.end();
    };
    EXPECT_TRUE(offers(kernel.FindNodeByName(L"直线定位极性"), L"由亮到暗"));
    EXPECT_TRUE(offers(kernel.FindNodeByName(L"投影方向"), L"90度"));
    for (const char* type : {"缺陷检测", "尺寸定位"}) {
        CParaAnalytic mask;
        ASSERT_TRUE(mask.LoadFile(Script(std::string(type) + "/PhaseMaskPara.ini")));
        EXPECT_TRUE(offers(mask.FindNodeByName(L"检测通道"), L"L"));
        EXPECT_EQ(mask.FindNodeByName(L"检测通道")->m_para.m_nType, 3);
    }
    for (const char* type : {"缺陷检测", "尺寸定位"}) {
        SCOPED_TRACE(type);
        const std::string folder = std::string(type) + "/";
        CParaAnalytic phase, mask, note, insp;
        ASSERT_TRUE(phase.LoadFile(Script(folder + "PhasePara.ini")));
        for (const wchar_t* name : {L"前景", L"是否允许侵入", L"检测力度结构_高", L"检测力度结构_低",
                                    L"检测力度结构_颜色", L"是否颜色检测"}) {
            ASSERT_NE(phase.FindNodeByName(name), nullptr) << WideToUtf8(name);
            EXPECT_EQ(CParaAnalytic::GetCaption(*phase.FindNodeByName(name)), L"");
        }
        EXPECT_EQ(phase.FindNodeByName(L"是否允许侵入")->m_para.m_nType, 2);
        ASSERT_TRUE(mask.LoadFile(Script(folder + "PhaseMaskPara.ini")));
        EXPECT_EQ(mask.FindNodeByName(L"定位核X")->m_para.m_strDefaultValue, L"0");
        EXPECT_EQ(mask.FindNodeByName(L"定位核Y")->m_para.m_strDefaultValue, L"0");
        EXPECT_EQ(mask.FindNodeByName(L"检测通道")->m_para.m_strDefaultValue, L"L");
        EXPECT_TRUE(note.LoadFile(Script(folder + "NotePara.ini")));
        EXPECT_GT(note.GetNodeCount(), 0);
        EXPECT_TRUE(insp.LoadFile(Script(folder + "InspTypePara.ini")));
        EXPECT_GT(insp.GetNodeCount(), 0);
    }
    CParaAnalytic fresh; // a new type's name is empty: it reads from the plug-in folder itself
    EXPECT_TRUE(fresh.LoadFile(Script("InspTypePara.ini")));
    // The size-locating side holds nine empty association slots and nothing else.
    CParaAnalytic slots;
    ASSERT_TRUE(slots.LoadFile(Script("尺寸定位/SidePara.ini")));
    ASSERT_EQ(slots.GetNodeCount(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(slots.GetNode(i)->m_para.m_strDefaultValue, L"");
        EXPECT_EQ(slots.GetNode(i)->m_para.m_strValue, L"");
    }
    // The custom script has the path 其他 → 1 → 缺陷名称.
    CTreeTextAnalyze custom;
    ASSERT_TRUE(custom.LoadFile(Script("Custom/自定义.ini")));
    custom.Parse();
    auto* other = dynamic_cast<CTreeTextNode*>(custom.GetRoot()->m_children.FindByName(L"其他"));
    ASSERT_NE(other, nullptr);
    auto* one = dynamic_cast<CTreeTextNode*>(other->m_children.FindByName(L"1"));
    ASSERT_NE(one, nullptr);
    EXPECT_NE(one->m_children.FindByName(L"缺陷名称"), nullptr);
}

// The mask dialog stores each grid row as a fresh node named by the row's shown text (the caption when
// there is one) and without extra lines; the next time the grid takes its values from that text, first by
// caption and then by name. Every node of the mask scripts must be found again, or its value is lost.
TEST(SampleScripts, MaskScriptValuesSurviveTheMaskDialog) {
    for (const char* type : {"缺陷检测", "尺寸定位"}) {
        SCOPED_TRACE(type);
        CParaAnalytic grid;
        ASSERT_TRUE(grid.LoadFile(Script(std::string(type) + "/PhaseMaskPara.ini")));
        std::wstring stored;
        for (int i = 0; i < grid.GetNodeCount(); ++i)
            stored += L"[" + CParaAnalytic::GetDisplayText(*grid.GetNode(i)) + L"]\r\n    Type=0\r\n    Value=v" +
                      std::to_wstring(i) + L"\r\n[END]\r\n";
        CParaAnalytic values;
        values.LoadText(stored);
        for (int i = 0; i < grid.GetNodeCount(); ++i) {
            CTreeTextNode* node = grid.GetNode(i);
            CTreeTextNode* match = values.FindNodeByCaption(CParaAnalytic::GetCaption(*node));
            if (!match)
                match = values.FindNodeByName(node->m_para.m_strName);
            ASSERT_NE(match, nullptr) << WideToUtf8(node->m_para.m_strName);
            EXPECT_EQ(match->m_para.m_strValue, L"v" + std::to_wstring(i));
        }
    }
}

TEST(SampleConfiguration, LanguageAndPressDelay) {
    CIniFile system, config;
    ASSERT_TRUE(system.Load(Utf8ToWide((kSources / "Home/Config/system.ini").string())));
    std::wstring language;
    ASSERT_TRUE(system.GetValue(L"BasicPara", L"Language", language));
    EXPECT_EQ(language, L"chinese");
    ASSERT_TRUE(config.Load(Utf8ToWide((kSources / "config.ini").string())));
    EXPECT_EQ(config.GetInt(L"General", L"bIfMouseTimeDelay", 0), 1);
    // The pack holds the texts of the keys the editor shows by number.
    ScopedEnv exe("ZRK_EXE_FOLDER", kSources.string());
    CLanguagePack pack;
    ASSERT_TRUE(pack.LoadLanguage(L"chinese"));
    pack.SetSection(L"ZRKDll.dll");
    for (const wchar_t* key : {L"1022", L"1023", L"1027"})
        EXPECT_NE(pack.Translate(key), key);
    // The copy-data dialog shows every caption, header and message by number.
    for (const wchar_t* key : {L"2601", L"2602", L"2612", L"2604", L"2605", L"2606", L"2610", L"2611", L"2",
                               L"3", L"2621", L"2622", L"2623", L"2624", L"2625", L"2626", L"2627"})
        EXPECT_NE(pack.Translate(key), key) << WideToUtf8(key);
    EXPECT_EQ(pack.Translate(L"2"), L"确定");
    EXPECT_EQ(pack.Translate(L"3"), L"取消");
    // Headers take one integer; the kernel report takes identifier, column, row and a line break.
    EXPECT_NE(Format(pack.Translate(L"2623"), 2).find(L'2'), std::wstring::npos);
    EXPECT_NE(Format(pack.Translate(L"2624"), 3).find(L'3'), std::wstring::npos);
    const std::wstring report = Format(pack.Translate(L"2627"), 17, 3, 2, L"\r\n");
    EXPECT_NE(report.find(L"17"), std::wstring::npos);
    EXPECT_EQ(report.substr(report.size() - 2), L"\r\n");
}

class SampleTemplateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        std::filesystem::copy(kSources, s_dir->Path(), std::filesystem::copy_options::recursive);
        const std::string command =
            std::string(ZRK_MAKESAMPLE) + " '" + s_dir->Path().string() + "' --small-only > /dev/null";
        s_status = std::system(command.c_str());
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        ASSERT_EQ(s_status, 0);
        ASSERT_TRUE(m_model.Load(1)) << WideToUtf8(m_model.GetLastError());
    }

    static TempDir* s_dir;
    static int s_status;
    ScopedEnv m_exe{"ZRK_EXE_FOLDER", s_dir ? s_dir->Path().string() : std::string()};
    CModelInfo m_model;
};
TempDir* SampleTemplateTest::s_dir = nullptr;
int SampleTemplateTest::s_status = -1;

TEST_F(SampleTemplateTest, CatalogueAndCataloguesOfTheModel) {
    CSysPara sys;
    ASSERT_TRUE(sys.Load());
    ASSERT_EQ(sys.GetCatalogue().size(), 1u);  // made without the 8K sample (the assisted set-up's tests use it)
    EXPECT_EQ(sys.GetCatalogue()[0].m_strName, L"样例模板");
    EXPECT_EQ(sys.m_nActiveModelID, 1);
    EXPECT_EQ(m_model.m_inspTypes.GetSize(), 2);
    EXPECT_NE(m_model.m_inspTypes.FindByName(L"缺陷检测"), nullptr);
    EXPECT_NE(m_model.m_inspTypes.FindByName(L"尺寸定位"), nullptr);
    EXPECT_GE(m_model.m_sideTypes.GetSize(), 2);
    EXPECT_GE(m_model.m_phaseTypes.GetSize(), 2);
    EXPECT_GE(m_model.m_maskCoeffTypes.GetSize(), 2);
    EXPECT_NE(m_model.m_phaseTypes.GetAtAs<CPhaseType>(0)->m_crRefColor,
              m_model.m_phaseTypes.GetAtAs<CPhaseType>(1)->m_crRefColor);
    // The custom types the phase dialog would ensure, with the defect renamed in their script text.
    auto* high = dynamic_cast<CCustomParaType*>(m_model.m_customParaTypes.FindByName(L"正面-印次1-高"));
    ASSERT_NE(high, nullptr);
    CParaAnalytic pa;
    pa.LoadText(high->m_strScriptText);
    ASSERT_NE(pa.FindNodeByName(L"缺陷名称"), nullptr);
    EXPECT_EQ(pa.FindNodeByName(L"缺陷名称")->m_para.m_strValue, L"印次1浅");
}

TEST_F(SampleTemplateTest, EverySideShowsItsComposedImageAndNotesMatchItsSheets) {
    for (int t = 0; t < m_model.m_inspTypes.GetSize(); ++t) {
        auto* type = m_model.m_inspTypes.GetAtAs<CInspType>(t);
        for (int s = 0; s < type->m_sides.GetSize(); ++s) {
            auto* side = type->m_sides.GetAtAs<CSide>(s);
            ASSERT_NE(m_model.m_sideTypes.FindByID(side->m_nID), nullptr);
            CRefImage* ref = m_model.m_refImageSet.FindRefImage(side->m_nRefImageID);
            ASSERT_NE(ref, nullptr);
            ASSERT_TRUE(ref->ApplySplit(side->m_nSplitID));
            ASSERT_TRUE(ref->Load());
            ASSERT_TRUE(ref->Prepare());
            EXPECT_EQ(ref->GetImageSize(), CSize(1200, 800));
            for (int p = 0; p < side->m_phases.GetSize(); ++p) {
                auto* phase = side->m_phases.GetAtAs<CPhase>(p);
                ASSERT_NE(m_model.m_phaseTypes.FindByID(phase->m_nID), nullptr);
                EXPECT_EQ(phase->m_notes.GetSize(), ref->m_nCols * ref->m_nRows);
                EXPECT_GT(phase->m_areas.GetSize(), 0);
                for (int n = 0; n < phase->m_notes.GetSize(); ++n)
                    EXPECT_EQ(phase->m_notes.GetAt(n)->m_nID, n + 1);
            }
            for (int k = 0; k < ref->m_kernels.GetSize(); ++k) {
                auto* kernel = ref->m_kernels.GetAtAs<CKernel>(k);
                const CPoint origin = ref->GetSheetOrigin(kernel->m_nSheetCol, kernel->m_nSheetRow);
                EXPECT_EQ(kernel->m_nOffsetX, -origin.x);
                EXPECT_EQ(kernel->m_nOffsetY, -origin.y);
                EXPECT_TRUE(ref->GetSheetRect(kernel->m_nSheetCol, kernel->m_nSheetRow)
                                .PtInRect(kernel->GetPoint(0)));
            }
            ref->Release();
        }
    }
    auto* size = m_model.m_inspTypes.GetAtAs<CInspType>(1);
    CRefImage* ref = m_model.m_refImageSet.FindRefImage(size->m_sides.GetAtAs<CSide>(0)->m_nRefImageID);
    CRect area;
    EXPECT_TRUE(ref->FindSplitAreaByRemark(L"尺寸定位分区", area));
}

TEST_F(SampleTemplateTest, DefectSideHasShieldedAreasCustomMasksAndKernelsOnEverySheet) {
    auto* side = m_model.m_inspTypes.GetAtAs<CInspType>(0)->m_sides.GetAtAs<CSide>(0);
    ASSERT_GT(side->m_threshMasks.GetSize(), 0);
    EXPECT_GT(side->m_threshMasks.GetAtAs<CThreshMaskArea>(0)->m_coeffs.GetSize(), 0);
    ASSERT_GT(side->m_customMasks.GetSize(), 1);
    for (int i = 0; i < side->m_customMasks.GetSize(); ++i) {
        auto* mask = dynamic_cast<CCustomMaskArea*>(side->m_customMasks.GetAt(i));
        ASSERT_NE(mask, nullptr);
        EXPECT_NE(m_model.m_customParaTypes.FindByID(mask->m_nCustomTypeID), nullptr); // its fill colour
        EXPECT_FALSE(mask->m_strTag.empty());
    }
    CRefImage* ref = m_model.m_refImageSet.FindRefImage(side->m_nRefImageID);
    ref->ApplySplit(side->m_nSplitID);
    EXPECT_EQ(ref->m_nCols, 3);
    EXPECT_EQ(ref->m_nRows, 2);
    EXPECT_EQ(ref->m_kernels.GetSize(), 6);
    // Camera paths are kept relative to the deployment, so the copied deployment finds its own images.
    auto* camera = ref->m_cameras.GetAtAs<CCameraRefImage>(0);
    EXPECT_EQ(camera->m_strName.rfind(Utf8ToWide(s_dir->Path().string()), 0), 0u);
    EXPECT_EQ(camera->GetWidth(), 600);
}

} // namespace
