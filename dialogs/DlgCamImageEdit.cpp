#include "dialogs/DlgCamImageEdit.h"

#include "datastruct/CameraImageFile.h"
#include "datastruct/CameraRefImage.h"
#include "dialogs/CatalogueChecks.h"
#include "dialogs/ModalRunner.h"
#include "formats/CodePage.h"
#include "formats/LanguagePack.h"
#include "formats/Limits.h"
#include "formats/Utility.h"
#include "geometry/ImgBuffer.h"
#include "model/ItemList.h"
#include "support/Prompter.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>

namespace {

QString Tr(const wchar_t* text) {
    return QString::fromStdWString(Translate(text, 0));
}

// The file a stored path names: relative paths are relative to the deployment folder.
std::wstring FullPathOf(const std::wstring& stored) {
    CCameraRefImage probe;
    probe.m_strName = stored;
    return probe.GetFullPath();
}

// The station's own file of a stored path (never the store's cached copy): where the file dialog starts.
std::wstring StationFileOf(const std::wstring& stored) {
    CCameraRefImage probe;
    probe.m_strName = stored;
    return probe.GetFilePath();
}

// The folder of the current file when it exists, the deployment folder otherwise.
std::wstring StartFolder(const std::wstring& current) {
    const size_t slash = current.rfind(L'/');
    if (slash != std::wstring::npos && slash > 0) {
        std::wstring folder = current.substr(0, slash + 1);
        std::error_code ec;
        if (std::filesystem::is_directory(std::filesystem::u8path(WideToUtf8(folder)), ec))
            return folder;
    }
    return GetExeFolder();
}

} // namespace

CDlgCamImageEdit::CDlgCamImageEdit(CCameraRefImage& camera, const CItemList* neighbours, QWidget* parent)
    : QDialog(parent), m_camera(camera), m_pNeighbours(neighbours) {
    setObjectName(QStringLiteral("DlgCamImageEdit"));
    m_pPath = new QLineEdit(this);
    m_pPath->setObjectName(QStringLiteral("path"));
    m_pPath->setMinimumWidth(320);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(QStringLiteral("browse"));
    browse->setFixedWidth(30);
    m_pX = new QLineEdit(this);
    m_pX->setObjectName(QStringLiteral("x"));
    m_pY = new QLineEdit(this);
    m_pY->setObjectName(QStringLiteral("y"));
    auto* ok = new QPushButton(Tr(L"确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(Tr(L"取消"), this);
    cancel->setObjectName(QStringLiteral("2"));
    connect(browse, &QPushButton::clicked, this, &CDlgCamImageEdit::OnBrowse);
    connect(ok, &QPushButton::clicked, this, &CDlgCamImageEdit::accept);
    connect(cancel, &QPushButton::clicked, this, &CDlgCamImageEdit::reject);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_pPath);
    pathRow->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(Tr(L"图像文件"), pathRow);
    form->addRow(Tr(L"在大图中的横坐标"), m_pX);
    form->addRow(Tr(L"在大图中的纵坐标"), m_pY);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

int CDlgCamImageEdit::DoModal() {
    return RunModal(*this);
}

void CDlgCamImageEdit::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        setWindowTitle(Tr(L"相机图像编辑"));
        m_pPath->setText(QString::fromStdWString(m_camera.m_strName));
        m_pX->setText(QString::number(m_camera.m_nX));
        m_pY->setText(QString::number(m_camera.m_nY));
    }
    QDialog::showEvent(event);
}

void CDlgCamImageEdit::OnBrowse() {
    FileDialogRequest request;
    request.title = Translate(L"图像文件", 0);
    request.defaultExt = L"BMP";
    request.fileName = L"*.bmp";
    request.filter = CameraImageFilter(Translate(L"图像文件", 0), Translate(L"所有文件", 0));
    request.folder = StartFolder(StationFileOf(m_pPath->text().trimmed().toStdWString()));
    std::vector<std::wstring> paths;
    if (!GetPrompter().GetOpenFileNames(request, paths) || paths.empty())
        return;
    m_pPath->setText(QString::fromStdWString(CCameraRefImage::ToStoredPath(paths.front())));
}

bool CDlgCamImageEdit::Refuse(const wchar_t* message, QLineEdit* field) {
    ZrkMessageBox(Translate(message, 0), L"", MB_OK | MB_ICONWARNING);
    field->setFocus();
    field->selectAll();
    return false;
}

// The refusal of a too large image states the limits in words.
static_assert(zrklimits::kMaxImageSide == 65536 && zrklimits::kMaxImageBytes == (1ull << 30));

void CDlgCamImageEdit::accept() {
    const std::wstring stored = CCameraRefImage::ToStoredPath(m_pPath->text().trimmed().toStdWString());
    const std::wstring full = FullPathOf(stored);
    // The whole file is decoded once here, so that a damaged one is refused now, not left black later.
    CImgBuffer image;
    CameraImageError error = CameraImageError::None;
    if (stored.empty() || !ReadCameraImage(full, image, &error)) {
        Refuse(error == CameraImageError::Missing || stored.empty() ? L"没有找到图像文件,请选择合适的图像文件!"
               : error == CameraImageError::TooLarge ? L"图像太大(超过 65536 像素宽或高, 或 1 GB 像素数据),请选择合适的图像文件!"
                                                     : L"无法读取图像文件,请选择合适的图像文件!",
               m_pPath);
        return;
    }
    for (int i = 0; m_pNeighbours && i < m_pNeighbours->GetSize(); ++i) {
        const auto* other = m_pNeighbours->GetAtAs<CCameraRefImage>(i);
        if (!other || other == &m_camera || other->GetWidth() <= 0 || other->GetHeight() <= 0)
            continue;
        if (other->GetWidth() != image.GetWidth() || other->GetHeight() != image.GetHeight()) {
            Refuse(L"图像尺寸与其它相机图像不同,请选择合适的图像文件!", m_pPath);
            return;
        }
    }
    int x = 0, y = 0;
    std::wstring message;
    if (!CheckIntField(m_pX->text().toStdWString(), 0, CImgBuffer::kMaxSide - image.GetWidth(), x, message)) {
        ZrkMessageBox(message);
        m_pX->setFocus();
        return;
    }
    if (!CheckIntField(m_pY->text().toStdWString(), 0, CImgBuffer::kMaxSide - image.GetHeight(), y, message)) {
        ZrkMessageBox(message);
        m_pY->setFocus();
        return;
    }
    m_camera.m_strName = stored;
    m_camera.m_nX = x;
    m_camera.m_nY = y;
    QDialog::accept();
}
