#pragma once
/// A revision of the open template set beside it: what changed from the revision to the template as it
/// stands, each change with the place of its item (inspection type, side, phase, reference image, small
/// sheet) so that the history window lists the changes by small sheet and the editor can go to them, and the
/// view draws the revision's shapes of the small sheet shown. The revision is a template of its own, decoded
/// from its bytes and never edited. No Qt.

#include "datastruct/ModelCompare.h"
#include "editor/TemplateCheck.h"

#include <memory>
#include <string>
#include <vector>

class CModelInfo;

/// One change found, with where its item lies (in the template that holds it: the open one for items added
/// and changed, the revision for items removed).
struct CHistoryChange {
    CItemChange m_change;
    CCheckItem m_place;
};

class CRevisionView {
public:
    CRevisionView();
    ~CRevisionView();
    CRevisionView(const CRevisionView&) = delete;
    CRevisionView& operator=(const CRevisionView&) = delete;

    /// Reads the revision's bytes (throws CByteStreamError when they are not a stored template).
    void Load(int64_t number, const std::string& bytes);
    int64_t GetNumber() const { return m_nNumber; }
    const CModelInfo* GetModel() const { return m_pModel.get(); }
    /// Compares the revision with the open template; the changes keep pointers into both, valid until either
    /// changes (compare again after every step).
    void Compare(const CModelInfo& current);
    const std::vector<CHistoryChange>& GetChanges() const { return m_changes; }
    /// "检测区 +3 -1 ~5, ..." (literals of the source language).
    std::wstring GetCounts() const;

private:
    int64_t m_nNumber = 0;
    std::unique_ptr<CModelInfo> m_pModel;
    std::vector<CItemChange> m_raw;
    std::vector<CHistoryChange> m_changes;
};

/// The place of every item of the template the history window can go to (areas, shielded areas, custom
/// masks, kernels, notes, cameras, phases, sides), by item.
void LocateItems(const CModelInfo& model, std::vector<std::pair<const CIDItem*, CCheckItem>>& out);
/// The kind of item a stored kind code is in the template check's terms.
CCheckItem::Kind CheckKindOf(uint8_t kind);

class CDlgModelHistory;

/// Private to the editor window (ZRKDlg_History.cpp): the history window and the revision it put on the view.
struct CEditorHistory {
    CDlgModelHistory* m_pWindow = nullptr;  ///< made at the first use, a child of the editor
    std::unique_ptr<CRevisionView> m_pView;
    enum class Mode { None, Shown, Compared };
    Mode m_mode = Mode::None;
    int m_nModelID = -1;   ///< the template the revision belongs to: nothing is drawn over another
};
