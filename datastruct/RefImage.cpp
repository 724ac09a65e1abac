#include "datastruct/RefImage.h"

#include "datastruct/RefImagePixels.h"
#include "geometry/PixelPool.h"

#include "datastruct/CameraImageFile.h"
#include "datastruct/ImageHashMemo.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/CopyHelpers.h"
#include "datastruct/Kernel.h"
#include "geometry/ImgBuffer.h"
#include "model/ParaTypes.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>
#include <vector>

// Copies the source onto the target at (x, y), clipped to the target.
void PasteClipped(const cv::Mat& source, cv::Mat& target, int x, int y) {
    const cv::Rect dst = cv::Rect(x, y, source.cols, source.rows) & cv::Rect(0, 0, target.cols, target.rows);
    if (dst.empty())
        return;
    source(cv::Rect(dst.x - x, dst.y - y, dst.width, dst.height)).copyTo(target(dst));
}

void EnsureBuffer(CImgBuffer& buffer, int width, int height, uint32_t format) {
    if (buffer.GetWidth() != width || buffer.GetHeight() != height || buffer.GetFormat() != format) {
        CImgBuffer fresh(1, width, height, format);
        buffer.Swap(fresh);
    }
}

int ConversionCode(uint32_t from, uint32_t to) {
    const int a = ImgFormatBytesPerPixel(from), b = ImgFormatBytesPerPixel(to);
    if (a == b)
        return -1;
    if (a == 1)
        return b == 3 ? cv::COLOR_GRAY2BGR : cv::COLOR_GRAY2BGRA;
    if (a == 3)
        return b == 1 ? cv::COLOR_BGR2GRAY : cv::COLOR_BGR2BGRA;
    return b == 1 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGRA2BGR;
}

void ZeroUncovered(const std::vector<cv::Rect>& covered, cv::Mat& target) {
    // The image is cut along the rectangles' edges into cells; the cells no rectangle covers are cleared,
    // runs of them along a band of rows at once.
    const cv::Rect image(0, 0, target.cols, target.rows);
    std::vector<int> xs{0, target.cols}, ys{0, target.rows};
    std::vector<cv::Rect> rects;
    for (const cv::Rect& r : covered) {
        const cv::Rect cut = r & image;
        if (cut.empty())
            continue;
        rects.push_back(cut);
        xs.insert(xs.end(), {cut.x, cut.br().x});
        ys.insert(ys.end(), {cut.y, cut.br().y});
    }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    for (size_t b = 0; b + 1 < ys.size(); ++b) {
        for (size_t c = 0; c + 1 < xs.size();) {
            const auto covers = [&](size_t cell) {
                return std::any_of(rects.begin(), rects.end(), [&](const cv::Rect& r) {
                    return r.x <= xs[cell] && r.br().x >= xs[cell + 1] && r.y <= ys[b] &&
                           r.br().y >= ys[b + 1];
                });
            };
            if (covers(c)) {
                ++c;
                continue;
            }
            size_t end = c + 1;
            while (end + 1 < xs.size() && !covers(end))
                ++end;
            target(cv::Rect(xs[c], ys[b], xs[end] - xs[c], ys[b + 1] - ys[b])).setTo(cv::Scalar::all(0));
            c = end;
        }
    }
}

