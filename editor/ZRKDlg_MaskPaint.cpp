// The editor window: "掩模" at place 13 of the toolbar, repainting the selected mask pixel by pixel.

#include "editor/ZRKDlg.h"

#include "editor/EditStep.h"
#include "formats/LanguagePack.h"
#include "geometry/GraphBase.h"
#include "maskpaint/MaskClass.h"
#include "maskpaint/MaskDraw.h"
#include "support/Prompter.h"

void CZRKDlg::PaintSelectedMask() {
    if (!m_doc.GetModel())
        return;
    if (!m_doc.GetSelShape()) {
        ZrkMessageBox(Translate(L"请选择一个掩模对象!"), Translate(L"掩模绘制"), MB_OK);
        return;
    }
    const std::wstring type = m_doc.GetSelShape()->GetTypeName();
    if (type != L"CPhaseMaskArea" && type != L"CThreshMaskArea" && type != L"CCustomMaskArea")
        return;

    CMaskClass brushes;
    brushes.m_strName = Translate(L"掩模绘制画笔");
    brushes.m_strRemark = Translate(L"掩模绘制画笔备注");
    brushes.m_brushes.Add(Translate(L"需要处理的数据"), 255);
    brushes.m_brushes.Add(Translate(L"不需要处理的数据"), 0);
    brushes.m_nBackValue = 0;

    int result = 0;
    {
        CEditStep step(m_doc, L"掩模绘制");
        CMaskDraw dialog(m_pSrcImage, m_doc.GetSelShape(), &brushes, false, true, this);
        result = dialog.DoModal();
        // An OK on an untouched layer changes nothing and records nothing.
        if (result == QDialog::Accepted && dialog.HasChangedItem())
            m_doc.SetModified(true);
    }
    if (result == QDialog::Accepted)
        RedrawOverlays(); // repaints the image window
}
