#include "editor/KernelRating.h"

#include "assist/KernelProposals.h"
#include "assist/KernelScores.h"
#include "datastruct/Kernel.h"
#include "datastruct/ParaAnalytic.h"
#include "formats/TreeTextNode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

/// Below this a sub-score fails the kernel; between it and kGood the kernel is doubtful.
constexpr double kFail = 0.3;
constexpr double kGood = 0.5;

std::wstring Fixed(double v, int decimals) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.*f", decimals, v);
    return text;
}

std::wstring Value(CParaAnalytic& analyser, const wchar_t* name) {
    const CTreeTextNode* node = analyser.FindNodeByName(name);
    return node ? node->m_para.m_strValue : std::wstring();
}

bool HasCodeContaining(const std::vector<CAssistWarning>& warnings, const char* part) {
    for (const CAssistWarning& w : warnings)
        if (w.m_strCode.find(part) != std::string::npos)
            return true;
    return false;
}

CKernelVerdict Verdict(bool error, const char* code, const wchar_t* format, std::vector<std::wstring> args) {
    return CKernelVerdict{error, code, format, std::move(args)};
}

std::wstring ReasonOf(const CProposedKernel& p) {
    if (p.m_bLine)
        return p.m_lineRating.m_dScore >= kGood ? L"边缘清晰且唯一" : L"边缘较弱";
    const CKernelRating& r = p.m_rating;
    if (r.m_dScore >= 0.8)
        return L"纹理丰富, 搜索范围内唯一";
    if (r.m_dScore >= kGood)
        return L"纹理和唯一性足够";
    return L"评分偏低, 请检查";
}

/// The operator's words for what the proposal's analysis says (its codes: assist/KernelProposals.cpp).
std::wstring ProposalWarningText(const std::string& code) {
    static const std::pair<const char*, const wchar_t*> kTexts[] = {
        {"range-too-large", L"搜索范围达到小张周期的一半或更多, 没有定位核能在搜索范围内唯一"},
        {"bad-range", L"搜索范围无法判断, 请检查定位核参数"},
        {"blank-sheet", L"小张上没有可定位的纹理(空白)"},
        {"no-good-kernel", L"小张上没有评分足够的定位核, 下面是最好的几个, 请检查"},
        {"few-good-kernels", L"评分足够的定位核少于所需, 其余的评分偏低, 请检查"},
        {"sheet-clipped", L"小张部分超出图像"},
        {"empty-sheet", L"小张超出图像或尺寸太小"},
        {"sheet-outside", L"小张超出图像或尺寸太小"},
        {"kernel-larger-than-sheet", L"定位核比小张还大"},
    };
    for (const auto& [known, text] : kTexts)
        if (code == known)
            return text;
    return L"推荐的定位核不足, 请手动补充";
}

/// Candidates asked for beyond the kernels wanted when the copies are checked.
constexpr int kSpareKernels = 6;

} // namespace

std::vector<CKernelVerdict> JudgeKernel(const cv::Mat& image, const CKernel& kernel, int searchRange,
                                        cv::Point2d stepX, cv::Point2d stepY);

namespace {

/// What the template check would say of the kernel's copies on the other sheets at worst.
enum class CopyVerdict { Clean, Warning, Error };

CopyVerdict JudgeCopies(const cv::Mat& image, const CRect& rect, int searchRange, cv::Point2d stepX, cv::Point2d stepY,
                        const std::vector<cv::Point>& copies) {
    CopyVerdict worst = CopyVerdict::Clean;
    for (const cv::Point& offset : copies) {
        CKernel copy;
        copy.SetRect(rect.left + offset.x, rect.top + offset.y, rect.right + offset.x, rect.bottom + offset.y);
        if (copy.GetRect().left < 0 || copy.GetRect().top < 0 || copy.GetRect().right > image.cols ||
            copy.GetRect().bottom > image.rows)
            continue;  // the check rates no kernel outside the image either
        for (const CKernelVerdict& v : JudgeKernel(image, copy, searchRange, stepX, stepY)) {
            if (v.m_bError)
                return CopyVerdict::Error;
            worst = CopyVerdict::Warning;
        }
    }
    return worst;
}

} // namespace

CKernelMethod ReadKernelMethod(const std::wstring& parameters) {
    CParaAnalytic analyser;
    analyser.LoadText(parameters);
    CKernelMethod method;
    method.m_bLine = Value(analyser, L"定位方式") == L"直线定位";
    method.m_bHorizontalEdge = Value(analyser, L"投影方向") == L"90度";
    method.m_bBrightToDark = Value(analyser, L"直线定位极性") == L"由亮到暗";
    return method;
}