void ComposePieces(const std::vector<CComposePiece>& pieces, cv::Mat& target, const CRect& area) {
    const cv::Rect clip =
        cv::Rect(area.left, area.top, area.Width(), area.Height()) & cv::Rect(0, 0, target.cols, target.rows);
    if (clip.empty())
        return;
    // The window is cut along every piece's edges into cells; each cell shows the last piece covering it
    // (or nothing: 0). Runs of cells with one owner across a band of rows are one copy.
    std::vector<int> xs{clip.x, clip.br().x}, ys{clip.y, clip.br().y};
    std::vector<cv::Rect> rects(pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
        rects[i] = cv::Rect(pieces[i].x, pieces[i].y, pieces[i].pixels->cols, pieces[i].pixels->rows) & clip;
        if (rects[i].empty())
            continue;
        xs.insert(xs.end(), {rects[i].x, rects[i].br().x});
        ys.insert(ys.end(), {rects[i].y, rects[i].br().y});
    }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    struct Run {
        int x0, x1, owner;  // owner: index into `pieces`, -1 for none
    };
    struct Band {
        int y0, y1;
        std::vector<Run> runs;
    };
    std::vector<Band> bands;
    std::vector<int> owner(xs.size() - 1);
    for (size_t b = 0; b + 1 < ys.size(); ++b) {
        std::fill(owner.begin(), owner.end(), -1);
        for (size_t i = 0; i < pieces.size(); ++i) {  // list order: a later piece covers an earlier one
            const cv::Rect& r = rects[i];
            if (r.empty() || r.y > ys[b] || r.br().y < ys[b + 1])
                continue;
            const size_t from = std::lower_bound(xs.begin(), xs.end(), r.x) - xs.begin();
            const size_t to = std::lower_bound(xs.begin(), xs.end(), r.br().x) - xs.begin();
            std::fill(owner.begin() + from, owner.begin() + to, static_cast<int>(i));
        }
        Band band{ys[b], ys[b + 1], {}};
        for (size_t c = 0; c < owner.size(); ++c) {
            if (!band.runs.empty() && band.runs.back().owner == owner[c])
                band.runs.back().x1 = xs[c + 1];
            else
                band.runs.push_back({xs[c], xs[c + 1], owner[c]});
        }
        bands.push_back(std::move(band));
    }
    // Stripes of rows on every core: the copies are bound by memory, which two cores move faster than one.
    constexpr int kStripeRows = 64;
    const int stripes = (clip.height + kStripeRows - 1) / kStripeRows;
    cv::parallel_for_(cv::Range(0, stripes), [&](const cv::Range& range) {
        const int top = clip.y + range.start * kStripeRows;
        const int bottom = std::min(clip.br().y, clip.y + range.end * kStripeRows);
        for (const Band& band : bands) {
            const int y0 = std::max(band.y0, top), y1 = std::min(band.y1, bottom);
            if (y0 >= y1)
                continue;
            for (const Run& run : band.runs) {
                cv::Mat dst = target(cv::Rect(run.x0, y0, run.x1 - run.x0, y1 - y0));
                if (run.owner < 0) {
                    dst.setTo(cv::Scalar::all(0));
                    continue;
                }
                const CComposePiece& piece = pieces[static_cast<size_t>(run.owner)];
                (*piece.pixels)(cv::Rect(run.x0 - piece.x, y0 - piece.y, run.x1 - run.x0, y1 - y0)).copyTo(dst);
            }
        }
    });
}

CRefImage::CRefImage()
    : m_pComposed(std::make_unique<CImgBuffer>()), m_pSheet(std::make_unique<CImgBuffer>()) {}

CRefImage::~CRefImage() = default;

bool CRefImage::CopyFrom(const CIDItem* source) {
    const auto* s = CopySourceAs<CRefImage>(source);
    if (!s || !CIDItem::CopyFrom(source))
        return false;
    m_strRemark = s->m_strRemark;
    m_cameras.Copy(s->m_cameras);
    m_splits.Copy(s->m_splits);
    m_nCamCols = s->m_nCamCols;
    m_nCamRows = s->m_nCamRows;
    m_nCols = s->m_nCols;
    m_nRows = s->m_nRows;
    m_nCurCol = s->m_nCurCol;
    m_nCurRow = s->m_nCurRow;
    m_nGridOffsetX = s->m_nGridOffsetX;
    m_nGridOffsetY = s->m_nGridOffsetY;
    m_kernels.Copy(s->m_kernels);
    m_nSplitID = s->m_nSplitID;
    m_rcCrop = s->m_rcCrop;
    m_nExtendX = s->m_nExtendX;
    m_nExtendY = s->m_nExtendY;
    return true;
}

bool CRefImage::ApplySplit(int splitID) {
    const auto* scheme = m_splits.FindByIDAs<CSplitAreaPara>(splitID);
    m_nSplitID = splitID;
    if (scheme) {
        m_nCols = std::max(1, scheme->m_nCols);
        m_nRows = std::max(1, scheme->m_nRows);
        m_rcCrop = scheme->m_rcCrop;
        m_nExtendX = scheme->m_nExtendX;
        m_nExtendY = scheme->m_nExtendY;
    } else {
        m_nCols = m_nRows = 1;
        m_rcCrop = CRect();
        m_nExtendX = m_nExtendY = 0;
    }
    m_nCurCol = std::clamp(m_nCurCol, 0, m_nCols - 1);
    m_nCurRow = std::clamp(m_nCurRow, 0, m_nRows - 1);
    return scheme != nullptr;
}

bool CRefImage::IsLoaded() const {
    return m_pComposed->IsCreated();
}

const cv::Mat* CRefImage::SoleCameraCovering(int width, int height) const {
    if (m_cameraPixels.size() != 1)
        return nullptr;
    const auto* camera = m_cameras.FindByIDAs<CCameraRefImage>(m_cameraPixels.begin()->first);
    const cv::Mat& pixels = m_cameraPixels.begin()->second->GetMat();
    if (!camera || camera->m_nX != 0 || camera->m_nY != 0 || pixels.cols != width || pixels.rows != height ||
        !pixels.isContinuous())
        return nullptr;
    return &pixels;
}

