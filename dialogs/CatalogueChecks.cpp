#include "dialogs/CatalogueChecks.h"

#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "model/ParaTypes.h"

bool CheckIntField(const std::wstring& text, int minimum, int maximum, int& value, std::wstring& message) {
    size_t pos = text.find_first_not_of(L" \t");
    size_t end = text.find_last_not_of(L" \t");
    bool digits = false;
    long long number = 0;
    bool negative = false;
    if (pos != std::wstring::npos) {
        if (text[pos] == L'+' || text[pos] == L'-')
            negative = text[pos++] == L'-';
        for (; pos <= end && pos < text.size(); ++pos) {
            if (text[pos] < L'0' || text[pos] > L'9') {
                digits = false;
                break;
            }
            digits = true;
            if (number < 10'000'000'000LL) // saturate: out of range either way
                number = number * 10 + (text[pos] - L'0');
        }
    }
    if (!digits) {
        message = Translate(L"请输入一个整数!", 0);
        return false;
    }
    if (negative)
        number = -number;
    if (number < minimum || number > maximum) {
        message = Format(Translate(L"请输入 %d 到 %d 之间的整数!", 0), minimum, maximum);
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool CheckMaxChars(const std::wstring& text, int maximum, std::wstring& message) {
    if (static_cast<long long>(text.size()) <= maximum)
        return true;
    message = Format(Translate(L"请输入不超过 %d 个字符!", 0), maximum);
    return false;
}

bool IsValidPhaseTypeName(const std::wstring& name) {
    return !name.empty() && name.find(L' ') == std::wstring::npos;
}

std::vector<std::wstring> SideTypeRow(const CSideType& type) {
    return {Format(L"%d", type.m_nID), type.m_strName};
}

std::vector<std::wstring> PhaseTypeRow(const CPhaseType& type) {
    return {Format(L"%d", type.m_nID), type.m_strName,
            type.m_bForceIndex ? Translate(L"强制索引", 0) : std::wstring(),
            Format(L"%u", type.m_crRefColor)};
}

std::vector<std::wstring> MaskCoeffTypeRow(const CMaskCoeffType& type) {
    return {Format(L"%d", type.m_nID), type.m_strName, Format(L"%f", type.m_dCoeff), type.m_strRemark};
}

std::vector<std::wstring> CustomParaTypeRow(const CCustomParaType& type) {
    return {Format(L"%d", type.m_nID), type.m_strName};
}
