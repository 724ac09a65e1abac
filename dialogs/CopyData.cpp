#include "dialogs/CopyData.h"

#include "datastruct/Area.h"
#include "datastruct/Kernel.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "geometry/MaskArea.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <unordered_set>

namespace {

struct Target {
    int index, col, row, dx, dy;
    CNote* note;
};

bool IsMaskType(const std::wstring& type) {
    return type == L"CPhaseMaskArea" || type == L"CThreshMaskArea" || type == L"CCustomMaskArea";
}

std::vector<CPoint> PointsOf(const CGraphBase& shape) {
    std::vector<CPoint> points;
    shape.GetPoints(points);
    return points;
}

// A copy of the shape (its own class), or null.
template <class T> std::unique_ptr<T> CopyOf(const CGraphBase& source) {
    std::unique_ptr<CIDItem> copy(source.NewInstance());
    if (!copy || !copy->CopyFrom(&source))
        return nullptr;
    auto* typed = dynamic_cast<T*>(copy.get());
    if (!typed)
        return nullptr;
    copy.release();
    return std::unique_ptr<T>(typed);
}

// Adds the copy with the identifier one above the list's largest; the copy is deleted when the list
// refuses it (no identifier left).
void AddWithNextID(CItemList& list, std::unique_ptr<CIDItem> item) {
    item->m_nID = list.GetMaxID() + 1;
    if (list.Add(item.get()))
        item.release();
}

std::wstring KernelReport(int kernelID, const Target& target) {
    return Format(CopyDataText(L"2627"), kernelID, target.col + 1, target.row + 1, L"\r\n");
}

// Removes from the list the items a copy of `copy` would double: same class, on the same target, with
// the same label (a mask with a label) or the same vertices.
void RemoveDoubles(CItemList& list, const CGraphBase& copy, const std::function<bool(const CIDItem&)>& onTarget) {
    const auto* mask = dynamic_cast<const CMaskArea*>(&copy);
    const bool byLabel = mask && !mask->m_strTag.empty();
    const std::vector<CPoint> points = byLabel ? std::vector<CPoint>() : PointsOf(copy);
    for (int i = list.GetSize() - 1; i >= 0; --i) {
        const auto* item = dynamic_cast<const CGraphBase*>(list.GetAt(i));
        if (!item || item->GetTypeName() != copy.GetTypeName() || !onTarget(*item))
            continue;
        const bool same = byLabel ? static_cast<const CMaskArea*>(item)->m_strTag == mask->m_strTag
                                  : PointsOf(*item) == points;
        if (same)
            list.RemoveAt(i);
    }
}

void CopySelected(ICopyDataHost& host, const std::vector<ICopyDataHost::Selected>& selection,
                  const std::vector<Target>& targets, std::wstring& report) {
    for (const ICopyDataHost::Selected& selected : selection) {
        if (!selected.shape || !selected.owner)
            continue;
        const CGraphBase& source = *selected.shape;
        const std::wstring type = source.GetTypeName();
        for (const Target& target : targets) {
            if (type == L"CArea") {
                auto copy = CopyOf<CArea>(source);
                if (!copy)
                    continue;
                copy->m_nID = selected.owner->GetMaxID() + 1;
                copy->SetSelected(true);
                RemoveDoubles(target.note->m_areas, *copy, [](const CIDItem&) { return true; });
                if (target.note->m_areas.Add(copy.get()))
                    copy.release();
            } else if (type == L"CKernel") {
                if (!host.FitsSheet(source, target.col, target.row, target.dx, target.dy)) {
                    report += KernelReport(source.m_nID, target);
                    continue;
                }
                auto copy = CopyOf<CKernel>(source);
                if (!copy)
                    continue;
                copy->m_nSheetCol = target.col;
                copy->m_nSheetRow = target.row;
                copy->Move(target.dx, target.dy, -1);
                copy->SetSelected(true);
                const int phase = copy->m_nPhaseID;
                RemoveDoubles(*selected.owner, *copy, [&](const CIDItem& item) {
                    const auto& kernel = static_cast<const CKernel&>(item);
                    return kernel.m_nSheetCol == target.col && kernel.m_nSheetRow == target.row &&
                           kernel.m_nPhaseID == phase;
                });
                AddWithNextID(*selected.owner, std::move(copy));
            } else if (IsMaskType(type)) {
                auto copy = CopyOf<CMaskArea>(source);
                if (!copy)
                    continue;
                copy->m_nSheetID = target.note->m_nID;
                copy->SetSelected(true);
                const int noteID = target.note->m_nID;
                RemoveDoubles(*selected.owner, *copy, [noteID](const CIDItem& item) {
                    return static_cast<const CMaskArea&>(item).m_nSheetID == noteID;
                });
                AddWithNextID(*selected.owner, std::move(copy));
            }
        }
        selected.shape->SetSelected(false);
    }
}

// Appends copies of the masks of note `from` with the note `to`.
void CopyMasks(CItemList& list, int from, int to) {
    const int count = list.GetSize();
    int maxID = list.GetMaxID();  // kept running: one pass over the list per sheet, not per copy
    for (int i = 0; i < count; ++i) {
        const auto* mask = list.GetAtAs<CMaskArea>(i);
        if (!mask || mask->m_nSheetID != from)
            continue;
        auto copy = CopyOf<CMaskArea>(*mask);
        if (!copy)
            continue;
        copy->m_nSheetID = to;
        copy->m_nID = maxID + 1;
        if (list.Add(copy.get())) {
            maxID = copy.release()->m_nID;
        }
    }
}

// Removes the masks with the label that lie on one of the notes: one pass over the list.
void RemoveLabelled(CItemList& list, const std::unordered_set<int>& notes, const std::wstring& label) {
    for (int i = list.GetSize() - 1; i >= 0; --i)
        if (const auto* mask = list.GetAtAs<CMaskArea>(i);
            mask && mask->m_strTag == label && notes.count(mask->m_nSheetID))
            list.RemoveAt(i);
}

// Whether the selected shape lies on the current sheet: shapes of other sheets are neither copied nor
// looked at (a copy could replace them, and the deletion remove them, while they are still listed).
bool OnCurrentSheet(const ICopyDataHost::Selected& selected, const CRefImage& ref, const CNote* note) {
    const CGraphBase* shape = selected.shape;
    if (!shape || !selected.owner)
        return false;
    const std::wstring type = shape->GetTypeName();
    if (type == L"CKernel") {
        const auto* kernel = static_cast<const CKernel*>(shape);
        return kernel->m_nSheetCol == ref.m_nCurCol && kernel->m_nSheetRow == ref.m_nCurRow;
    }
    if (IsMaskType(type))
        return note && static_cast<const CMaskArea*>(shape)->m_nSheetID == note->m_nID;
    if (type == L"CArea")
        return note && selected.owner == &note->m_areas;
    return false;
}

} // namespace