const cv::Mat* CRefImage::SharedCamera() const {
    for (const auto& [id, pixels] : m_cameraPixels)
        if (pixels->GetMat().data && pixels->GetMat().data == m_pComposed->GetMat().data)
            return &pixels->GetMat();
    return nullptr;
}

void CRefImage::ComposeWindow(const CRect& area) {
    if (SharedCamera()) {
        const cv::Mat& composed = m_pComposed->GetMat();
        if (SoleCameraCovering(composed.cols, composed.rows))
            return;  // still the one camera at the origin: its pixels are the composed image
        // The camera moved (or others came): the composed image gets pixels of its own, all composed.
        m_pComposed->GetMat() = cv::Mat(composed.rows, composed.cols, composed.type());
        ComposeWindow(CRect(0, 0, composed.cols, composed.rows));
        return;
    }
    if (m_cameraPixels.empty())
        ReadCameraPixels(); // they went once composed: a redraw needs them back
    std::vector<CComposePiece> pieces;
    for (int i = 0; i < m_cameras.GetSize(); ++i) {
        const auto* camera = m_cameras.GetAtAs<CCameraRefImage>(i);
        if (!camera)
            continue;
        auto it = m_cameraPixels.find(camera->m_nID);
        if (it != m_cameraPixels.end())
            pieces.push_back({&it->second->GetMat(), camera->m_nX, camera->m_nY});
    }
    cv::Mat& target = m_pComposed->GetMat();
    ComposePieces(pieces, target, area);
}

void CRefImage::Redraw() {
    if (IsLoaded())
        ComposeWindow(CRect(0, 0, m_pComposed->GetWidth(), m_pComposed->GetHeight()));
}

void CRefImage::RedrawArea(const CRect& area) {
    if (IsLoaded())
        ComposeWindow(area);
}

bool CRefImage::Prepare() {
    if (!IsLoaded())
        return false;
    const CRect rect = GetSheetRect(m_nCurCol, m_nCurRow);
    if (rect.Width() < 1 || rect.Height() < 1)
        return false;
    // A sheet that is the whole composed image (no split, no crop) shares its pixels: nothing writes into the
    // sheet, and the composed image changes only by a new load or redraw, which the sheet is to show anyway.
    const cv::Mat& composed = m_pComposed->GetMat();
    if (m_pSheet->GetMat().data == composed.data)
        m_pSheet->Destroy();  // shared before: never write the other sheet's pixels into the composed image
    EnsureBuffer(*m_pSheet, rect.Width(), rect.Height(), m_pComposed->GetFormat());
    if (rect == CRect(0, 0, composed.cols, composed.rows)) {
        m_pSheet->GetMat() = composed;
        return true;
    }
    if (!m_pSheet->IsCreated())
        m_pSheet->GetMat() =
            CPixelPool::Get().Take(rect.Height(), rect.Width(), CV_8UC(m_pSheet->GetBytesPerPixel()));
    cv::Mat& sheet = m_pSheet->GetMat();
    // Cleared only where the image does not reach (an extension beyond its edge): the rest is pasted over.
    if (!(rect.left >= 0 && rect.top >= 0 && rect.right <= composed.cols && rect.bottom <= composed.rows))
        sheet.setTo(cv::Scalar::all(0));
    PasteClipped(m_pComposed->GetMat(), sheet, -rect.left, -rect.top);
    return true;
}

bool CRefImage::Recompute() {
    return Prepare();
}

CSize CRefImage::GetImageSize() const {
    if (IsLoaded())
        return CSize(m_pComposed->GetWidth(), m_pComposed->GetHeight());
    int width = 0, height = 0;
    for (int i = 0; i < m_cameras.GetSize(); ++i) {
        const auto* camera = m_cameras.GetAtAs<CCameraRefImage>(i);
        if (!camera || camera->GetWidth() <= 0 || camera->GetHeight() <= 0)
            continue;
        width = std::max(width, std::max(0, camera->m_nX) + camera->GetWidth());
        height = std::max(height, std::max(0, camera->m_nY) + camera->GetHeight());
    }
    return CSize(width, height);
}

