#pragma once
// Private helpers of the template-tree dialogs (inspection type, side, phase): combo entries "%d %s",
// reading a choice back, and the place of an inspection type's grid scripts.

#include "datastruct/ParaAnalytic.h"
#include "formats/Format.h"
#include "grid/GridCtrlEx.h"
#include "formats/LanguagePack.h"
#include "formats/Utility.h"

#include <QComboBox>
#include <QString>
#include <cstdlib>
#include <string>

namespace treedlg {

/// The translation of a literal as a QString.
inline QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

/// Appends the entry "%d %s" (identifier, blank, name).
inline void AddNumberedItem(QComboBox* combo, int id, const std::wstring& name) {
    combo->addItem(QString::fromStdWString(Format(L"%d %s", id, name)));
}

/// The number before the first blank of the current entry; false when nothing is chosen.
inline bool ReadChosenNumber(const QComboBox* combo, int& value) {
    if (!combo || combo->currentIndex() < 0)
        return false;
    const std::wstring text = combo->currentText().toStdWString();
    value = static_cast<int>(std::wcstol(text.substr(0, text.find(L' ')).c_str(), nullptr, 10));
    return true;
}

/// The text after the first blank of the current entry (the name of "%d %s"); empty when nothing is chosen.
inline std::wstring ReadChosenName(const QComboBox* combo) {
    if (!combo || combo->currentIndex() < 0)
        return std::wstring();
    const std::wstring text = combo->currentText().toStdWString();
    const size_t blank = text.find(L' ');
    return blank == std::wstring::npos ? std::wstring() : text.substr(blank + 1);
}

/// "<exe folder>PlugIns/<type name>/<file>"; a type without a name reads from "PlugIns/" itself.
inline std::wstring TypeScriptPath(const std::wstring& typeName, const std::wstring& file) {
    std::wstring path = GetExeFolder() + L"PlugIns/";
    if (!typeName.empty())
        path += typeName + L"/";
    return path + file;
}

/// The item's parameter text after OK: the grid's text, or the stored one when the grid has no script to
/// show (missing or unreadable): an empty grid would otherwise wipe every stored parameter.
inline std::wstring ParameterTextToKeep(CGridCtrlEx* grid, const std::wstring& stored) {
    CParaAnalytic* analyser = grid ? grid->GetAnalyser() : nullptr;
    if (!analyser || analyser->GetNodeCount() == 0)
        return stored;
    return grid->GetParameterText();
}

} // namespace treedlg
