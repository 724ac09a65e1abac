#include "dialogs/RefImageAssist.h"

#include "dialogs/BackgroundWork.h"

#include "assist/CameraPlacement.h"
#include "assist/SplitScheme.h"
#include "datastruct/CameraImageFile.h"
#include "datastruct/CameraRefImage.h"
#include "datastruct/RefImage.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "geometry/ImgBuffer.h"


#include <algorithm>
#include <cmath>
#include <exception>
#include <map>

namespace {

// The operator's sentence for a warning of the analyses, by its code; the numbers come from the proposal.
std::wstring WarningText(const CAssistWarning& warning, const CRefImageProposal& p) {
    const std::string& code = warning.m_strCode;
    if (code == "ambiguous-overlap")
        return Format(Translate(L"%d 处相机重叠区的印刷重复出现,位置无法唯一确定,未采用", 0).c_str(), p.m_nAmbiguous);
    if (code == "blank-overlap")
        return Format(Translate(L"%d 处相机重叠区几乎空白,无法配准,未采用", 0).c_str(), p.m_nBlank);
    if (code == "inconsistent-overlap")
        return Translate(L"有相机重叠区与其他重叠区不一致,已舍去", 0);
    if (code == "unconnected-camera")
        return Format(Translate(L"%d 个相机无法与其他相机配准,只按相机网格的间距放置,请手动核对", 0).c_str(),
                      p.m_nUnconnected);
    if (code == "single-camera")
        return Translate(L"只有一个相机,无需拼接", 0);
    if (code == "rotation")
        return Format(Translate(L"小张旋转了 %.2f°,超出扩展区可吸收的范围,小张会包含相邻小张的印刷", 0).c_str(),
                      p.m_dAngle);
    if (code == "no-repeat")
        return Translate(L"图像中没有重复的小张(一张一个产品),建议一个小张", 0);
    if (code == "too-small")
        return Translate(L"图像太小,无法分析", 0);
    if (code == "motif-twice" || code == "motif-twice-exact")
        return Translate(L"每个小张中的图案重复两次,周期可能是一半或两倍,请核对", 0);
    if (code == "near-blank")
        return Translate(L"印刷很少,结果可能不可靠", 0);
    if (code == "sheets-absent")
        return Format(Translate(L"%d 个位置没有找到相同的小张(缺印或损坏)", 0).c_str(), p.m_nAbsent);
    if (code == "lattice-unsure")
        return Translate(L"重复的印刷无法在原分辨率下匹配,周期只精确到几个像素", 0);
    if (code == "period-unsure")
        return Translate(L"相邻的重复略有不同,小张可能是建议长度的两倍", 0);
    if (code == "profiles-disagree")
        return Translate(L"投影法得到的周期与结果不同,请核对", 0);
    if (code == "edges-unclear")
        return Translate(L"小张的边缘不清楚(小张之间没有空白纸),请核对裁剪区和扩展区", 0);
    if (code == "cut-unclear")
        return Translate(L"有多条空白纸带穿过重复的印刷,小张也可能沿另一条切分", 0);
    if (code == "repeat-seen-once")
        return Translate(L"印刷只重复了一次,无法区分两个小张和一个含两份图案的小张", 0);
    if (code == "repeat-inside")
        return Translate(L"印刷在一个小张之内也重复,请核对小张数", 0);
    return Translate(L"分析结果需要核对", 0) + L" (" + std::wstring(code.begin(), code.end()) + L")";
}

} // namespace

// ---- the proposal ------------------------------------------------------------------------------------------

bool CRefImageProposal::IsUsable() const {
    if (!m_strFailure.empty())
        return false;
    if (m_kind == Kind::Cameras)
        return !m_cameras.empty();
    return m_kind == Kind::Split && m_nCols >= 1 && m_nRows >= 1 && m_rcCrop.Width() > 0 && m_rcCrop.Height() > 0;
}

std::vector<CRect> CRefImageProposal::GetOverlay() const {
    std::vector<CRect> rects;
    if (!IsUsable())
        return rects;
    if (m_kind == Kind::Cameras) {
        for (const Camera& c : m_cameras)
            rects.emplace_back(c.m_nX, c.m_nY, c.m_nX + c.m_nWidth, c.m_nY + c.m_nHeight);
        return rects;
    }
    // Cut as CRefImage::ApplySplit cuts: pitch = crop / count (truncated), sheets extended on every side.
    rects.push_back(m_rcCrop);
    const int pitchX = m_rcCrop.Width() / m_nCols, pitchY = m_rcCrop.Height() / m_nRows;
    for (int row = 0; row < m_nRows; ++row)
        for (int col = 0; col < m_nCols; ++col) {
            const int x = m_rcCrop.left + col * pitchX - m_nExtendX, y = m_rcCrop.top + row * pitchY - m_nExtendY;
            rects.emplace_back(x, y, x + pitchX + 2 * m_nExtendX, y + pitchY + 2 * m_nExtendY);
        }
    return rects;
}

