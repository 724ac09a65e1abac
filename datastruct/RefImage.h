#pragma once
/// A large reference image ("大张参考图"): camera images composed into one image, the split schemes that
/// cut it into small sheets, the current small sheet, and the locating kernels of all phases.
///
/// Geometry (all in whole-image pixels). Applying a scheme takes its columns and rows (at least 1), its
/// crop and its extension. The crop is fitted to the image (a left outside [0, width) becomes 0, a top
/// outside [0, height) becomes 0, a right above the width or not above 0 becomes the width, a bottom
/// likewise), so an all-zero crop is the whole image. Pitch = fitted crop width / columns and height / rows
/// (truncated). The origin of sheet (c, r) is (crop left + c × pitch x − extension x + grid offset x, crop
/// top + r × pitch y − extension y + grid offset y); its rectangle runs from the origin over (pitch x + 2 ×
/// extension x, pitch y + 2 × extension y). Sheet index k is (k mod columns, k / columns). The image size
/// is known from the camera files before any pixel is loaded: width = the largest x + width and height =
/// the largest y + height over the cameras, negative positions counted as 0.
///
/// Buffers: the composed image and the current small sheet are two buffer objects owned by the reference
/// image for its whole life: their addresses never change. `Release` frees their pixels only; `Load` and
/// `Prepare` give them a new size or format in place when the image or the scheme changed.

#include "model/ItemList.h"
#include "support/Color.h"
#include "support/Geometry.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CImgBuffer;
class CKernel;
namespace cv {
class Mat;
}

/// One picture placed on a composition: its pixels and the position of its top-left corner.
struct CComposePiece {
    const cv::Mat* pixels;
    int x;
    int y;
};
/// Writes every pixel of `area` (clipped to the target) once: from the last piece, in list order, that
/// covers it, 0 where none does; the same pixels as pasting the pieces in order onto a cleared target.
/// Pieces must have the target's type. Runs on every core.
void ComposePieces(const std::vector<CComposePiece>& pieces, cv::Mat& target, const CRect& area);