CRect CRefImage::FitCrop(const CRect& crop) const {
    const CSize size = GetImageSize();
    CRect r = crop;
    if (r.left < 0 || r.left >= size.cx)
        r.left = 0;
    if (r.top < 0 || r.top >= size.cy)
        r.top = 0;
    if (r.right > size.cx || r.right <= 0)
        r.right = size.cx;
    if (r.bottom > size.cy || r.bottom <= 0)
        r.bottom = size.cy;
    // A crop whose right or bottom does not lie beyond its left or top reaches the image edge instead.
    if (r.right <= r.left)
        r.right = size.cx;
    if (r.bottom <= r.top)
        r.bottom = size.cy;
    return r;
}

CRect CRefImage::GetCropRect() const {
    return FitCrop(m_rcCrop);
}

CSize CRefImage::GetPitch() const {
    const CRect crop = GetCropRect();
    return CSize(crop.Width() / std::max(1, m_nCols), crop.Height() / std::max(1, m_nRows));
}

CPoint CRefImage::GetSheetOrigin(int col, int row) const {
    const CRect crop = GetCropRect();
    const CSize pitch = GetPitch();
    return CPoint(crop.left + col * pitch.cx - m_nExtendX + m_nGridOffsetX,
                  crop.top + row * pitch.cy - m_nExtendY + m_nGridOffsetY);
}

CPoint CRefImage::GetSheetOriginByIndex(int index) const {
    const int cols = std::max(1, m_nCols);
    return GetSheetOrigin(index % cols, index / cols);
}

CPoint CRefImage::GetCurSheetOrigin() const {
    return GetSheetOrigin(m_nCurCol, m_nCurRow);
}

CRect CRefImage::GetSheetRect(int col, int row) const {
    const CSize pitch = GetPitch();
    return CRect(GetSheetOrigin(col, row), CSize(pitch.cx + 2 * m_nExtendX, pitch.cy + 2 * m_nExtendY));
}

CRect CRefImage::GetSplitArea(CPoint point) const {
    for (int i = 0; i < m_splits.GetSize(); ++i) {
        if (const auto* scheme = m_splits.GetAtAs<CSplitAreaPara>(i)) {
            const CRect area = FitCrop(scheme->m_rcCrop);
            if (area.PtInRect(point))
                return area;
        }
    }
    const CSize size = GetImageSize();
    return CRect(0, 0, size.cx, size.cy);
}

CRect CRefImage::GetSplitAreaOfRect(const CRect& rect) const {
    return GetSplitArea(rect.CenterPoint());
}

bool CRefImage::FindSplitAreaByRemark(const std::wstring& remark, CRect& area) const {
    for (int i = 0; i < m_splits.GetSize(); ++i) {
        const auto* scheme = m_splits.GetAtAs<CSplitAreaPara>(i);
        if (scheme && scheme->m_strRemark == remark) {
            area = FitCrop(scheme->m_rcCrop);
            return true;
        }
    }
    return false;
}

bool CRefImage::IsOnCurrentSheet(const CKernel& kernel) const {
    return kernel.m_nSheetCol == m_nCurCol && kernel.m_nSheetRow == m_nCurRow;
}

void CRefImage::DrawKernels(CImgBuffer* buffer, const CItemList* phaseTypes, int phaseID) const {
    if (!buffer)
        return;
    COLORREF colour = RGB(255, 0, 0);
    if (phaseTypes)
        if (const auto* type = phaseTypes->FindByIDAs<CPhaseType>(phaseID))
            colour = type->m_crRefColor;
    for (int i = 0; i < m_kernels.GetSize(); ++i) {
        auto* kernel = m_kernels.GetAtAs<CKernel>(i);
        if (kernel && kernel->m_nPhaseID == phaseID && IsOnCurrentSheet(*kernel)) {
            kernel->Draw(buffer, 0, 0, colour, colour, false, 1, 0);
            kernel->DrawSelection(buffer, 0, 0);
        }
    }
}

int CRefImage::HitTestKernel(int x, int y) const {
    int hit = -1;
    for (int i = 0; i < m_kernels.GetSize(); ++i) {
        auto* kernel = m_kernels.GetAtAs<CKernel>(i);
        if (kernel && IsOnCurrentSheet(*kernel) && kernel->HitTest(x, y))
            hit = i;
    }
    return hit;
}

CKernel* CRefImage::FindKernel(int x, int y) const {
    const int index = HitTestKernel(x, y);
    return index < 0 ? nullptr : m_kernels.GetAtAs<CKernel>(index);
}

int CRefImage::ClearSheetKernels(int col, int row) {
    int removed = 0;
    for (int i = m_kernels.GetSize() - 1; i >= 0; --i) {
        const auto* kernel = m_kernels.GetAtAs<CKernel>(i);
        if (kernel && kernel->m_nSheetCol == col && kernel->m_nSheetRow == row && m_kernels.RemoveAt(i))
            ++removed;
    }
    return removed;
}
