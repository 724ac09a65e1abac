#include "EditorDeployment.h"

#include "editor/DraftKeeper.h"

#include "datastruct/CameraRefImage.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "datastruct/SysPara.h"
#include "datastruct/TemplateStore.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "model/ParaTypes.h"

#include <QSettings>
#include <opencv2/imgproc.hpp>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
const fs::path kBuild = ZRK_DEPLOY_DIR;

const char* kKernelScript =
    "[定位方式]\r\nType=3\r\nComboList=区域定位,直线定位\r\nDefaultValue=区域定位\r\nValue=区域定位\r\n[END]\r\n"
    "[直线定位阈值]\r\nDefaultValue=10\r\nValue=10\r\n[END]\r\n";

// A 1200 x 800 colour camera image: a light sheet with a dark print block in each of the 3 x 2 sheets.
void WriteCamera(const fs::path& path) {
    CImgBuffer image(1, 1200, 800, IMG_FORMAT_RGB24);
    if (!image.Create())
        throw std::runtime_error("camera buffer");
    cv::Mat& mat = image.GetMat();
    mat.setTo(cv::Scalar(230, 240, 250));
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            cv::rectangle(mat, cv::Rect(c * 400 + 100, r * 400 + 100, 200, 150), cv::Scalar(40 * c, 60, 200 - 50 * r),
                          cv::FILLED);
    if (!WriteBmpFile(path.wstring(), image))
        throw std::runtime_error("camera file");
}

CRefImage* MakeRefImage(int id, const std::wstring& cameraFile) {
    auto* ref = new CRefImage;
    ref->m_nID = id;
    ref->m_strRemark = L"参考图" + std::to_wstring(id);
    auto* camera = new CCameraRefImage;
    camera->m_nID = 1;
    camera->m_strName = cameraFile;
    ref->m_cameras.Add(camera);
    auto* split = new CSplitAreaPara;
    split->m_nID = 1;
    split->m_nCols = 3;
    split->m_nRows = 2;
    split->m_strRemark = L"三乘二";
    ref->m_splits.Add(split);
    return ref;
}

CPhase* MakePhase(int id, int notes) {
    auto* phase = new CPhase;
    phase->m_nID = id;
    for (int i = 0; i < notes; ++i) {
        auto* note = new CNote;
        note->m_nID = i + 1;
        phase->m_notes.Add(note);
    }
    return phase;
}
} // namespace

EditorDeployment::EditorDeployment(Options options) {
    const fs::path root = m_dir.Path();
    if (options.dataLibrary)
        fs::create_symlink(kBuild / "libDataStruct.so", root / "libDataStruct.so");
    fs::create_symlink(kBuild / "libNewWizardDLL.so", root / "libNewWizardDLL.so");
    if (options.releaseLibrary)
        fs::create_symlink(kBuild / "libReleaseModelDLL.so", root / "libReleaseModelDLL.so");
    if (options.buildSample) {
        for (const char* part : {"Home", "image", "PlugIns", "Language", "config.ini"})
            fs::copy(kBuild / part, root / part, fs::copy_options::recursive);
        fs::remove(root / "PlugIns" / "libSamplePlugIn.so");
        m_exe = std::make_unique<ScopedEnv>("ZRK_EXE_FOLDER", root.string());
        return;
    }
    fs::create_directories(root / "PlugIns" / "Custom");
    fs::create_directories(root / "Home" / "Config");
    m_dir.WriteBytes("PlugIns/KernelPara.ini", kKernelScript);
    m_dir.WriteBytes("Home/Config/system.ini", "[BasicPara]\r\nLanguage=chinese\r\n");
    m_dir.WriteBytes("config.ini", "[General]\r\nbIfMouseTimeDelay=1\r\n");
    WriteCamera(root / "Home" / "cam1.bmp");
    m_exe = std::make_unique<ScopedEnv>("ZRK_EXE_FOLDER", root.string());
}

EditorDeployment::~EditorDeployment() = default;