std::vector<CKernelVerdict> JudgeKernel(const cv::Mat& image, const CKernel& kernel, int searchRange,
                                        cv::Point2d stepX, cv::Point2d stepY) {
    std::vector<CKernelVerdict> verdicts;
    const std::wstring id = std::to_wstring(kernel.m_nID);
    CKernelOptions options;
    options.m_nSearchRange = searchRange;
    options.m_stepX = stepX;
    options.m_stepY = stepY;
    const CKernelMethod method = ReadKernelMethod(kernel.m_strParameters);
    try {
        if (method.m_bLine) {
            const CLineKernelRating r =
                RateLineKernel(image, kernel.GetRect(), method.m_bHorizontalEdge ? LineProjection::Deg90 : LineProjection::Deg0,
                               method.m_bBrightToDark ? LinePolarity::BrightToDark : LinePolarity::DarkToBright, options);
            if (!r.m_bRated) {
                verdicts.push_back(Verdict(true, "kernel-unrated", L"定位核%s无法评分(超出图像或尺寸为零)", {id}));
                return verdicts;
            }
            if (HasCodeContaining(r.m_warnings, "polarity"))
                verdicts.push_back(Verdict(true, "line-polarity", L"定位核%s的直线定位极性与边缘相反", {id}));
            if (r.m_dStrength < kFail)
                verdicts.push_back(Verdict(true, "line-weak", L"定位核%s的边缘太弱(对比度%s), 无法稳定定位",
                                           {id, Fixed(std::abs(r.m_dContrast), 0)}));
            if (r.m_dUniqueness < kFail)
                verdicts.push_back(Verdict(true, "line-not-unique",
                                           L"定位核%s的搜索范围%s像素内还有同极性的边缘", {id, std::to_wstring(searchRange)}));
            if (r.m_dStraightness < kGood)
                verdicts.push_back(Verdict(false, "line-crooked", L"定位核%s的边缘不直或与投影方向不垂直(倾斜%s度)",
                                           {id, Fixed(r.m_dAngle, 1)}));
            if (verdicts.empty() && r.m_dPredictedError > 1.0)
                verdicts.push_back(Verdict(false, "kernel-imprecise", L"定位核%s的预计定位误差为%s像素",
                                           {id, Fixed(r.m_dPredictedError, 2)}));
            return verdicts;
        }
        const CKernelRating r = RateKernel(image, kernel.GetRect(), options);
        if (!r.m_bRated) {
            verdicts.push_back(Verdict(true, "kernel-unrated", L"定位核%s无法评分(超出图像或尺寸为零)", {id}));
            return verdicts;
        }
        // One verdict per cause: flat paper explains everything else that fails (no peak, no robustness); an
        // edge it slides along explains a competitor on its own ridge.
        const double noise = std::max(r.m_dNoise, 0.5);
        if (r.m_dEigenMax < noise * noise) {
            verdicts.push_back(Verdict(true, "kernel-flat", L"定位核%s在平坦的纸面上, 没有可定位的纹理", {id}));
            return verdicts;
        }
        const bool slides = r.m_dTexture < kFail;
        if (slides)
            verdicts.push_back(Verdict(true, "kernel-slides", L"定位核%s只有一个方向的边缘, 会沿边缘滑动(%s度方向)",
                                       {id, Fixed(r.m_dWeakAngle, 0)}));
        if (!(slides && r.m_bSecondOnRidge)) {
            const std::vector<std::wstring> args{id, std::to_wstring(searchRange), std::to_wstring(r.m_secondOffset.x),
                                                 std::to_wstring(r.m_secondOffset.y), Fixed(r.m_dSecondPeak, 2)};
            if (r.m_dUniqueness < kFail)
                verdicts.push_back(Verdict(true, "kernel-not-unique",
                                           L"定位核%s在搜索范围%s像素内不唯一: 偏移(%s,%s)处相似度%s", args));
            else if (r.m_dUniqueness < kGood)
                verdicts.push_back(Verdict(false, "kernel-barely-unique",
                                           L"定位核%s在搜索范围%s像素内有相似的图案: 偏移(%s,%s)处相似度%s", args));
        }
        if (HasCodeContaining(r.m_warnings, "varies-between-sheets"))
            verdicts.push_back(Verdict(true, "kernel-varies", L"定位核%s的区域内有各小张不同的印刷(如流水号), 无法在每个小张上定位",
                                       {id}));
        if (!verdicts.empty())
            return verdicts;
        if (r.m_dRobustness < kGood)
            verdicts.push_back(Verdict(false, "kernel-fragile", L"定位核%s在模糊、噪声或轻微旋转下不稳定(预计误差%s像素)",
                                       {id, Fixed(r.m_dPredictedError, 2)}));
        else if (r.m_dPredictedError > 1.0)
            verdicts.push_back(Verdict(false, "kernel-imprecise", L"定位核%s的预计定位误差为%s像素",
                                       {id, Fixed(r.m_dPredictedError, 2)}));
    } catch (const std::exception&) {
        verdicts.push_back(Verdict(false, "kernel-unrated", L"定位核%s无法评分(超出图像或尺寸为零)", {id}));
    }
    return verdicts;
}