class CRefImage : public CIDItem {
public:
    CRefImage();
    ~CRefImage() override;
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CRefImage; }
    std::wstring GetTypeName() const override { return L"CRefImage"; }

    /// Applies the split scheme with that identifier from `m_splits` (see above). The current column and
    /// row are kept, clamped into the new grid. An unknown identifier gives one small sheet over the whole
    /// image without extension. Returns whether the scheme was found.
    virtual bool ApplySplit(int splitID);
    /// Composes the large image from the camera files: cameras pasted in list order (the last on top),
    /// format of the first readable camera image (8, 24 or 32 bits; other cameras are converted to it),
    /// uncovered pixels 0. Cameras whose file cannot be read stay black. False when there is no camera or
    /// no camera file can be read (nothing is loaded then). The files are decoded on every core
    /// (ReadCameraImageCached: compressed pictures whose hash the station knows come decoded) and, when
    /// their headers state their sizes, composed one by one in list order as they come, only a few read
    /// ahead: a camera's pixels are held only until they are composed (unless the cameras are kept, see
    /// SetKeepCameraPixels). Memory freed before is used again (PixelPool.h): the composed image and the
    /// cameras are decoded into it when it has their size.
    virtual bool Load();
    /// Keeps each camera's decoded pixels beside the composed image after `Load` (twice the memory), so that
    /// `Redraw` and `RedrawArea` read no file: for the reference-image manager, where cameras are dragged.
    /// Off: they go as soon as they are composed, and a redraw reads the files again first.
    void SetKeepCameraPixels(bool keep) { m_bKeepCameraPixels = keep; }
    bool GetKeepCameraPixels() const { return m_bKeepCameraPixels; }
    /// Whether decoded camera pixels are held now.
    bool HoldsCameraPixels() const { return !m_cameraPixels.empty(); }
    /// Repastes the cameras at their current positions into the composed image, without reading files.
    /// Nothing when no image is loaded.
    virtual void Redraw();
    /// As `Redraw`, inside `area` only (whole-image pixels, clipped to the image): what a camera moved by
    /// dragging needs, the union of its old and new rectangles. The pixels outside stay as they are.
    void RedrawArea(const CRect& area);
    /// Frees the pixels of both buffers and the cameras' (their memory kept for the next load, PixelPool.h);
    /// the next `Load` reads the files again.
    virtual void Release();
    /// Fills the small-sheet buffer with the current sheet's rectangle of the composed image (outside the
    /// image: 0). False when no image is loaded.
    virtual bool Prepare();
    /// Refills the small-sheet buffer after the current column or row changed (as `Prepare`).
    virtual bool Recompute();
    virtual bool IsLoaded() const;

    /// The composed image and the current small sheet. Never null; not created while nothing is loaded.
    virtual CImgBuffer* GetComposedImage() const { return m_pComposed.get(); }
    virtual CImgBuffer* GetImage() const { return m_pSheet.get(); }

    /// Width and height of the large image (see above); (0, 0) without readable cameras.
    virtual CSize GetImageSize() const;
    /// The fitted crop of the applied scheme.
    virtual CRect GetCropRect() const;
    virtual CPoint GetSheetOrigin(int col, int row) const;
    virtual CPoint GetSheetOriginByIndex(int index) const;
    /// The origin of the current column and row.
    virtual CPoint GetCurSheetOrigin() const;
    virtual CRect GetSheetRect(int col, int row) const;

    /// The split area containing the point: the fitted crop of the first scheme, in list order, whose crop
    /// contains it; the whole image when none does.
    virtual CRect GetSplitArea(CPoint point) const;
    /// The split area containing the rectangle's centre.
    virtual CRect GetSplitAreaOfRect(const CRect& rect) const;
    /// The fitted crop of the first scheme whose remark equals the text; false when none has it.
    virtual bool FindSplitAreaByRemark(const std::wstring& remark, CRect& area) const;

    /// Draws every kernel of the current small sheet whose phase is `phaseID`: `Draw`(buffer, 0, 0, c, c,
    /// false, 1, 0) then `DrawSelection`(buffer, 0, 0), c being the `m_crRefColor` of that phase type in
    /// `phaseTypes` (red when missing). Kernels are shifted by their own drawing offsets.
    virtual void DrawKernels(CImgBuffer* buffer, const CItemList* phaseTypes, int phaseID) const;
    /// The index in `m_kernels` of the last kernel of the current small sheet whose `HitTest` succeeds at
    /// the whole-image point; -1 when none.
    virtual int HitTestKernel(int x, int y) const;
    /// That kernel, or null.
    virtual CKernel* FindKernel(int x, int y) const;
    /// Removes every kernel of small sheet (col, row), of every phase; returns how many.
    virtual int ClearSheetKernels(int col, int row);

    std::wstring m_strRemark; ///< "备注:"
    CItemList m_cameras;      ///< `CCameraRefImage`
    CItemList m_splits;       ///< `CSplitAreaPara`
    int32_t m_nCamCols = 1;   ///< horizontal camera count, 1 … 32
    int32_t m_nCamRows = 1;   ///< vertical camera count
    int32_t m_nCols = 1;      ///< small sheets across, from the applied scheme
    int32_t m_nRows = 1;      ///< small sheets down
    int32_t m_nCurCol = 0;    ///< the current ("reference") small sheet
    int32_t m_nCurRow = 0;
    int32_t m_nGridOffsetX = 0; ///< added into every sheet origin; nothing in the editor sets them
    int32_t m_nGridOffsetY = 0;
    CItemList m_kernels;     ///< `CKernel` of all phases
    int32_t m_nSplitID = -1; ///< the applied scheme
    CRect m_rcCrop;          ///< crop of the applied scheme, as the scheme gives it (unfitted)
    int32_t m_nExtendX = 0;  ///< extension of the applied scheme
    int32_t m_nExtendY = 0;

    struct CameraJob; ///< one camera to read (RefImageLoad.cpp)

private:
    enum class InTurn { Loaded, NothingRead, Unsure };
    /// The cameras to read, in list order, with the sizes their headers state when `peekSizes`.
    std::vector<CameraJob> GatherCameras(bool peekSizes);
    static void DecodeAll(std::vector<CameraJob>& jobs);
    /// Decodes every camera, then composes them all.
    bool LoadAll(std::vector<CameraJob>& jobs);
    /// Composes each camera as it is decoded (see Load); Unsure when the headers' sizes did not hold (the
    /// whole way then).
    InTurn LoadInTurn(std::vector<CameraJob>& jobs);
    /// Reads every camera again into `m_cameraPixels`, in the composed image's format.
    void ReadCameraPixels();
    void ReleaseCameraPixels();
    CRect FitCrop(const CRect& crop) const;
    CSize GetPitch() const;
    bool IsOnCurrentSheet(const CKernel& kernel) const;
    /// Composes the cameras read into `area` of the composed image (clipped to it): every pixel there is
    /// written once, from the last camera in list order that covers it, 0 where none does.
    void ComposeWindow(const CRect& area);

    std::unique_ptr<CImgBuffer> m_pComposed;
    std::unique_ptr<CImgBuffer> m_pSheet;
    std::map<int, std::unique_ptr<CImgBuffer>> m_cameraPixels; // by camera identifier, in the composed format
    std::map<int, uint32_t> m_cameraFormats;                   // the format each camera was read in last
    bool m_bKeepCameraPixels = false;
    /// The pixels of the only camera when it lies at the origin with the composed image's size: the composed
    /// image then shares them instead of holding a copy. Null otherwise.
    const cv::Mat* SoleCameraCovering(int width, int height) const;
    /// The camera whose pixels the composed image shares; null when it has its own.
    const cv::Mat* SharedCamera() const;
};
