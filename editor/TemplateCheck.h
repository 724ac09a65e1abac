#pragma once
/// The template check ("模板检查"): what will go wrong on the line, found before the template is released.
/// No Qt here; the editor's check dialog and `zrk-assist check` show the same findings.
///
/// Per item the check reports, in two levels:
/// - locating kernels: off its small sheet (or on a sheet outside the grid), rated from the reference
///   image (flat paper, a position fixed in one direction only, not unique within its search range "搜索范围",
///   not robust; a line kernel on a weak or crooked edge or of the other polarity);
/// - inspection areas: on no small sheet, outside its small sheet, wholly under a shielded area, linked to a
///   kernel that does not exist or, where the type needs a link ("缺陷检测"), linked to none;
/// - a tag used twice on one small sheet; a small sheet of the grid without its note;
/// - sides without a reference image or with a split scheme the image does not have; camera images that
///   are missing or of another size than the reference image's other cameras.
///
/// The check works on a copy of the template (the bytes `EncodeModel` gives), so it may run on a thread of
/// its own while the operator goes on; it loads the reference images it rates kernels on from their camera
/// files. The same template gives the same findings, in the same order.

#include "support/Geometry.h"

#include <opencv2/core.hpp>

#include <map>
#include <string>
#include <string_view>
#include <vector>

class CModelInfo;

enum class CheckSeverity { Error, Warning };

/// Which item a finding is about, by identifiers (the copy's pointers are gone when the check returns).
struct CCheckItem {
    enum class Kind { Model, RefImage, Camera, Side, Phase, Note, Kernel, Area, Shielded };
    Kind m_kind = Kind::Model;
    int m_nTypeID = -1;     ///< inspection type, side and phase (phase-type identifier) the item is under
    int m_nSideID = -1;
    int m_nPhaseID = -1;
    int m_nRefID = -1;      ///< the reference image (kernels, cameras, and the side's)
    int m_nSheetCol = -1;   ///< its small sheet, -1 when it has none
    int m_nSheetRow = -1;
    int m_nItemID = -1;     ///< the kernel's, area's, shielded area's, note's or camera's own identifier
};

struct CCheckFinding {
    CheckSeverity m_severity = CheckSeverity::Warning;
    CCheckItem m_item;
    std::string m_strCode;                 ///< for scripts: lower-case words joined by "-"
    std::wstring m_strFormat;              ///< the sentence, with "%s" where an argument goes
    std::vector<std::wstring> m_args;

    /// The sentence with its arguments, the format passed through `Translate` when `translate` is set.
    std::wstring GetMessage(bool translate) const;
};

struct CTemplateCheckOptions {
    /// The search range of a kernel whose parameter text has no "搜索范围" (the deployed script's default).
    int m_nDefaultSearchRange = 50;
    /// Whether kernels are rated from the reference images' pixels (the camera files are read).
    bool m_bRateKernels = true;
    /// The names of the inspection types whose areas locate by a linked kernel: "缺陷检测" as stored and, where
    /// the interface shows it translated, that name too (the check reads no language pack itself, so that it
    /// may run on any thread).
    std::vector<std::wstring> m_linkedTypeNames{L"缺陷检测"};
    /// Composed pixels of reference images the caller has already (by identifier): used instead of reading
    /// their camera files. They must stay unchanged while the check runs (a copy, as the editor passes).
    std::map<int, cv::Mat> m_images;
};

struct CTemplateCheckReport {
    std::vector<CCheckFinding> m_findings;  ///< errors first, then warnings; in template order within each
    int m_nErrors = 0;
    int m_nWarnings = 0;
    int m_nKernelsRated = 0;
    /// The whole list as text, one line per finding ("错误"/"警告", the item, the sentence), for the clipboard.
    std::wstring ToText(const CModelInfo& model, bool translate) const;
};

/// Checks the template held in `modelData` (from `EncodeModel`). Never throws: damaged bytes give one error.
CTemplateCheckReport CheckTemplateData(std::string_view modelData, const CTemplateCheckOptions& options);
/// The same on a model: encodes it first (the caller's model is not changed).
CTemplateCheckReport CheckTemplate(const CModelInfo& model, const CTemplateCheckOptions& options);

/// The item's place in the template as the operator reads it, e.g. "缺陷检测 / 正面 / 第一层 / 小张(2,1) /
/// 检测区 5 \"A1\"" (names from the model; the fixed words through `Translate` when `translate` is set).
std::wstring DescribeCheckItem(const CModelInfo& model, const CCheckItem& item, bool translate);

/// The search range a kernel's parameter text names in "搜索范围", or `fallback` when it names none.
int KernelSearchRange(const std::wstring& kernelParameters, int fallback);
