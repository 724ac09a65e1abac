#pragma once
/// The camera-image editor ("相机图像编辑"): the image file of one camera and the position of its top-left
/// corner in the large image ("在大图中的横坐标", "在大图中的纵坐标").
///
/// "..." asks the prompter for a file (default extension "BMP", proposed name "*.bmp", the formats BMP,
/// PNG and TIFF offered, starting in the folder of the current file or the deployment folder); the chosen
/// path goes into the field, relative to the deployment folder when the file lies inside it.
///
/// OK refuses, with a message and the dialog kept open, the camera untouched:
/// - a path where no file exists: "没有找到图像文件,请选择合适的图像文件!";
/// - a file that is no readable image: "无法读取图像文件,请选择合适的图像文件!";
/// - an image of another size than the other cameras of the same reference image (those whose files can
///   be read): "图像尺寸与其它相机图像不同,请选择合适的图像文件!";
/// - a position that is no integer or out of 0 … (65536 − the image's width or height), so that the
///   composed image stays within a buffer's largest side (the integer field check's message).
/// Otherwise it stores the path (made relative as above), x and y.
///
/// Controls by name: "path", "browse" ("..."), "x", "y", "1" (OK), "2" (Cancel).

#include <QDialog>

class CCameraRefImage;
class CItemList;
class QLineEdit;

class CDlgCamImageEdit : public QDialog {
    Q_OBJECT
public:
    /// `camera` is edited in place on OK; `neighbours` (may be null) is the camera list of its reference
    /// image, against whose image size the chosen file is checked (the camera itself is skipped).
    explicit CDlgCamImageEdit(CCameraRefImage& camera, const CItemList* neighbours = nullptr,
                              QWidget* parent = nullptr);

    int DoModal();
    /// "...": the file dialog through the prompter.
    void OnBrowse();

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool Refuse(const wchar_t* message, QLineEdit* field);

    CCameraRefImage& m_camera;
    const CItemList* m_pNeighbours;
    QLineEdit* m_pPath;
    QLineEdit* m_pX;
    QLineEdit* m_pY;
    bool m_bInitialised = false;
};
