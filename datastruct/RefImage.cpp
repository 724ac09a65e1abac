#include "datastruct/RefImage.h"

#include "datastruct/CameraImageFile.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/CopyHelpers.h"
#include "datastruct/Kernel.h"
#include "geometry/ImgBuffer.h"
#include "model/ParaTypes.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

// Copies the source onto the target at (x, y), clipped to the target.
void PasteClipped(const cv::Mat& source, cv::Mat& target, int x, int y) {
    const cv::Rect dst = cv::Rect(x, y, source.cols, source.rows) & cv::Rect(0, 0, target.cols, target.rows);
    if (dst.empty())
        return;
    source(cv::Rect(dst.x - x, dst.y - y, dst.width, dst.height)).copyTo(target(dst));
}

// Gives the buffer object that size and format (pixels not created yet) when it has others; the object
// itself stays, so pointers to it stay valid.
void EnsureBuffer(CImgBuffer& buffer, int width, int height, uint32_t format) {
    if (buffer.GetWidth() != width || buffer.GetHeight() != height || buffer.GetFormat() != format) {
        CImgBuffer fresh(1, width, height, format);
        buffer.Swap(fresh);
    }
}

// The conversion from one pixel format to another; -1 when none is needed or known.
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

} // namespace

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

bool CRefImage::Load() {
    m_cameraPixels.clear();
    uint32_t format = 0;
    int width = 0, height = 0;
    for (int i = 0; i < m_cameras.GetSize(); ++i) {
        const auto* camera = m_cameras.GetAtAs<CCameraRefImage>(i);
        if (!camera)
            continue;
        auto pixels = std::make_unique<CImgBuffer>();
        if (!ReadCameraImage(camera->GetFullPath(), *pixels))
            continue; // stays black: the other cameras still compose
        if (!format)
            format = pixels->GetFormat();
        if (const int code = ConversionCode(pixels->GetFormat(), format); code >= 0) {
            auto converted = std::make_unique<CImgBuffer>(1, pixels->GetWidth(), pixels->GetHeight(), format);
            if (!converted->Create())
                continue;
            cv::cvtColor(pixels->GetMat(), converted->GetMat(), code);
            pixels = std::move(converted);
        }
        width = std::max(width, std::max(0, camera->m_nX) + pixels->GetWidth());
        height = std::max(height, std::max(0, camera->m_nY) + pixels->GetHeight());
        m_cameraPixels[camera->m_nID] = std::move(pixels);
    }
    if (m_cameraPixels.empty() || width > CImgBuffer::kMaxSide || height > CImgBuffer::kMaxSide) {
        m_cameraPixels.clear();
        m_pComposed->Destroy();
        return false;
    }
    EnsureBuffer(*m_pComposed, width, height, format);
    if (!m_pComposed->Create()) {
        m_cameraPixels.clear();
        return false;
    }
    Paste(false);  // `Create` has just zeroed every pixel
    return true;
}

void CRefImage::Paste(bool clear) {
    cv::Mat& target = m_pComposed->GetMat();
    if (clear)
        target.setTo(cv::Scalar::all(0));
    for (int i = 0; i < m_cameras.GetSize(); ++i) {
        const auto* camera = m_cameras.GetAtAs<CCameraRefImage>(i);
        if (!camera)
            continue;
        auto it = m_cameraPixels.find(camera->m_nID);
        if (it != m_cameraPixels.end())
            PasteClipped(it->second->GetMat(), target, camera->m_nX, camera->m_nY);
    }
}

void CRefImage::Redraw() {
    if (IsLoaded())
        Paste(true);
}

void CRefImage::RedrawArea(const CRect& area) {
    if (!IsLoaded())
        return;
    cv::Mat& target = m_pComposed->GetMat();
    const cv::Rect clip = cv::Rect(area.left, area.top, area.Width(), area.Height()) & cv::Rect(0, 0, target.cols, target.rows);
    if (clip.empty())
        return;
    cv::Mat window = target(clip);
    window.setTo(cv::Scalar::all(0));
    for (int i = 0; i < m_cameras.GetSize(); ++i) {
        const auto* camera = m_cameras.GetAtAs<CCameraRefImage>(i);
        if (!camera)
            continue;
        auto it = m_cameraPixels.find(camera->m_nID);
        if (it != m_cameraPixels.end())
            PasteClipped(it->second->GetMat(), window, camera->m_nX - clip.x, camera->m_nY - clip.y);
    }
}

void CRefImage::Release() {
    m_cameraPixels.clear();
    m_pComposed->Destroy();
    m_pSheet->Destroy();
}

bool CRefImage::Prepare() {
    if (!IsLoaded())
        return false;
    const CRect rect = GetSheetRect(m_nCurCol, m_nCurRow);
    if (rect.Width() < 1 || rect.Height() < 1)
        return false;
    EnsureBuffer(*m_pSheet, rect.Width(), rect.Height(), m_pComposed->GetFormat());
    if (!m_pSheet->IsCreated() && !m_pSheet->Create())
        return false;
    cv::Mat& sheet = m_pSheet->GetMat();
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