CKernelSuggestions SuggestKernels(const cv::Mat& image, const CRect& sheet, int searchRange, bool lines,
                                  cv::Point2d stepX, cv::Point2d stepY, const std::vector<cv::Point>& copies) {
    CKernelSuggestions out;
    CKernelProposalOptions options;
    options.m_rating.m_nSearchRange = searchRange;
    options.m_rating.m_stepX = stepX;
    options.m_rating.m_stepY = stepY;
    options.m_bLines = lines;
    const bool checkCopies = !lines && !copies.empty();
    const int wanted = options.m_nCount;
    if (checkCopies)
        options.m_nCount = wanted + kSpareKernels;  // spares for the candidates a copy rules out
    CKernelProposal proposals;
    try {
        proposals = ProposeKernels(image, sheet, options);
    } catch (const std::exception&) {
        out.m_warnings.push_back(L"图像无法分析");
        out.m_nDoubts = 1;
        return out;
    }
    int ruledOut = 0;
    if (checkCopies) {
        // Kernels whose every copy is clean first, in the analysis's order; then, if too few, those the check
        // would only warn about; never one that fails on a sheet.
        std::vector<CProposedKernel> kept, warned;
        for (const CProposedKernel& p : proposals.m_kernels) {
            if (static_cast<int>(kept.size()) == wanted)
                break;
            switch (JudgeCopies(image, p.m_rect, searchRange, stepX, stepY, copies)) {
            case CopyVerdict::Clean: kept.push_back(p); break;
            case CopyVerdict::Warning: warned.push_back(p); break;
            case CopyVerdict::Error: ++ruledOut; break;
            }
        }
        for (size_t i = 0; i < warned.size(); ++i) {
            if (static_cast<int>(kept.size()) < wanted)
                kept.push_back(warned[i]);
            else
                ++ruledOut;
        }
        proposals.m_kernels = std::move(kept);
    }
    for (const CProposedKernel& p : proposals.m_kernels) {
        CKernelSuggestion s;
        s.m_rect = p.m_rect;
        s.m_bLine = p.m_bLine;
        if (p.m_bLine) {
            s.m_dScore = p.m_lineRating.m_dScore;
            s.m_dPredictedError = p.m_lineRating.m_dPredictedError;
            s.m_dUniqueness = p.m_lineRating.m_dUniqueness;
            s.m_dTexture = p.m_lineRating.m_dStrength;
            s.m_bHorizontalEdge = p.m_projection == LineProjection::Deg90;
            s.m_bBrightToDark = p.m_polarity == LinePolarity::BrightToDark;
        } else {
            s.m_dScore = p.m_rating.m_dScore;
            s.m_dPredictedError = p.m_rating.m_dPredictedError;
            s.m_dUniqueness = p.m_rating.m_dUniqueness;
            s.m_dTexture = p.m_rating.m_dTexture;
        }
        s.m_strReason = ReasonOf(p);
        out.m_kernels.push_back(s);
    }
    // The analysis's warnings in the operator's words, those in doubt first.
    std::vector<std::wstring> doubts, notes;
    for (const CAssistWarning& w : proposals.m_warnings)
        (w.m_bDoubt ? doubts : notes).push_back(ProposalWarningText(w.m_strCode));
    if (ruledOut > 0)
        notes.push_back(L"有候选定位核在其他小张上的同一位置不可用(印刷不同或相机接缝), 已由其他候选代替");
    out.m_nDoubts = static_cast<int>(doubts.size());
    out.m_warnings = doubts;
    out.m_warnings.insert(out.m_warnings.end(), notes.begin(), notes.end());
    return out;
}