QString CRefImageProposal::Describe() const {
    if (!m_strFailure.empty())
        return QString::fromStdWString(m_strFailure);
    if (m_kind == Kind::Cameras)
        return QString::fromStdWString(Format(Translate(L"自动拼接: %d 个相机的位置", 0).c_str(),
                                              static_cast<int>(m_cameras.size())));
    if (m_kind == Kind::Split)
        return QString::fromStdWString(Format(Translate(L"自动分区: %d × %d 个小张, 周期 %.1f × %.1f, 扩展 %d, %d", 0).c_str(),
                                              m_nCols, m_nRows, m_dPeriodX, m_dPeriodY, m_nExtendX, m_nExtendY));
    return QString();
}

QStringList CRefImageProposal::WarningLines(int& doubts) const {
    QStringList lines;
    doubts = 0;
    for (bool doubt : {true, false})
        for (const CAssistWarning& w : m_warnings)
            if (w.m_bDoubt == doubt) {
                const QString line = QString::fromStdWString(WarningText(w, *this));
                if (lines.contains(line))
                    continue;  // one sentence per kind
                lines << line;
                doubts += doubt ? 1 : 0;
            }
    return lines;
}

// ---- the runner ------------------------------------------------------------------------------------------

struct CRefImageAssist::Job {
    CRefImageProposal::Kind kind = CRefImageProposal::Kind::None;
    int refID = -1;
    // Cameras: row-major.
    struct Camera {
        int id = -1, column = 0, row = 0;
        std::wstring path;
    };
    std::vector<Camera> cameras;
    int columns = 1, rows = 1;
    CCameraPlacementOptions options;
    // Split: the composed pixels, copied.
    cv::Mat image;

    CRefImageProposal result;

    void Run();
    void RunCameras();
    void RunSplit();
};

void CRefImageAssist::Job::Run() {
    result.m_kind = kind;
    result.m_nRefID = refID;
    try {
        if (kind == CRefImageProposal::Kind::Cameras)
            RunCameras();
        else
            RunSplit();
    } catch (const std::bad_alloc&) {
        result.m_strFailure = Translate(L"内存不足,无法分析图像", 0);
    } catch (const std::exception& e) {
        const std::string what = e.what();
        result.m_strFailure = Translate(L"无法分析图像:", 0) + L" " + std::wstring(what.begin(), what.end());
    }
}

void CRefImageAssist::Job::RunCameras() {
    std::vector<CImgBuffer> buffers(cameras.size());
    std::vector<cv::Mat> images;
    for (size_t i = 0; i < cameras.size(); ++i) {
        if (!ReadCameraImage(cameras[i].path, buffers[i])) {
            result.m_strFailure = Format(Translate(L"无法读取相机图像: %s", 0).c_str(), cameras[i].path.c_str());
            return;
        }
        images.push_back(buffers[i].GetMat());
        if (images[i].size() != images[0].size()) {
            result.m_strFailure = Translate(L"各相机图像的大小不一致,无法自动拼接", 0);
            return;
        }
    }
    const CCameraPlacement placed = PlaceCameras(images, columns, rows, options);
    double minX = 0, minY = 0;
    for (const CCameraPosition& p : placed.m_cameras) {
        minX = std::min(minX, p.m_dX);
        minY = std::min(minY, p.m_dY);
    }
    double score = 1.0;
    for (size_t i = 0; i < placed.m_cameras.size() && i < cameras.size(); ++i) {
        const CCameraPosition& p = placed.m_cameras[i];
        CRefImageProposal::Camera c;
        c.m_nID = cameras[i].id;
        c.m_nColumn = cameras[i].column;
        c.m_nRow = cameras[i].row;
        c.m_nX = static_cast<int>(std::lround(p.m_dX - std::floor(minX)));
        c.m_nY = static_cast<int>(std::lround(p.m_dY - std::floor(minY)));
        c.m_nWidth = images[i].cols;
        c.m_nHeight = images[i].rows;
        c.m_dConfidence = p.m_dConfidence;
        if (i > 0)
            score = std::min(score, p.m_dConfidence);
        if (!p.m_bConnected)
            ++result.m_nUnconnected;
        result.m_cameras.push_back(c);
    }
    for (const COverlapResult& o : placed.m_overlaps) {
        result.m_nAmbiguous += o.m_state == OverlapState::Ambiguous ? 1 : 0;
        result.m_nBlank += o.m_state == OverlapState::Blank ? 1 : 0;
    }
    result.m_dScore = score;
    result.m_warnings = placed.m_warnings;
}

void CRefImageAssist::Job::RunSplit() {
    const CSplitProposal split = FindSplitScheme(image);
    image.release();
    result.m_nCols = split.m_nCols;
    result.m_nRows = split.m_nRows;
    result.m_rcCrop = split.m_rcCrop;
    result.m_nExtendX = split.m_nExtendX;
    result.m_nExtendY = split.m_nExtendY;
    result.m_dPeriodX = split.m_dPeriodX;
    result.m_dPeriodY = split.m_dPeriodY;
    result.m_dAngle = split.m_dAngle;
    result.m_nAbsent = static_cast<int>(split.m_absent.size());
    result.m_dScore = split.m_dScore;
    result.m_warnings = split.m_warnings;
}

