#include "editor/ModelHistory.h"

#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "geometry/MaskArea.h"

#include <algorithm>
#include <unordered_map>

namespace {

/// The column and row of the note `noteID` among the phase's notes (row-major); -1, -1 when it has none.
std::pair<int, int> SheetOfNote(const CPhase& phase, int noteID, int cols) {
    cols = std::max(1, cols);
    for (int i = 0; i < phase.m_notes.GetSize(); ++i)
        if (phase.m_notes.GetAt(i) && phase.m_notes.GetAt(i)->m_nID == noteID)
            return {i % cols, i / cols};
    return {-1, -1};
}

} // namespace

CCheckItem::Kind CheckKindOf(uint8_t kind) {
    switch (kind) {
    case 2: return CCheckItem::Kind::Side;
    case 3: return CCheckItem::Kind::Phase;
    case 4: return CCheckItem::Kind::Note;
    case 6: return CCheckItem::Kind::Kernel;
    case 7: return CCheckItem::Kind::RefImage;
    case 8: return CCheckItem::Kind::Camera;
    case 10: return CCheckItem::Kind::Area;
    case 11: return CCheckItem::Kind::Shielded;
    default: return CCheckItem::Kind::Model;
    }
}

void LocateItems(const CModelInfo& model, std::vector<std::pair<const CIDItem*, CCheckItem>>& out) {
    out.clear();
    std::unordered_map<int, const CRefImage*> refs;
    for (int r = 0; r < model.m_refImageSet.m_refImages.GetSize(); ++r) {
        const auto* ref = model.m_refImageSet.m_refImages.GetAtAs<CRefImage>(r);
        if (!ref)
            continue;
        refs[ref->m_nID] = ref;
        CCheckItem place;
        place.m_kind = CCheckItem::Kind::RefImage;
        place.m_nRefID = ref->m_nID;
        place.m_nItemID = ref->m_nID;
        out.emplace_back(ref, place);
        for (int k = 0; k < ref->m_kernels.GetSize(); ++k)
            if (const auto* kernel = ref->m_kernels.GetAtAs<CKernel>(k)) {
                CCheckItem at = place;
                at.m_kind = CCheckItem::Kind::Kernel;
                at.m_nPhaseID = kernel->m_nPhaseID;
                at.m_nSheetCol = kernel->m_nSheetCol;
                at.m_nSheetRow = kernel->m_nSheetRow;
                at.m_nItemID = kernel->m_nID;
                out.emplace_back(kernel, at);
            }
        for (int c = 0; c < ref->m_cameras.GetSize(); ++c)
            if (const CIDItem* camera = ref->m_cameras.GetAt(c)) {
                CCheckItem at = place;
                at.m_kind = CCheckItem::Kind::Camera;
                at.m_nItemID = camera->m_nID;
                out.emplace_back(camera, at);
            }
    }
    for (int t = 0; t < model.m_inspTypes.GetSize(); ++t) {
        const auto* type = model.m_inspTypes.GetAtAs<CInspType>(t);
        for (int s = 0; type && s < type->m_sides.GetSize(); ++s) {
            const auto* side = type->m_sides.GetAtAs<CSide>(s);
            if (!side)
                continue;
            const auto ref = refs.find(side->m_nRefImageID);
            const int cols = ref != refs.end() ? ref->second->m_nCols : 1;
            CCheckItem sidePlace;
            sidePlace.m_kind = CCheckItem::Kind::Side;
            sidePlace.m_nTypeID = type->m_nID;
            sidePlace.m_nSideID = side->m_nID;
            sidePlace.m_nRefID = side->m_nRefImageID;
            sidePlace.m_nItemID = side->m_nID;
            out.emplace_back(side, sidePlace);
            const CPhase* firstPhase = side->m_phases.GetSize() > 0 ? side->m_phases.GetAtAs<CPhase>(0) : nullptr;
            const auto masks = [&](const CItemList& list, CCheckItem::Kind kind) {
                for (int m = 0; m < list.GetSize(); ++m)
                    if (const auto* mask = dynamic_cast<const CMaskArea*>(list.GetAt(m))) {
                        CCheckItem at = sidePlace;
                        at.m_kind = kind;
                        at.m_nItemID = mask->m_nID;
                        if (firstPhase)
                            std::tie(at.m_nSheetCol, at.m_nSheetRow) = SheetOfNote(*firstPhase, mask->m_nSheetID, cols);
                        out.emplace_back(mask, at);
                    }
            };
            masks(side->m_threshMasks, CCheckItem::Kind::Shielded);
            masks(side->m_customMasks, CCheckItem::Kind::Side);
            for (int p = 0; p < side->m_phases.GetSize(); ++p) {
                const auto* phase = side->m_phases.GetAtAs<CPhase>(p);
                if (!phase)
                    continue;
                CCheckItem phasePlace = sidePlace;
                phasePlace.m_kind = CCheckItem::Kind::Phase;
                phasePlace.m_nPhaseID = phase->m_nID;
                phasePlace.m_nItemID = phase->m_nID;
                out.emplace_back(phase, phasePlace);
                for (int n = 0; n < phase->m_notes.GetSize(); ++n)
                    if (const CIDItem* note = phase->m_notes.GetAt(n)) {
                        CCheckItem at = phasePlace;
                        at.m_kind = CCheckItem::Kind::Note;
                        at.m_nSheetCol = n % std::max(1, cols);
                        at.m_nSheetRow = n / std::max(1, cols);
                        at.m_nItemID = note->m_nID;
                        out.emplace_back(note, at);
                    }
                for (int a = 0; a < phase->m_areas.GetSize(); ++a)
                    if (const auto* area = dynamic_cast<const CMaskArea*>(phase->m_areas.GetAt(a))) {
                        CCheckItem at = phasePlace;
                        at.m_kind = CCheckItem::Kind::Area;
                        at.m_nItemID = area->m_nID;
                        std::tie(at.m_nSheetCol, at.m_nSheetRow) = SheetOfNote(*phase, area->m_nSheetID, cols);
                        out.emplace_back(area, at);
                    }
            }
        }
    }
}

