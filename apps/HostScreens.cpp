// The host's pictures of single dialogs: `zrk-host --screenshot FILE --open WHAT` opens the named dialog of
// the editor on the start model, the way its command or a double-click would, and paints it into a PNG.

#include "HostOptions.h"
#include "HostWindow.h"

#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "dialogs/DlgKernelPara.h"
#include "dialogs/DlgMaskPara.h"
#include "dialogs/DlgNotePara.h"
#include "dialogs/DlgThreshMaskPara.h"
#include "dialogs/ModalRunner.h"
#include "editor/ModelTreeCtrl.h"
#include "editor/ZRKDlg.h"
#include "geometry/MaskArea.h"
#include "host/ModuleState.h"
#include "host/ZRKProManager.h"
#include "support/Prompter.h"

#include <QApplication>
#include <QPixmap>
#include <functional>

namespace {

struct Opener {
    const char* name;
    const char* meaning;
    std::function<bool(CZRKDlg&)> open;  ///< false when the sample holds nothing to open it on
};

// Moves the tree's caret up to the depth (1 type, 2 side, 3 phase) of the current selection.
bool CaretAtDepth(CZRKDlg& dlg, int depth) {
    QTreeWidgetItem* item = dlg.GetTree() ? dlg.GetTree()->GetCaretItem() : nullptr;
    while (item && CModelTreeCtrl::GetItemDepth(item) > depth)
        item = item->parent();
    if (!item || CModelTreeCtrl::GetItemDepth(item) != depth)
        return false;
    dlg.GetTree()->setCurrentItem(item);
    return true;
}

template <class T> T* FirstOf(const CItemList& list) {
    for (int i = 0; i < list.GetSize(); ++i)
        if (T* item = list.GetAtAs<T>(i))
            return item;
    return nullptr;
}

// Kernels belong to the reference image, each to one print pass: the first of the current pass.
CKernel* FirstKernel(CZRKDlg& dlg) {
    CPhase* phase = dlg.GetCurPhase();
    if (!phase || !dlg.GetDocument().GetRefImage())
        return nullptr;
    for (int i = 0; i < dlg.GetDocument().GetRefImage()->m_kernels.GetSize(); ++i)
        if (auto* kernel = dlg.GetDocument().GetRefImage()->m_kernels.GetAtAs<CKernel>(i); kernel && kernel->m_nPhaseID == phase->m_nID)
            return kernel;
    return nullptr;
}

const std::vector<Opener>& Openers() {
    using namespace zrkid;
    static const std::vector<Opener> openers = {
        {"type", "the inspection type dialog",
         [](CZRKDlg& d) { return CaretAtDepth(d, 1) && d.OnCommand(ID_EDIT_TYPE); }},
        {"side", "the side dialog", [](CZRKDlg& d) { return CaretAtDepth(d, 2) && d.OnCommand(ID_EDIT_SIDE); }},
        {"phase", "the phase dialog", [](CZRKDlg& d) { return CaretAtDepth(d, 3) && d.OnCommand(ID_EDIT_PHASE); }},
        {"kernel", "the kernel dialog of the first kernel",
         [](CZRKDlg& d) {
             CKernel* kernel = FirstKernel(d);
             if (!kernel || !d.GetDocument().GetModel())
                 return false;
             CDlgKernelPara dialog(kernel, &d.GetDocument().GetModel()->m_phaseTypes, &d);
             dialog.DoModal();
             return true;
         }},
        {"area", "the inspection area dialog of the first area",
         [](CZRKDlg& d) {
             CPhase* phase = d.GetCurPhase();
             CPhaseMaskArea* area = phase ? FirstOf<CPhaseMaskArea>(phase->m_areas) : nullptr;
             if (!area)
                 return false;
             CDlgMaskPara dialog(d.GetCurType(), d.GetCurSide(), area, L"PhaseMaskPara.ini", false, &d);
             dialog.m_strLabel = area->m_strTag;
             dialog.DoModal();
             return true;
         }},
        {"shielded", "the shielded area dialog of the first shielded area",
         [](CZRKDlg& d) {
             CSide* side = d.GetCurSide();
             CThreshMaskArea* area = side ? FirstOf<CThreshMaskArea>(side->m_threshMasks) : nullptr;
             if (!area || !d.GetDocument().GetModel())
                 return false;
             CDlgThreshMaskPara dialog(&d.GetDocument().GetModel()->m_maskCoeffTypes, area, &d);
             dialog.DoModal();
             return true;
         }},
        {"note", "the small sheet dialog",
         [](CZRKDlg& d) {
             CNote* note = d.GetCurNote();
             if (!note)
                 return false;
             CDlgNotePara dialog(d.GetCurType(), note, &d);
             dialog.DoModal();
             return true;
         }},
        {"side-types", "the side-type list editor", [](CZRKDlg& d) { return d.OnCommand(ID_SIDE_TYPES); }},
        {"phase-types", "the phase-type list editor", [](CZRKDlg& d) { return d.OnCommand(ID_PHASE_TYPES); }},
        {"mask-types", "the mask-coefficient-type list editor",
         [](CZRKDlg& d) { return d.OnCommand(ID_MASK_COEFF_TYPES); }},
        {"custom-types", "the custom parameter types", [](CZRKDlg& d) { return d.OnCommand(ID_CUSTOM_TYPES); }},
        {"reference-images", "the reference-image manager", [](CZRKDlg& d) { return d.OnCommand(ID_REF_IMAGES); }},
        {"copy-data", "copy data", [](CZRKDlg& d) { return d.OnCommand(ID_COPY_DATA); }},
        {"mask-paint", "mask painting on the first inspection area",
         [](CZRKDlg& d) {
             CPhase* phase = d.GetCurPhase();
             CPhaseMaskArea* area = phase ? FirstOf<CPhaseMaskArea>(phase->m_areas) : nullptr;
             if (!area)
                 return false;
             d.GetDocument().SetSelShape(area);
             d.PaintSelectedMask();
             return true;
         }},
    };
    return openers;
}

} // namespace