CRefImageAssist::CRefImageAssist(QObject* parent) : QObject(parent), m_pWork(new CBackgroundWork(this)) {
    connect(m_pWork, &CBackgroundWork::finished, this, &CRefImageAssist::Collect);
}

CRefImageAssist::~CRefImageAssist() = default;  // the work waits for its thread

bool CRefImageAssist::IsRunning() const {
    return m_pWork->IsRunning();
}

bool CRefImageAssist::StartCameras(const CRefImage& ref, std::wstring& why) {
    if (IsRunning()) {
        why = Translate(L"正在分析,请稍候", 0);
        return false;
    }
    const int columns = std::max(1, static_cast<int>(ref.m_nCamCols)), rows = std::max(1, static_cast<int>(ref.m_nCamRows));
    // Every place of the camera grid holds exactly one camera.
    std::map<std::pair<int, int>, const CCameraRefImage*> grid;
    for (int i = 0; i < ref.m_cameras.GetSize(); ++i) {
        const auto* camera = ref.m_cameras.GetAtAs<CCameraRefImage>(i);
        if (!camera)
            continue;
        const auto place = std::make_pair(static_cast<int>(camera->m_nCamRow), static_cast<int>(camera->m_nCamCol));
        if (camera->m_nCamCol < 0 || camera->m_nCamCol >= columns || camera->m_nCamRow < 0 ||
            camera->m_nCamRow >= rows || grid.count(place)) {
            grid.clear();
            break;
        }
        grid[place] = camera;
    }
    if (ref.m_cameras.GetSize() == 0) {
        why = Translate(L"请先设置相机图!", 0);
        return false;
    }
    if (static_cast<int>(grid.size()) != columns * rows) {
        why = Format(Translate(L"相机网格为 %d × %d, 每格需要正好一个相机才能自动拼接!", 0).c_str(), columns, rows);
        return false;
    }
    auto job = std::make_shared<Job>();
    job->kind = CRefImageProposal::Kind::Cameras;
    job->refID = ref.m_nID;
    job->columns = columns;
    job->rows = rows;
    for (const auto& [place, camera] : grid)  // row-major: the map orders by (row, column)
        job->cameras.push_back({camera->m_nID, place.second, place.first, camera->GetFullPath()});
    // Cameras already placed roughly (overlapping as the rig is built) tell the overlap to expect: the
    // search stays near it, which rules out a repeat of the print further away. Cameras side by side, as the
    // camera editor places new ones, tell nothing: the whole range is searched.
    const auto expected = [&](bool horizontal) {
        std::vector<int> overlaps;
        for (const auto& [place, camera] : grid) {
            const auto next = grid.find(horizontal ? std::make_pair(place.first, place.second + 1)
                                                   : std::make_pair(place.first + 1, place.second));
            if (next == grid.end())
                continue;
            const CRect a = camera->GetRect(), b = next->second->GetRect();
            overlaps.push_back(horizontal ? a.right - b.left : a.bottom - b.top);
        }
        if (overlaps.empty() || *std::min_element(overlaps.begin(), overlaps.end()) < job->options.m_nMinOverlap)
            return 0;
        std::sort(overlaps.begin(), overlaps.end());
        return overlaps[overlaps.size() / 2];
    };
    job->options.m_nExpectedOverlapX = expected(true);
    job->options.m_nExpectedOverlapY = expected(false);
    Launch(std::move(job));
    return true;
}

bool CRefImageAssist::StartSplit(const CRefImage& ref, std::wstring& why) {
    if (IsRunning()) {
        why = Translate(L"正在分析,请稍候", 0);
        return false;
    }
    const CImgBuffer* composed = ref.GetComposedImage();
    if (!ref.IsLoaded() || !composed || !composed->IsCreated()) {
        why = Translate(L"没有发现图像文件或没有足够的内存!", 0);
        return false;
    }
    auto job = std::make_shared<Job>();
    job->kind = CRefImageProposal::Kind::Split;
    job->refID = ref.m_nID;
    job->image = composed->GetMat().clone();  // the operator may move cameras meanwhile
    Launch(std::move(job));
    return true;
}

void CRefImageAssist::Launch(std::shared_ptr<Job> job) {
    m_proposal = CRefImageProposal();
    m_pJob = job;
    m_pWork->Start([job] { job->Run(); });
}

void CRefImageAssist::Collect() {
    if (!m_pJob)
        return;
    m_proposal = std::move(m_pJob->result);
    m_pJob.reset();
    emit finished();
}

bool CRefImageAssist::Wait(int milliseconds) {
    return m_pWork->Wait(milliseconds);
}
