#include "dialogs/PhaseCustomTypes.h"

#include "formats/TreeTextAnalyze.h"
#include "formats/Utility.h"
#include "model/ItemList.h"
#include "model/ParaTypes.h"

#include <vector>

namespace phasecustom {

namespace {
/// The direct child of `node` named `name`; null if none.
CTreeTextNode* Child(const CTreeTextNode& node, const std::wstring& name) {
    for (int i = 0; i < node.GetChildCount(); ++i) {
        CTreeTextNode* child = node.GetChild(i);
        if (child && child->m_para.m_strName == name)
            return child;
    }
    return nullptr;
}
} // namespace

bool ReadCustomScript(const std::wstring& file, std::wstring& text) {
    CTreeTextAnalyze script;
    if (!script.LoadFile(GetExeFolder() + L"PlugIns/Custom/" + file))
        return false;
    text = script.GetText();
    return true;
}

bool EnsureCustomParaType(CItemList& types, const std::wstring& name, const std::wstring& scriptFile,
                          const std::wstring& scriptText) {
    if (types.FindByName(name))
        return true;
    if (types.GetSize() >= kMaxCustomTypes)
        return false;
    auto* type = new CCustomParaType;
    type->m_strName = name;
    type->m_byMaskGray = static_cast<uint8_t>(types.GetSize());
    type->m_crRefColor = 0x3264;
    type->m_strScriptName = scriptFile;
    type->m_strScriptText = scriptText;
    types.Add(type);
    return true;
}

int FindCustomParaTypeID(const CItemList& types, const std::wstring& name) {
    const CIDItem* type = types.FindByName(name);
    return type ? type->m_nID : -1;
}

bool SetCustomDefectName(CCustomParaType& type, const std::wstring& defect) {
    CTreeTextAnalyze script;
    script.SetText(type.m_strScriptText);
    script.Parse();
    CTreeTextNode* node = Child(script.m_root, L"其他");
    node = node ? Child(*node, L"1") : nullptr;
    node = node ? Child(*node, L"缺陷名称") : nullptr;
    if (node)
        node->m_para.m_strValue = defect;
    // The top-level nodes without the root's "[]" wrapper: the custom-type editor reads the first level of
    // the text as the script's, and a wrapped text would lose the defect name there.
    std::vector<std::wstring> lines;
    for (int i = 0; i < script.m_root.GetChildCount(); ++i)
        if (const CTreeTextNode* top = script.m_root.GetChild(i))
            top->WriteNested(lines);
    std::wstring text;
    for (const std::wstring& line : lines)
        text += line + L"\r\n";
    type.m_strScriptText = text;
    return node != nullptr;
}

} // namespace phasecustom