QString CHostWindow::DialogNamesHelp() {
    QString text;
    for (const Opener& opener : Openers())
        text += QString(kHelpDescriptionColumn, ' ') +
                QStringLiteral("%1%2\n").arg(QString::fromLatin1(opener.name), -18).arg(QString::fromLatin1(opener.meaning));
    return text;
}

bool CHostWindow::IsDialogName(const QString& what) {
    for (const Opener& opener : Openers())
        if (what == QLatin1String(opener.name))
            return true;
    return false;
}

bool CHostWindow::ScreenshotDialog(const QString& what, const QString& file) {
    const Opener* opener = nullptr;
    for (const Opener& each : Openers())
        if (what == QLatin1String(each.name))
            opener = &each;
    if (!opener)
        return false;
    SetPrompter(nullptr);
    CZRKDlg* dlg = static_cast<CZRKDlg*>(m_pManager->GetZRKDialog());
    dlg->resize(1400, 900);
    {
        // The start-up's own questions are declined, as in the editor's picture.
        ScopedModalHandler cancel(
            [](QDialog& dialog) {
                dialog.reject();
                return static_cast<int>(QDialog::Rejected);
            },
            ScopedModalHandler::Optional);
        if (!StartEditor())
            return false;
    }
    QApplication::processEvents();
    // Without a selection kept in the profile, the first print pass of the tree is chosen, as a click would.
    if (dlg->GetTree() && CModelTreeCtrl::GetItemDepth(dlg->GetTree()->GetCaretItem()) != 3) {
        QTreeWidgetItem* item = dlg->GetTree()->topLevelItemCount() ? dlg->GetTree()->topLevelItem(0) : nullptr;
        while (item && CModelTreeCtrl::GetItemDepth(item) < 3 && item->childCount())
            item = item->child(0);
        if (item)
            dlg->GetTree()->setCurrentItem(item);
        QApplication::processEvents();
    }
    bool saved = false;
    ScopedModalHandler grab(
        [&](QDialog& dialog) {
            // The first dialog the command opens is the one asked for; any after it is declined unseen.
            if (!saved) {
                dialog.show();
                QApplication::processEvents();
                saved = dialog.grab().save(file, "PNG");
            }
            dialog.reject();
            return static_cast<int>(QDialog::Rejected);
        },
        ScopedModalHandler::Optional);  // a command that opens nothing is told by `saved`
    // Inside the module, as its exported calls are: its own texts are looked up in its section.
    CModuleStateGuard module;
    const bool opened = opener->open(*dlg);
    return opened && saved;
}