std::unique_ptr<CModelInfo> EditorDeployment::MakeSampleModel(int id, const std::wstring& name,
                                                              const std::wstring& title) {
    auto model = std::make_unique<CModelInfo>();
    model->m_nID = id;
    model->m_strName = name;
    model->m_strTitle = title;
    for (auto [sid, sname] : {std::pair{1, L"正面"}, std::pair{2, L"反面"}}) {
        auto* type = new CSideType;
        type->m_nID = sid;
        type->m_strName = sname;
        model->m_sideTypes.Add(type);
    }
    for (auto [pid, pname] : {std::pair{1, L"第一印次"}, std::pair{2, L"第二印次"}}) {
        auto* type = new CPhaseType;
        type->m_nID = pid;
        type->m_strName = pname;
        type->m_crRefColor = 0x0000FF;
        type->m_crMaskColor = 0x00FF00;
        model->m_phaseTypes.Add(type);
    }
    model->m_refImageSet.m_refImages.Add(MakeRefImage(1, L"Home/cam1.bmp"));
    model->m_refImageSet.m_refImages.Add(MakeRefImage(2, L"Home/missing.bmp"));

    // "缺陷检测": side 正面 on image 1 with phases 第一印次 (notes), 第二印次 (no notes), and a phase whose
    // type does not exist; side 反面 on the image without file.
    auto* defect = new CInspType;
    defect->m_nID = 1;
    defect->m_strName = L"缺陷检测";
    auto* front = new CSide;
    front->m_nID = 1;
    front->m_nRefImageID = 1;
    front->m_nSplitID = 1;
    CPhase* first = MakePhase(1, 6);
    auto* area = new CPhaseMaskArea;
    area->m_nID = 1;
    area->m_nSheetID = 1;
    area->SetPoints({{20, 20}, {120, 20}, {120, 80}, {20, 80}});
    first->m_areas.Add(area);
    front->m_phases.Add(first);
    front->m_phases.Add(MakePhase(2, 0));
    front->m_phases.Add(MakePhase(9, 6));
    defect->m_sides.Add(front);
    auto* back = new CSide;
    back->m_nID = 2;
    back->m_nRefImageID = 2;
    back->m_nSplitID = 1;
    back->m_phases.Add(MakePhase(1, 6));
    defect->m_sides.Add(back);
    model->m_inspTypes.Add(defect);

    auto* size = new CInspType;
    size->m_nID = 2;
    size->m_strName = L"尺寸定位";
    auto* sizeFront = new CSide;
    sizeFront->m_nID = 1;
    sizeFront->m_nRefImageID = 1;
    sizeFront->m_nSplitID = 1;
    sizeFront->m_phases.Add(MakePhase(1, 6));
    size->m_sides.Add(sizeFront);
    model->m_inspTypes.Add(size);

    auto* kernel = new CKernel;
    kernel->m_nID = 1;
    kernel->m_nPhaseID = 1;
    kernel->SetRect(150, 150, 250, 220);
    model->m_refImageSet.FindRefImage(1)->m_kernels.Add(kernel);
    auto* far = new CKernel;  // on sheet (2, 1), in whole-image coordinates
    far->m_nID = 2;
    far->m_nPhaseID = 1;
    far->m_nSheetCol = 2;
    far->m_nSheetRow = 1;
    far->SetRect(950, 550, 1000, 600);
    model->m_refImageSet.FindRefImage(1)->m_kernels.Add(far);
    return model;
}

int EditorDeployment::AddSampleModel(const std::wstring& name, const std::wstring& title) {
    CSysPara sysPara;
    int id = sysPara.CreateModel(name, title);
    if (id < 1)
        throw std::runtime_error("cannot create a model in the test store");
    std::unique_ptr<CModelInfo> model = MakeSampleModel(id, name, title);
    if (!model->Save())
        throw std::runtime_error("cannot save the sample model");
    return id;
}

std::string EditorDeployment::ReleasedTitles() const {
    return fs::exists(m_dir.Path() / "ReleasedModels.txt") ? m_dir.ReadBytes("ReleasedModels.txt") : "";
}

void ClearProfile() {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Veltranox", "ZRKDll");
    settings.remove("ZRKDll");
    settings.sync();
}

bool ReadComposedDraft(CTemplateStore& store, int id, std::string& bytes, bool& found, CModelStamp* base) {
    bytes.clear();
    std::string data;
    CModelStamp stamp;
    if (!store.LoadDraft(id, data, found, stamp))
        return false;
    if (base)
        *base = stamp;
    if (!found)
        return true;
    std::vector<std::string> records;
    if (!store.LoadDraftSteps(id, records))
        return false;
    const auto saved = [id](std::string& savedBytes) {
        CTemplateStore main;
        bool savedFound = false;
        return main.Open(GetTemplateStorePath()) && main.LoadModelData(id, savedBytes, savedFound) && savedFound;
    };
    return CDraftKeeper::ComposeDraft(data, records, saved, bytes);
}

std::string StoredDraft(int id) {
    CTemplateStore store;
    std::string bytes;
    bool found = false;
    if (!store.Open(GetTemplateStorePath()) || !ReadComposedDraft(store, id, bytes, found))
        return "<the store cannot be read>";  // neither a draft nor none: a comparison fails and shows it
    return found ? bytes : std::string();
}
