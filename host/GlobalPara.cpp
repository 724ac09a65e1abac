#include "host/GlobalPara.h"

#include "view/ImgDisplay.h"
#include "formats/Format.h"
#include "formats/Utility.h"
#include "host/CustomFindFile.h"
#include "host/FindFileData.h"
#include "formats/LanguagePack.h"
#include "model/IDItem.h"
#include "support/Prompter.h"

namespace {
CGlobalPara* g_pGlobalPara = nullptr;
}

std::wstring GetPlugInFolder() { return GetExeFolder() + L"PlugIns/"; }
std::wstring GetCustomFolder() { return GetPlugInFolder() + L"Custom/"; }

void CPlugInSet::LoadFrom(const std::wstring& folder) {
    CCustomFindFile files;
    files.Fill(folder + L"*.so");
    for (int i = 0; i < files.GetSize(); ++i) {
        const std::wstring name = files.GetFileAt(i)->m_data.cFileName;
        auto library = std::make_unique<CDynamicLibrary>();
        if (!library->Load(Format(L"%s%s", folder, name)))
            continue;
        auto entry = library->SymbolAs<PFN_CreatePlugInsInstance>("CreatePlugInsInstance");
        if (!entry)
            continue;  // freed with `library`
        m_arObjects.push_back(entry());
        m_arModules.push_back(std::move(library));
        m_arFileNames.push_back(name);
    }
}

void CPlugInSet::RemoveAll() {
    for (auto& module : m_arModules)
        module->Free();
    m_arModules.clear();
    m_arObjects.clear();
    m_arFileNames.clear();
}

bool BuildClarityTable(std::vector<uint8_t>& table, int weight) {
    table.assign(65536, 0);
    for (int j = 0; j < 256; ++j) {
        for (int i = 0; i < 256; ++i) {
            int sum = j * (255 - weight) + i * weight;
            if (sum > 0xFFFF || sum < 0) {
                ZrkMessageBox(Translate(L"Create clarity data Error", 0));
                return false;
            }
            table[j * 256 + i] = static_cast<uint8_t>(sum >> 8);
        }
    }
    return true;
}

CGlobalPara::CGlobalPara(const std::wstring& exeFolder) : m_strExeFolder(exeFolder) {
    m_plugIns.LoadFrom(exeFolder + L"PlugIns/");

    m_pDisplay = std::make_unique<CImgDisplay>();
    m_pDisplay->Open();

    BuildClarityTable(m_byClarity, 150);

    if (m_hDataStruct.Load(exeFolder + L"libDataStruct.so"))
        m_pfnCreateDllInstance = m_hDataStruct.SymbolAs<PFN_CreateDllInstance>("CreateDllInstance");
    if (!m_pfnCreateDllInstance) {
        m_bMissingReported = true;
        ZrkMessageBox(Translate(L"调用失败，可能是加载 DataStruct.dll 失败或者没有找到 CreateDllInstance() "
                                L"接口函数！",
                                0));
    }

    if (IsExistingFile(exeFolder + L"libNewWizardDLL.so"))
        m_hNewWizard.Load(exeFolder + L"libNewWizardDLL.so");
    if (IsExistingFile(exeFolder + L"libReleaseModelDLL.so"))
        m_hReleaseModel.Load(exeFolder + L"libReleaseModelDLL.so");
}

CGlobalPara::~CGlobalPara() {
    if (m_pDisplay)
        m_pDisplay->Close();
    m_pDisplay.reset();
    m_pfnCreateDllInstance = nullptr;
    m_hDataStruct.Free();
    m_hSpare.Free();
    m_hNewWizard.Free();
    m_hReleaseModel.Free();
    m_plugIns.RemoveAll();
    if (g_pGlobalPara == this)
        g_pGlobalPara = nullptr;
}

CGlobalPara& CGlobalPara::Get() {
    if (!g_pGlobalPara)
        g_pGlobalPara = new CGlobalPara(GetExeFolder());  // never destroyed by the module
    return *g_pGlobalPara;
}

bool CGlobalPara::Exists() { return g_pGlobalPara != nullptr; }

CIDItem* CGlobalPara::CreateInstance(const std::wstring& className) const {
    return m_pfnCreateDllInstance ? m_pfnCreateDllInstance(className, std::wstring()) : nullptr;
}