std::wstring CopyDataText(const wchar_t* key) {
    static const std::pair<const wchar_t*, const wchar_t*> kTexts[] = {
        {L"1022", L"当前参考图只有一个小张, 不能复制数据!"},
        {L"1023", L"请先选择一个印次!"},
        {L"2", L"确定"},
        {L"3", L"取消"},
        {L"2601", L"复制数据"},
        {L"2602", L"复制内容"},
        {L"2604", L"复制定位核"},
        {L"2605", L"复制检测区"},
        {L"2606", L"复制阈值掩模"},
        {L"2610", L"复制选择的图形"},
        {L"2611", L"全选"},
        {L"2612", L"复制的区域"},
        {L"2621", L"所有定位核都已复制."},
        {L"2622", L"复制数据完成:"},
        {L"2623", L"第%d行"},
        {L"2624", L"第%d列"},
        {L"2625", L"请选择要复制的内容!"},
        {L"2626", L"请选择要复制到的小张!"},
        {L"2627", L"定位核%d 超出第%d列第%d行的小张, 没有复制.%s"},
    };
    std::wstring text = Translate(key, 0);
    if (text != key)
        return text;
    for (const auto& [k, builtIn] : kTexts)
        if (text == k)
            return builtIn;
    return text;
}

std::wstring RunCopyData(ICopyDataHost& host, const CopyDataRequest& request) {
    CRefImage* ref = host.GetRefImage();
    CPhase* phase = host.GetPhase();
    if (!ref || !phase)
        return L"";
    CSide* side = host.GetSide();
    const int cols = std::max(1, static_cast<int>(ref->m_nCols));
    const int rows = std::max(1, static_cast<int>(ref->m_nRows));
    const int count = cols * rows;
    const int current = ref->m_nCurRow * cols + ref->m_nCurCol;
    const CPoint origin = ref->GetSheetOriginByIndex(current);
    const auto* currentNote = phase->m_notes.GetAtAs<CNote>(current);
    auto checked = [&](int index) {
        return index >= 0 && static_cast<size_t>(index) < request.targets.size() && request.targets[index];
    };

    std::vector<Target> targets;
    for (int t = 0; t < count; ++t) {
        if (t == current || !checked(t))
            continue;
        auto* note = phase->m_notes.GetAtAs<CNote>(t);
        if (!note)
            continue;  // a sheet without a note is skipped
        const CPoint at = ref->GetSheetOriginByIndex(t);
        targets.push_back({t, t % cols, t / cols, at.x - origin.x, at.y - origin.y, note});
    }

    // The selection and the label to delete are taken before anything changes: the deletion may remove
    // the selected shapes themselves.
    std::vector<ICopyDataHost::Selected> selection;
    for (const ICopyDataHost::Selected& selected : host.GetSelectedShapes())
        if (OnCurrentSheet(selected, *ref, currentNote))
            selection.push_back(selected);
    std::unordered_set<int> checkedNotes;
    for (int cell = 0; cell < count; ++cell)
        if (const auto* note = checked(cell) ? phase->m_notes.GetAtAs<CNote>(cell) : nullptr)
            checkedNotes.insert(note->m_nID);
    bool haveLabel = false;
    std::wstring label;
    for (const ICopyDataHost::Selected& selected : selection)
        if (selected.shape && selected.shape->IsSelected() && IsMaskType(selected.shape->GetTypeName())) {
            haveLabel = true;
            label = static_cast<const CMaskArea*>(selected.shape)->m_strTag;
        }

    std::wstring report;
    if (request.bSelected && !request.bKernels && !request.bAreas && !request.bThreshMasks)
        CopySelected(host, selection, targets, report);

    size_t next = 0;  // the next entry of `targets`
    for (int t = 0; t < count; ++t) {
        if (t == current)
            continue;
        if (next < targets.size() && targets[next].index == t) {
            const Target& target = targets[next++];
            if (request.bKernels) {
                ref->ClearSheetKernels(target.col, target.row);
                const int kernels = ref->m_kernels.GetSize();  // copies appended here are not visited
                int maxID = ref->m_kernels.GetMaxID();
                for (int i = 0; i < kernels; ++i) {
                    const auto* kernel = ref->m_kernels.GetAtAs<CKernel>(i);
                    if (!kernel || kernel->m_nSheetCol != ref->m_nCurCol || kernel->m_nSheetRow != ref->m_nCurRow)
                        continue;
                    if (!host.FitsSheet(*kernel, target.col, target.row, target.dx, target.dy)) {
                        report += KernelReport(kernel->m_nID, target);
                        continue;
                    }
                    auto copy = CopyOf<CKernel>(*kernel);
                    if (!copy)
                        continue;
                    copy->Move(target.dx, target.dy, -1);
                    copy->m_nSheetCol = target.col;
                    copy->m_nSheetRow = target.row;
                    copy->m_nID = maxID + 1;
                    if (ref->m_kernels.Add(copy.get()))
                        maxID = copy.release()->m_nID;
                }
            }
            if (request.bAreas && currentNote) {
                phase->ClearAreasOfNote(target.note->m_nID);
                CopyMasks(phase->m_areas, currentNote->m_nID, target.note->m_nID);
            }
            if (request.bThreshMasks && currentNote && side) {
                side->ClearThreshMasksOfNote(target.note->m_nID);
                CopyMasks(side->m_threshMasks, currentNote->m_nID, target.note->m_nID);
            }
        }
        if (request.bDeleteSelected && haveLabel) {
            RemoveLabelled(phase->m_areas, checkedNotes, label);
            if (side) {
                RemoveLabelled(side->m_threshMasks, checkedNotes, label);
                RemoveLabelled(side->m_customMasks, checkedNotes, label);
            }
        }
    }
    return report;
}
