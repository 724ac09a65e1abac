#pragma once
/// One camera's image of a reference image: an image file (BMP, PNG or TIFF) placed with its top-left corner at (x, y) of
/// the large image, and the camera's column and row in the camera grid.

#include "model/IDItem.h"
#include "support/Geometry.h"

#include <string>

class CCameraRefImage : public CIDItem {
public:
    /// The image file path ("its name field").
    std::wstring GetName() const override { return m_strName; }
    bool CopyFrom(const CIDItem* source) override;
    CIDItem* NewInstance() const override { return new CCameraRefImage; }
    std::wstring GetTypeName() const override { return L"CCameraRefImage"; }

    /// Width and height of the image, read from its file (header only for BMP and PNG; 0 when it cannot
    /// be read); cached until the path changes.
    virtual int GetWidth() const;
    virtual int GetHeight() const;
    /// (x, y, x + width, y + height).
    virtual CRect GetRect() const;

    /// The file the camera's image is read from: the copy in the image cache when the open model's store
    /// holds the image of this path (ModelImages.h), else `GetFilePath()`.
    std::wstring GetFullPath() const;
    /// The path as a file path: a relative path is taken relative to the deployment folder.
    std::wstring GetFilePath() const;
    /// The path to store for a chosen file: relative to the deployment folder when the file lies inside
    /// it (so that a template moves with its deployment), the path as given otherwise. A relative path is
    /// already relative to the deployment folder and is returned as it is.
    static std::wstring ToStoredPath(const std::wstring& path);

    std::wstring m_strName; ///< image file ("图像文件")
    int32_t m_nX = 0;       ///< "在大图中的横坐标"
    int32_t m_nY = 0;       ///< "在大图中的纵坐标"
    int32_t m_nCamCol = 0;  ///< camera column from the cell picker
    int32_t m_nCamRow = 0;  ///< camera row

private:
    void ReadSize() const;

    mutable std::wstring m_strSizeOf; // the path the cached size belongs to
    mutable bool m_bSizeRead = false;
    mutable int m_nWidth = 0;
    mutable int m_nHeight = 0;
};
