#include "datastruct/SysPara.h"

#include "datastruct/CopyHelpers.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"

namespace {
const wchar_t* const kActiveModelKey = L"ActiveModelID";
}

CSysPara::CSysPara() = default;
CSysPara::~CSysPara() = default;

bool CSysPara::CopyFrom(const CIDItem* source) {
    const auto* s = CopySourceAs<CSysPara>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_nActiveModelID = s->m_nActiveModelID;
    m_values = s->m_values;
    m_catalogue = s->m_catalogue;
    m_strStorePath = s->m_strStorePath;
    return true;
}

std::wstring CSysPara::GetEffectiveStorePath() const {
    return m_strStorePath.empty() ? GetTemplateStorePath() : m_strStorePath;
}

CTemplateStore* CSysPara::AcquireStore(std::unique_ptr<CTemplateStore>& temp) {
    if (m_bSession && m_pStore && m_pStore->IsOpen())
        return m_pStore.get();
    temp = std::make_unique<CTemplateStore>();
    if (!temp->Open(GetEffectiveStorePath())) {
        m_strError = temp->GetLastError();
        return nullptr;
    }
    return temp.get();
}

bool CSysPara::RefreshCatalogue(CTemplateStore& store) {
    if (!store.ListModels(m_catalogue)) {
        m_strError = store.GetLastError();
        return false;
    }
    return true;
}

void CSysPara::SelectModel(int id) {
    m_pModel = std::make_unique<CModelInfo>();
    m_pModel->m_nID = id;
    m_pModel->SetStorePath(m_strStorePath);
    m_nActiveModelID = id;
}

CModelInfo* CSysPara::GetModel() { return m_pModel.get(); }

bool CSysPara::Load() {
    m_strError.clear();
    std::unique_ptr<CTemplateStore> temp;
    CTemplateStore* store = AcquireStore(temp);
    if (!store)
        return false;
    std::map<std::wstring, std::wstring> values;
    if (!store->LoadSystemValues(values)) {
        m_strError = store->GetLastError();
        return false;
    }
    m_nActiveModelID = -1;
    if (auto it = values.find(kActiveModelKey); it != values.end()) {
        try {
            m_nActiveModelID = std::stoi(it->second);
        } catch (const std::exception&) {
            m_nActiveModelID = -1; // a damaged value is not fatal: no model was active
        }
        values.erase(it);
    }
    m_values = std::move(values);
    return RefreshCatalogue(*store);
}

bool CSysPara::SaveParameters() {
    m_strError.clear();
    std::unique_ptr<CTemplateStore> temp;
    CTemplateStore* store = AcquireStore(temp);
    if (!store)
        return false;
    std::map<std::wstring, std::wstring> values = m_values;
    values[kActiveModelKey] = std::to_wstring(m_nActiveModelID);
    if (!store->SaveSystemValues(values)) {
        m_strError = store->GetLastError();
        return false;
    }
    return true;
}

bool CSysPara::Begin() {
    if (m_bSession)
        return true;
    m_strError.clear();
    auto store = std::make_unique<CTemplateStore>();
    if (!store->Open(GetEffectiveStorePath())) {
        m_strError = store->GetLastError();
        return false;
    }
    m_pStore = std::move(store);
    m_bSession = true;
    return true;
}

void CSysPara::End() {
    if (!m_bSession)
        return;
    m_pStore.reset();
    m_bSession = false;
}

int CSysPara::CreateModel(const std::wstring& name, const std::wstring& title) {
    m_strError.clear();
    std::unique_ptr<CTemplateStore> temp;
    CTemplateStore* store = AcquireStore(temp);
    if (!store)
        return -1;
    const int id = store->CreateModel(name, title, EncodeModel(CModelInfo()));
    if (id < 1) {
        m_strError = store->GetLastError();
        return -1;
    }
    RefreshCatalogue(*store);
    return id;
}

int CSysPara::CopyModel(int sourceID, const std::wstring& name, const std::wstring& title) {
    m_strError.clear();
    std::unique_ptr<CTemplateStore> temp;
    CTemplateStore* store = AcquireStore(temp);
    if (!store)
        return -1;
    // Name and title live in the catalogue only, so the data is copied as it stands.
    const int id = store->CopyModel(sourceID, name, title);
    if (id < 1) {
        m_strError = store->GetLastError();
        return -1;
    }
    RefreshCatalogue(*store);
    return id;
}

bool CSysPara::DeleteModel(int id) {
    m_strError.clear();
    std::unique_ptr<CTemplateStore> temp;
    CTemplateStore* store = AcquireStore(temp);
    if (!store)
        return false;
    if (!store->DeleteModel(id)) {
        m_strError = store->GetLastError();
        return false;
    }
    RefreshCatalogue(*store);
    return true;
}
