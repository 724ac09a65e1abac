#pragma once
/// Copying the content of one small sheet ("小张") onto others of the same phase, and deleting a labelled
/// mask from several small sheets at once: the work behind the OK of `CDlgCopyData`. No Qt here, so tests
/// and benchmarks run it directly.
///
/// Small sheets are indexed row × columns + column. The current sheet c is the reference image's current
/// column and row; a target is a checked sheet t ≠ c that has a note in the phase (index t of its note
/// list); sheets without a note are skipped. The offset of a target is the difference of the two sheets'
/// origins: kernels (whole-image coordinates) move by it, masks and note items (sheet-relative) do not.
///
/// Order of the work:
/// 1. Selected shapes, only when "copy selected" is set and none of kernels, areas and shielded areas is:
///    each selected shape is copied onto each target (a kernel moved by the offset and given the target's
///    column and row, refused with a report line when it would leave the target sheet; a mask given the
///    target's note; a note item added to the target note's items). A copy replaces an item already on
///    the target that carries the same label (masks with a label) or the same vertices (other shapes), so
///    copying twice never doubles. The copies are marked selected, the sources unmarked.
/// 2. For each sheet t ≠ c in row-major order: when it is a target, (a) kernels: the target sheet's
///    kernels (of every phase) are cleared, then each kernel of the current sheet (of every phase) is
///    copied, moved and fit-tested; one that does not fit is reported ("2627") and the rest goes on;
///    (b) inspection areas: the target note's areas are cleared, then the current note's are copied;
///    (c) shielded areas likewise. Then, when "delete selected" is set, (d) every item of the phase's
///    areas, the side's shielded areas and custom masks that lies on a checked sheet (the current one
///    included) and carries the label of the last selected mask is removed. The label is taken once,
///    before any change; running the deletion again removes nothing more.
///
/// Every copy takes the identifier one above the largest of the list it joins.

#include <string>
#include <vector>

class CGraphBase;
class CItemList;
class CPhase;
class CRefImage;
class CSide;

/// What the copy works on: the editor window supplies it.
class ICopyDataHost {
public:
    virtual ~ICopyDataHost() = default;
    /// The selected side's reference image (columns, rows, current sheet, origins, kernels); null without.
    virtual CRefImage* GetRefImage() = 0;
    /// The selected phase; null when none is selected.
    virtual CPhase* GetPhase() = 0;
    /// The side of that phase; null without.
    virtual CSide* GetSide() = 0;
    struct Selected {
        CGraphBase* shape;
        CItemList* owner; ///< the list that owns the shape
    };
    /// The shapes marked selected, each with its owning list.
    virtual std::vector<Selected> GetSelectedShapes() = 0;
    /// Whether the item, moved by (dx, dy), lies wholly within the image's split area and the small sheet
    /// (col, row). Kernels are in whole-image coordinates, other items relative to the sheet.
    virtual bool FitsSheet(const CGraphBase& item, int col, int row, int dx, int dy) = 0;
};

struct CopyDataRequest {
    bool bKernels = false;        ///< "复制定位核"
    bool bAreas = false;          ///< "复制检测区"
    bool bThreshMasks = false;    ///< "复制阈值掩模"
    bool bSelected = false;       ///< "复制选择的图形"
    bool bDeleteSelected = false; ///< "删除选择的图形"
    std::vector<bool> targets;    ///< checked sheets by index (columns × rows entries; missing: unchecked)
};

/// The text of a numeric language key of the copy ("2601" ... "2627", "1022", "1023", "2", "3"): its
/// translation in the language pack, or, when the pack has none, the built-in Chinese text of the same
/// role ("2623" and "2624" take one integer; "2627" the kernel's identifier, column, row and a line break).
std::wstring CopyDataText(const wchar_t* key);

/// Runs the copy (see above). Returns the report lines (key "2627" translated and formatted with the
/// kernel's identifier, the target's column + 1, row + 1 and CR LF), empty when every kernel was copied.
/// Nothing happens without reference image or phase.
std::wstring RunCopyData(ICopyDataHost& host, const CopyDataRequest& request);
