#pragma once
/// The process-wide resources of the module: the data-structure library and its factory, the shared
/// image display, the blending table of mask painting, the plug-ins of "PlugIns/" and the two tool
/// libraries. The accessor creates it on first use from the deployment folder; the module never
/// destroys it.

#include "datastruct/DataStruct.h"
#include "host/DynamicLibrary.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CIDItem;
class CImgDisplay;

/// `CreatePlugInsInstance` of a plug-in library.
using PFN_CreatePlugInsInstance = void* (*)();
/// "ReleaseModelExecuteFunction": the address of an array of narrow model titles and their count.
using PFN_ReleaseModelExecute = int (*)(char** titles, int count);

/// The loaded plug-ins: handles and, in the same order, the objects their entries returned. Destroying
/// the set frees every library and empties both arrays; the objects are not deleted.
class CPlugInSet {
public:
    CPlugInSet() = default;
    ~CPlugInSet() { RemoveAll(); }
    CPlugInSet(const CPlugInSet&) = delete;
    CPlugInSet& operator=(const CPlugInSet&) = delete;

    /// Lists the names matching "*.so" in `folder` (files only, by name), loads folder + name and, when
    /// the library exports "CreatePlugInsInstance", calls it and keeps object and library; a library
    /// without the entry is freed, one that does not load is skipped silently.
    void LoadFrom(const std::wstring& folder);
    void RemoveAll();
    int GetSize() const { return static_cast<int>(m_arObjects.size()); }

    std::vector<std::unique_ptr<CDynamicLibrary>> m_arModules;
    std::vector<void*> m_arObjects;
    std::vector<std::wstring> m_arFileNames;  ///< the names loaded, same order
};

class CGlobalPara {
public:
    /// Builds everything from the deployment in `exeFolder` (with trailing "/"), in this order: plug-ins
    /// of "PlugIns/", the display (opened), the blending table for weight 150, "libDataStruct.so" and its
    /// "CreateDllInstance" (when either fails the message "调用失败，可能是加载 DataStruct.dll 失败或者没有
    /// 找到 CreateDllInstance() 接口函数！" is shown and there is no factory), then "libNewWizardDLL.so" and
    /// "libReleaseModelDLL.so" when those files exist.
    explicit CGlobalPara(const std::wstring& exeFolder);
    /// Destroys the display, frees the data-structure, spare, wizard and release libraries, then the
    /// plug-ins.
    virtual ~CGlobalPara();
    CGlobalPara(const CGlobalPara&) = delete;
    CGlobalPara& operator=(const CGlobalPara&) = delete;

    /// The single instance, created from GetExeFolder() by the first call.
    static CGlobalPara& Get();
    /// Whether the single instance exists yet.
    static bool Exists();

    /// A new object of `className` from the factory; null without factory or for an unknown name.
    CIDItem* CreateInstance(const std::wstring& className) const;

    CDynamicLibrary m_hDataStruct;
    CDynamicLibrary m_hNewWizard;
    CDynamicLibrary m_hSpare;  ///< always empty
    CDynamicLibrary m_hReleaseModel;
    std::unique_ptr<CImgDisplay> m_pDisplay;
    CPlugInSet m_plugIns;
    std::vector<uint8_t> m_byClarity;  ///< 256 x 256 blending table: entry j * 256 + i
    PFN_CreateDllInstance m_pfnCreateDllInstance = nullptr;
    std::wstring m_strExeFolder;
    /// Whether the message about the missing data-structure library has been shown (by the construction
    /// or later by an activation); it is shown at most once per instance.
    bool m_bMissingReported = false;
};

/// Fills `table` (65,536 entries) with (j * (255 - weight) + i * weight) >> 8 at j * 256 + i. Stops with
/// "Create clarity data Error" and false when a sum exceeds 0xFFFF (never for weights 0 to 255).
bool BuildClarityTable(std::vector<uint8_t>& table, int weight);

/// The plug-in folder: GetExeFolder() + "PlugIns/"; the custom folder: that + "Custom/".
std::wstring GetPlugInFolder();
std::wstring GetCustomFolder();
