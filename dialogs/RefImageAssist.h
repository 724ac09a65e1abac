#pragma once
/// The assisted set-up of the reference-image manager: "自动拼接" proposes where every camera image of a
/// reference image lies in the composed image, "自动分区" proposes a split scheme from the repeat of the small
/// sheets. Each analysis runs on a thread of its own, so that the window stays live; `finished` is emitted
/// on the interface thread when the proposal is ready. The runner changes nothing in the template: the
/// manager draws the proposal and, when the operator accepts it, writes it.
///
/// The inputs are copied when an analysis starts (the camera files' paths and grid places, or the composed
/// pixels), so the operator may go on working meanwhile; the proposal names the reference image it belongs
/// to. Deterministic: the same images give the same proposal.

#include "assist/AssistWarning.h"
#include "support/Geometry.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class CBackgroundWork;
class CImgBuffer;
class CRefImage;

struct CRefImageProposal {
    enum class Kind { None, Cameras, Split };
    Kind m_kind = Kind::None;
    int m_nRefID = -1;            ///< the reference image it was computed for
    /// A failure of the analysis itself (a camera file that cannot be read, images of different sizes): the
    /// operator's message; empty when the analysis ran.
    std::wstring m_strFailure;
    double m_dScore = 0.0;        ///< 0 … 1
    std::vector<CAssistWarning> m_warnings;

    /// Cameras: the proposed top-left of each camera, by identifier, moved so that the smallest
    /// coordinates are 0 (the composed image starts at the topmost and leftmost camera).
    struct Camera {
        int m_nID = -1;
        int m_nColumn = 0, m_nRow = 0;
        int m_nX = 0, m_nY = 0;
        int m_nWidth = 0, m_nHeight = 0;
        double m_dConfidence = 0.0;
    };
    std::vector<Camera> m_cameras;
    int m_nAmbiguous = 0;         ///< overlaps found ambiguous (repeated print) or blank
    int m_nBlank = 0;
    int m_nUnconnected = 0;       ///< cameras placed from the grid's step only

    /// Split scheme: the fields of CSplitAreaPara, and the lattice it comes from.
    int m_nCols = 1, m_nRows = 1;
    CRect m_rcCrop;
    int m_nExtendX = 0, m_nExtendY = 0;
    double m_dPeriodX = 0.0, m_dPeriodY = 0.0;
    double m_dAngle = 0.0;
    int m_nAbsent = 0;            ///< grid places where no matching sheet is printed

    bool IsUsable() const;
    /// The rectangles the proposal draws over the composed image: the cameras' rectangles, or the crop
    /// and every small sheet's rectangle (cut as the split scheme cuts).
    std::vector<CRect> GetOverlay() const;
    /// What is proposed, in the operator's words, and one line per warning (those in doubt first; their
    /// number in `doubts`).
    QString Describe() const;
    QStringList WarningLines(int& doubts) const;
};

class CRefImageAssist : public QObject {
    Q_OBJECT
public:
    explicit CRefImageAssist(QObject* parent = nullptr);
    /// Waits for an analysis still running.
    ~CRefImageAssist() override;

    /// Starts the camera placement of `ref`. False, with the reason in `why` (the operator's words), when it
    /// cannot start: an analysis is running, the reference image has no camera, or its cameras do not fill
    /// its camera grid once each.
    bool StartCameras(const CRefImage& ref, std::wstring& why);
    /// Starts the split scheme of `ref`'s composed image (loaded). False as above (nothing composed).
    bool StartSplit(const CRefImage& ref, std::wstring& why);
    bool IsRunning() const;
    /// Blocks until the running analysis ended and its proposal is taken (`finished` has been emitted);
    /// false after `milliseconds` (tests and the end of the dialog).
    bool Wait(int milliseconds);
    const CRefImageProposal& GetProposal() const { return m_proposal; }
    void ClearProposal() { m_proposal = CRefImageProposal(); }

signals:
    void finished();

private:
    struct Job;
    void Launch(std::shared_ptr<Job> job);
    void Collect();

    CBackgroundWork* m_pWork;
    std::shared_ptr<Job> m_pJob;
    CRefImageProposal m_proposal;
};
