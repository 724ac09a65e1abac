#include "editor/KernelLinks.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ParaAnalytic.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "formats/TreeTextNode.h"
#include "model/ItemList.h"

#include <limits>

namespace {

// A decimal int with an optional sign and nothing else; false for an empty text or one beyond the int range.
bool ReadInt(const std::wstring& text, int& value) {
    if (text.empty())
        return false;
    size_t i = text[0] == L'-' || text[0] == L'+' ? 1 : 0;
    if (i == text.size())
        return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
        v = v * 10 + (text[i] - L'0');
        if (v > std::numeric_limits<int>::max() + 1LL)
            return false;
    }
    if (text[0] == L'-')
        v = -v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return false;
    value = static_cast<int>(v);
    return true;
}

std::wstring NodeValue(CParaAnalytic& analyser, const wchar_t* name) {
    const CTreeTextNode* node = analyser.FindNodeByName(name);
    return node ? node->m_para.m_strValue : std::wstring();
}

} // namespace

bool ParseKernelPair(const std::wstring& value, int& first, int& second) {
    // The separator is the first "-" after the first number's own sign.
    const size_t dash = value.find(L'-', value.empty() ? 0 : 1);
    if (dash == std::wstring::npos)
        return false;
    int a = 0, b = 0;
    if (!ReadInt(value.substr(0, dash), a) || !ReadInt(value.substr(dash + 1), b))
        return false;
    first = a;
    second = b;
    return true;
}

bool IsTypeNamed(const CInspType* type, const wchar_t* name) {
    return type && (type->m_strName == name || type->m_strName == Translate(name, 0));
}

CKernelSlots::CKernelSlots(CParaAnalytic& analyser, const std::wstring& sideText) : m_analyser(analyser) {
    m_analyser.LoadText(sideText);
}

std::vector<std::pair<int, int>> CKernelSlots::GetPairs() {
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < m_analyser.GetNodeCount(); ++i) {
        int a = 0, b = 0;
        if (const CTreeTextNode* node = m_analyser.GetNode(i); node && ParseKernelPair(node->m_para.m_strValue, a, b))
            pairs.emplace_back(a, b);
    }
    return pairs;
}

bool CKernelSlots::HasPair(int a, int b) {
    for (const auto& [x, y] : GetPairs())
        if ((x == a && y == b) || (x == b && y == a))
            return true;
    return false;
}

int CKernelSlots::FindFreeSlot() {
    for (int i = 0; i < m_analyser.GetNodeCount(); ++i)
        if (const CTreeTextNode* node = m_analyser.GetNode(i); node && node->m_para.m_strValue.empty())
            return i;
    return -1;
}

bool CKernelSlots::WriteSlot(int position, int a, int b, double tolerance, const std::wstring& label) {
    CTreeTextNode* node = m_analyser.GetNode(position);
    if (!node)
        return false;
    node->m_para.m_strValue = Format(L"%d-%d", a, b);
    node->m_para.m_strRemark = Format(L"%.2f;%s", tolerance, label.c_str());
    return true;
}

int CKernelSlots::ClearKernel(int kernelID) {
    int cleared = 0;
    for (int i = 0; i < m_analyser.GetNodeCount(); ++i) {
        CTreeTextNode* node = m_analyser.GetNode(i);
        int a = 0, b = 0;
        if (node && ParseKernelPair(node->m_para.m_strValue, a, b) && (a == kernelID || b == kernelID)) {
            node->m_para.m_strValue.clear();
            node->m_para.m_strRemark.clear();
            ++cleared;
        }
    }
    return cleared;
}

std::wstring CKernelSlots::GetText() {
    return m_analyser.GetText();
}

bool CanLinkKernels(CKernelSlots& slots, const CKernel& first, const CKernel& second, int& freeSlot) {
    freeSlot = slots.FindFreeSlot();
    if (first.m_nID == second.m_nID || freeSlot < 0 || slots.HasPair(first.m_nID, second.m_nID))
        return false;
    CParaAnalytic a, b;
    a.LoadText(first.m_strParameters);
    b.LoadText(second.m_strParameters);
    if (NodeValue(a, L"定位方式") == L"直线定位" && NodeValue(b, L"定位方式") == L"直线定位")
        return NodeValue(a, L"投影方向") == NodeValue(b, L"投影方向");
    return true;
}

std::pair<int, int> CAreaLinkReader::Read(const std::wstring& areaText) {
    if (auto found = m_cache.find(areaText); found != m_cache.end())
        return found->second;
    CParaAnalytic analyser;
    analyser.LoadText(areaText);
    std::pair<int, int> ids{-1, -1};
    if (!ReadInt(NodeValue(analyser, L"定位核X"), ids.first))
        ids.first = -1;
    if (!ReadInt(NodeValue(analyser, L"定位核Y"), ids.second))
        ids.second = -1;
    if (m_cache.size() > 4096)
        m_cache.clear();  // texts of areas long gone
    m_cache.emplace(areaText, ids);
    return ids;
}

bool CAreaLinkReader::Write(std::wstring& areaText, int kernelID) {
    CParaAnalytic analyser;
    analyser.LoadText(areaText);
    CTreeTextNode* x = analyser.FindNodeByName(L"定位核X");
    CTreeTextNode* y = analyser.FindNodeByName(L"定位核Y");
    if (!x && !y)
        return false;
    for (CTreeTextNode* node : {x, y})
        if (node)
            node->m_para.m_strValue = Format(L"%d", kernelID);
    areaText = analyser.GetText();
    return true;
}

bool CAreaLinkReader::Rename(std::wstring& areaText, const std::unordered_map<int, int>& renamed) {
    CParaAnalytic analyser;
    analyser.LoadText(areaText);
    bool changed = false;
    for (const wchar_t* name : {L"定位核X", L"定位核Y"}) {
        CTreeTextNode* node = analyser.FindNodeByName(name);
        int id = 0;
        if (!node || !ReadInt(node->m_para.m_strValue, id))
            continue;
        if (const auto to = renamed.find(id); to != renamed.end() && to->second != id) {
            node->m_para.m_strValue = Format(L"%d", to->second);
            changed = true;
        }
    }
    if (changed)
        areaText = analyser.GetText();
    return changed;
}

bool CAreaLinkReader::Forget(std::wstring& areaText, int kernelID) {
    CParaAnalytic analyser;
    analyser.LoadText(areaText);
    bool changed = false;
    for (const wchar_t* name : {L"定位核X", L"定位核Y"}) {
        CTreeTextNode* node = analyser.FindNodeByName(name);
        int id = 0;
        if (node && ReadInt(node->m_para.m_strValue, id) && id == kernelID) {
            node->m_para.m_strValue = L"0";
            changed = true;
        }
    }
    if (changed)
        areaText = analyser.GetText();
    return changed;
}
