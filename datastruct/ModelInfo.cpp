#include "datastruct/ModelInfo.h"

#include "datastruct/ByteStream.h"
#include "datastruct/CopyHelpers.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelImages.h"
#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"

#include <exception>

bool CModelInfo::CopyFrom(const CIDItem* source) {
    const auto* s = CopySourceAs<CModelInfo>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_strName = s->m_strName;
    m_strTitle = s->m_strTitle;
    m_inspTypes.Copy(s->m_inspTypes);
    m_sideTypes.Copy(s->m_sideTypes);
    m_phaseTypes.Copy(s->m_phaseTypes);
    m_maskCoeffTypes.Copy(s->m_maskCoeffTypes);
    m_customParaTypes.Copy(s->m_customParaTypes);
    m_refImageSet.Copy(s->m_refImageSet);
    m_strStorePath = s->m_strStorePath;
    return true;
}

void CModelInfo::GetInformation(std::vector<std::wstring>& record) const {
    record = {m_strTitle, m_strName, std::to_wstring(m_nID)};
}

void CModelInfo::Reset() {
    m_strName.clear();
    m_strTitle.clear();
    m_inspTypes.RemoveAll();
    m_sideTypes.RemoveAll();
    m_phaseTypes.RemoveAll();
    m_maskCoeffTypes.RemoveAll();
    m_customParaTypes.RemoveAll();
    m_refImageSet.m_refImages.RemoveAll();
}

bool CModelInfo::Load(int id) {
    ClearStoreImageFiles();
    Reset();
    m_nID = id;
    m_strError.clear();
    m_nFailure = StoreFailure::None;
    CTemplateStore store;
    if (!store.Open(m_strStorePath.empty() ? GetTemplateStorePath() : m_strStorePath)) {
        m_strError = store.GetLastError();
        m_nFailure = store.GetLastFailure();
        return false;
    }
    std::string data;
    bool found = false;
    CModelCatalogEntry entry;
    CModelStamp stamp;
    m_baseStamp.reset();
    if (!store.LoadModelDataStamped(id, data, found, &entry, stamp)) {
        m_strError = store.GetLastError();
        m_nFailure = store.GetLastFailure();
        if (m_strError.empty())
            m_strError = L"模板 " + std::to_wstring(id) + L" 正被其他工位反复保存, 请稍后再打开";
        return false;
    }
    m_baseStamp = stamp;
    if (!found)
        return true;
    try {
        if (!data.empty())
            DecodeModel(data, *this);
        m_strName = entry.m_strName;
        m_strTitle = entry.m_strTitle;
    } catch (const std::exception& e) {
        Reset();
        m_nID = id;
        m_baseStamp.reset();
        m_strError = L"模板 " + std::to_wstring(id) + L" 的数据无法读取: " + Utf8ToWide(e.what());
        m_nFailure = StoreFailure::Damaged;
        return false;
    }
    UseStoreImages(store, *this, m_bTakeInImages);
    return true;
}

bool CModelInfo::Save() {
    m_strError.clear();
    m_nFailure = StoreFailure::None;
    if (m_nID < 1) {
        m_strError = L"模板编号必须大于 0: " + std::to_wstring(m_nID);
        m_nFailure = StoreFailure::Other;
        return false;
    }
    std::string data;
    try {
        data = EncodeModel(*this);
    } catch (const std::exception& e) {
        m_strError = L"模板无法保存: " + Utf8ToWide(e.what());
        m_nFailure = StoreFailure::Other;
        return false;
    }
    CTemplateStore store;
    const std::wstring summary = std::move(m_strSaveSummary);
    m_strSaveSummary.clear();
    store.SetSaveSummary(summary);
    if (!store.Open(m_strStorePath.empty() ? GetTemplateStorePath() : m_strStorePath) ||
        !store.SetModelImages(m_nID, GatherModelImages(*this)) ||
        !(m_baseStamp ? store.SaveModelDataFrom(m_nID, m_strName, m_strTitle, data, *m_baseStamp)
                      : store.SaveModelData(m_nID, m_strName, m_strTitle, data))) {
        m_strError = store.GetLastError();
        m_nFailure = store.GetLastFailure();
        m_lastConflict = m_nFailure == StoreFailure::Conflict ? store.GetLastConflict() : CModelSaveRecord();
        return false;
    }
    // The version just written, known without asking: a save by another station right after this one
    // must not become the version the next save expects.
    if (m_baseStamp) {
        m_baseStamp = CModelStamp{true, m_baseStamp->m_bExists ? m_baseStamp->m_nRevision + 1 : 1, Crc32(data)};
    } else {
        CModelStamp stamp;
        if (store.GetModelStamp(m_nID, stamp))
            m_baseStamp = stamp;
    }
    UseStoreImages(store, *this, false);
    return true;
}
