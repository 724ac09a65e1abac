// The reference-image manager: the buttons of its three lists (reference images, cameras, split schemes).

#include "dialogs/DlgRefImageEdit.h"

#include "datastruct/CameraRefImage.h"
#include "datastruct/RefImage.h"
#include "dialogs/DlgCamImageEdit.h"
#include "dialogs/DlgLargeRefParameter.h"
#include "dialogs/DlgSelPos.h"
#include "dialogs/DlgSplitAreaParaEdit.h"
#include "dialogs/ModalRunner.h"
#include "view/ImgWnd.h"
#include "formats/Format.h"
#include "formats/LanguagePack.h"
#include "host/GlobalPara.h"
#include "model/ParaTypes.h"
#include "support/Prompter.h"

#include <QSignalBlocker>
#include <QTreeWidget>

#include <memory>

// ---- reference images -------------------------------------------------------------------------------------

bool CDlgRefImageEdit::NeedRefImage() {
    if (m_pRef)
        return true;
    ZrkMessageBox(Translate(L"请选择一个参考图!", 0), L"", MB_OK | MB_ICONWARNING);
    return false;
}

bool CDlgRefImageEdit::AskDelete() {
    return ZrkMessageBox(Translate(L"确定要删除吗?", 0), L"", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void CDlgRefImageEdit::OnRefAdd() {
    std::unique_ptr<CRefImage> ref(dynamic_cast<CRefImage*>(CGlobalPara::Get().CreateInstance(L"CRefImage")));
    if (!ref)
        return;
    CDlgLargeRefParameter dialog(*ref, this);
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    ref->m_nID = m_refImages.GetMaxID() + 1;
    if (!m_refImages.Add(ref.get()))
        return;
    ref.release();
    FillRefList();
}

void CDlgRefImageEdit::OnRefEdit() {
    if (!NeedRefImage())
        return;
    const int cameras = m_pRef->m_cameras.GetSize();
    CDlgLargeRefParameter dialog(*m_pRef, this);
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    FillRefList();
    if (m_pRef->m_cameras.GetSize() != cameras) {
        // The camera grid changed and its cameras went: nothing is left to show.
        ReleaseImage();
        update();
    }
    FillCamList();
}

void CDlgRefImageEdit::OnRefDelete() {
    if (!NeedRefImage() || !AskDelete())
        return;
    const int id = m_pRef->m_nID;
    ReleaseImage();
    m_pRef = nullptr;
    m_nSplitID = -1;
    m_refImages.RemoveByID(id);
    m_pCamList->clear();
    {
        QSignalBlocker quiet(m_pSplitList);
        m_pSplitList->clear();
    }
    FillRefList();
    update();
}

// ---- cameras --------------------------------------------------------------------------------------------

void CDlgRefImageEdit::OnCamAdd() {
    if (!NeedRefImage())
        return;
    CItemList& cameras = m_pRef->m_cameras;
    if (cameras.GetSize() >= m_pRef->m_nCamCols * m_pRef->m_nCamRows) {
        ZrkMessageBox(Translate(L"设定的相机数已满，不能添加相机!", 0), L"", MB_OK | MB_ICONWARNING);
        return;
    }
    int column = 0, row = 0, x = 0, y = 0;
    if (auto* first = cameras.GetSize() > 0 ? cameras.GetAtAs<CCameraRefImage>(0) : nullptr) {
        CDlgSelPos picker(this);
        picker.m_nCols = m_pRef->m_nCamCols;
        picker.m_nRows = m_pRef->m_nCamRows;
        picker.m_nCellWidth = picker.m_nCellHeight = 100;
        picker.m_strTitle = Translate(L"请选择要增加的相机所在的位置", 0);
        if (RunModal(picker) != QDialog::Accepted)
            return;
        column = picker.m_nCurCol;
        row = picker.m_nCurRow;
        x = column * first->GetWidth();
        y = row * first->GetHeight();
    }
    std::unique_ptr<CCameraRefImage> camera(
        dynamic_cast<CCameraRefImage*>(CGlobalPara::Get().CreateInstance(L"CCameraRefImage")));
    if (!camera)
        return;
    camera->m_nCamCol = column;
    camera->m_nCamRow = row;
    camera->m_nX = x;
    camera->m_nY = y;
    CDlgCamImageEdit dialog(*camera, &cameras, this);
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    camera->m_nID = cameras.GetMaxID() + 1;
    const int id = camera->m_nID;
    if (!cameras.Add(camera.get()))
        return;
    camera.release();
    ReloadImage();
    for (int i = 0; i < m_pCamList->topLevelItemCount(); ++i)
        if (m_pCamList->topLevelItem(i)->data(0, Qt::UserRole).toInt() == id)
            SelectListRow(m_pCamList, i);
}

void CDlgRefImageEdit::OnCamEdit() {
    if (!NeedRefImage())
        return;
    CCameraRefImage* camera = GetSelCamera();
    if (!camera) {
        ZrkMessageBox(Translate(L"请选择一个相机!", 0), L"", MB_OK | MB_ICONWARNING);
        return;
    }
    CDlgSelPos picker(this);
    picker.m_nCols = m_pRef->m_nCamCols;
    picker.m_nRows = m_pRef->m_nCamRows;
    picker.m_nCellWidth = picker.m_nCellHeight = 100;
    picker.m_nCurCol = camera->m_nCamCol;
    picker.m_nCurRow = camera->m_nCamRow;
    picker.m_strTitle = Translate(L"请选择相机所在的位置", 0);
    if (RunModal(picker) != QDialog::Accepted)
        return;
    camera->m_nCamCol = picker.m_nCurCol;  // kept even when the file dialog below is cancelled
    camera->m_nCamRow = picker.m_nCurRow;
    CDlgCamImageEdit dialog(*camera, &m_pRef->m_cameras, this);
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    ReloadImage();
}

void CDlgRefImageEdit::OnCamDelete() {
    if (!NeedRefImage())
        return;
    CCameraRefImage* camera = GetSelCamera();
    if (!camera) {
        ZrkMessageBox(Translate(L"请选择一个相机!", 0), L"", MB_OK | MB_ICONWARNING);
        return;
    }
    CItemList& cameras = m_pRef->m_cameras;
    if (cameras.GetSize() <= 1) {
        ZrkMessageBox(Translate(L"必须保留一个相机!", 0), L"", MB_OK | MB_ICONWARNING);
        return;
    }
    if (cameras.GetAt(cameras.GetSize() - 1) != camera) {
        ZrkMessageBox(Translate(L"只能从最后一个开始删除!请确认!", 0), L"", MB_OK | MB_ICONWARNING);
        return;
    }
    if (!AskDelete())
        return;
    DropView();  // the composition keeps the deleted camera's pixels by identifier: load afresh
    cameras.RemoveByID(camera->m_nID);
    ReloadImage();
}

// ---- split schemes --------------------------------------------------------------------------------------

void CDlgRefImageEdit::OnSplitAdd() {
    if (!NeedRefImage())
        return;
    if (m_pRef->m_cameras.GetSize() == 0) {
        ZrkMessageBox(Translate(L"请先设置相机图!", 0), L"", MB_OK | MB_ICONWARNING);
        return;
    }
    auto split = std::make_unique<CSplitAreaPara>();
    CDlgSplitAreaParaEdit dialog(*split, this);
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    split->m_nID = m_pRef->m_splits.GetMaxID() + 1;
    if (!m_pRef->m_splits.Add(split.get()))
        return;
    split.release();
    FillSplitList();
}

void CDlgRefImageEdit::OnSplitEdit() {
    if (!NeedRefImage())
        return;
    CSplitAreaPara* split = GetSelSplit();
    if (!split) {
        ZrkMessageBox(Translate(L"请选择一个分区方案!", 0), L"", MB_OK | MB_ICONWARNING);
        return;
    }
    CDlgSplitAreaParaEdit dialog(*split, this);
    if (dialog.DoModal() != QDialog::Accepted)
        return;
    if (split->m_nID == m_nSplitID) {
        m_pRef->ApplySplit(m_nSplitID);  // the drawn scheme changed: draw it anew
        if (m_pImageWnd)
            m_pImageWnd->update();
    }
    FillSplitList();
}

void CDlgRefImageEdit::OnSplitDelete() {
    if (!NeedRefImage())
        return;
    CSplitAreaPara* split = GetSelSplit();
    if (!split) {
        ZrkMessageBox(Translate(L"请选择一个分区方案!", 0), L"", MB_OK | MB_ICONWARNING);
        return;
    }
    if (!AskDelete())
        return;
    if (split->m_nID == m_nSplitID)
        m_nSplitID = -1;
    m_pRef->m_splits.RemoveByID(split->m_nID);
    FillSplitList();
    if (m_pImageWnd)
        m_pImageWnd->update();
}