CRevisionView::CRevisionView() = default;
CRevisionView::~CRevisionView() = default;

void CRevisionView::Load(int64_t number, const std::string& bytes) {
    auto model = std::make_unique<CModelInfo>();
    DecodeModel(bytes, *model);
    m_pModel = std::move(model);
    m_nNumber = number;
    m_raw.clear();
    m_changes.clear();
}

void CRevisionView::Compare(const CModelInfo& current) {
    m_raw.clear();
    m_changes.clear();
    if (!m_pModel)
        return;
    std::vector<CItemPrint> older, newer;
    PrintModel(*m_pModel, older);
    PrintModel(current, newer);
    CompareModelPrints(older, newer, m_raw);
    std::vector<std::pair<const CIDItem*, CCheckItem>> places;
    LocateItems(current, places);
    std::vector<std::pair<const CIDItem*, CCheckItem>> oldPlaces;
    LocateItems(*m_pModel, oldPlaces);
    places.insert(places.end(), oldPlaces.begin(), oldPlaces.end());
    std::unordered_map<const CIDItem*, CCheckItem> where(places.begin(), places.end());
    for (const CItemChange& change : m_raw) {
        CHistoryChange located;
        located.m_change = change;
        const CIDItem* item = change.m_pNew ? change.m_pNew : change.m_pOld;
        if (auto it = where.find(item); it != where.end())
            located.m_place = it->second;
        else
            located.m_place.m_kind = CheckKindOf(change.m_nItemKind);
        located.m_place.m_nItemID = change.m_nID;
        m_changes.push_back(located);
    }
    // By small sheet (items on none first), then in the order found.
    std::stable_sort(m_changes.begin(), m_changes.end(), [](const CHistoryChange& a, const CHistoryChange& b) {
        return std::pair(a.m_place.m_nSheetRow, a.m_place.m_nSheetCol) <
               std::pair(b.m_place.m_nSheetRow, b.m_place.m_nSheetCol);
    });
}

std::wstring CRevisionView::GetCounts() const {
    return CountChanges(m_raw);
}
