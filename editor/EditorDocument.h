#pragma once
/// The editor's document: the state behind the editor window that points into the open template, kept in
/// one place so that it is forgotten in one place. The window owns it; tools and panels work on it.
///
/// It holds the open template (model) with the system-parameter object that supplied it and the modified
/// flag, the reference image shown, the selected shape, the source and kernel of an association in progress, the hit indices of a
/// drag, and the outline being drawn. Anything else that keeps a pointer into the template (a tool, a
/// panel) registers as a holder: `ForgetModelPointers` clears the document's own pointers and tells every
/// holder, and it is the only place that does, called whenever the template's objects are replaced,
/// restored, deleted behind a selection, or the model itself changes. No Qt.

#include "geometry/PolygonEx.h"

#include <memory>
#include <vector>

class CGraphBase;
class CIDItem;
class CModelInfo;
class CRefImage;
class CSysPara;

/// Something that keeps pointers into the template's objects outside the document.
class IModelPointerHolder {
public:
    virtual ~IModelPointerHolder() = default;
    /// Drops every pointer into the template: the objects may be gone when this returns.
    virtual void ForgetModelPointers() = 0;
};

class CEditorDocument {
public:
    CEditorDocument();
    ~CEditorDocument();
    CEditorDocument(const CEditorDocument&) = delete;
    CEditorDocument& operator=(const CEditorDocument&) = delete;

    // ---- the template ----
    /// The open template; null when none is open. Owned by the system parameters (or by the host).
    CModelInfo* GetModel() const { return m_pModel; }
    void SetModel(CModelInfo* model) { m_pModel = model; }
    /// The system parameters that supplied the template: the editor's own (`AdoptSysPara`) or the host's
    /// (`SetSysPara`, not owned).
    CSysPara* GetSysPara() const { return m_pSysPara; }
    void SetSysPara(CSysPara* sysPara) { m_pSysPara = sysPara; }
    /// Takes ownership of system parameters the editor made, which become the ones in use; the previous own
    /// ones (and the template they owned) are deleted.
    void AdoptSysPara(std::unique_ptr<CSysPara> sysPara);
    /// Deletes the editor's own system parameters (and the template they own); those in use are then none
    /// unless they were the host's.
    void DropOwnSysPara();
    /// Whether the template holds edits not saved.
    bool IsModified() const { return m_bModified; }
    void SetModified(bool modified) { m_bModified = modified; }

    // ---- the reference image shown ----
    /// The reference image of the selected side, with its pixels loaded; null when none is shown.
    CRefImage* GetRefImage() const { return m_pRefImage; }
    void SetRefImage(CRefImage* refImage) { m_pRefImage = refImage; }

    // ---- the selection ----
    /// The shape pressed last (the one a double-click, a lock or mask painting acts on); null for none.
    CGraphBase* GetSelShape() const { return m_pSelShape; }
    void SetSelShape(CGraphBase* shape) { m_pSelShape = shape; }
    /// Positions of the note item and of the kernel a drag started on; -1 for none.
    int GetNoteHit() const { return m_nNoteHit; }
    void SetNoteHit(int position) { m_nNoteHit = position; }
    int GetKernelHit() const { return m_nKernelHit; }
    void SetKernelHit(int position) { m_nKernelHit = position; }

    // ---- an association in progress ----
    /// The inspection area pressed first by the association tool; null for none.
    CIDItem* GetAssocSource() const { return m_pAssocSource; }
    void SetAssocSource(CIDItem* source) { m_pAssocSource = source; }
    /// The identifier of the kernel pressed first when pairing kernels; -1 for none.
    int GetAssocKernel() const { return m_nAssocKernel; }
    void SetAssocKernel(int kernelID) { m_nAssocKernel = kernelID; }

    // ---- the outline being drawn ----
    /// The points drawn so far (small-sheet coordinates).
    CPolygonEx& GetDrawing() { return m_drawing; }
    const CPolygonEx& GetDrawing() const { return m_drawing; }
    /// Whether an outline is being drawn (its first point placed).
    bool IsDrawing() const { return m_bDrawing; }
    void SetDrawing(bool drawing) { m_bDrawing = drawing; }

    // ---- forgetting ----
    /// Clears the selection, the association in progress, the hit indices and the outline being drawn,
    /// then tells every registered holder to drop its pointers.
    void ForgetModelPointers();
    /// Registers (not owned) and unregisters a holder; a holder unregisters before it dies.
    void AddPointerHolder(IModelPointerHolder* holder);
    void RemovePointerHolder(IModelPointerHolder* holder);

private:
    CModelInfo* m_pModel = nullptr;
    CSysPara* m_pSysPara = nullptr;
    std::unique_ptr<CSysPara> m_pOwnSysPara;
    bool m_bModified = false;
    CRefImage* m_pRefImage = nullptr;
    CGraphBase* m_pSelShape = nullptr;
    int m_nNoteHit = -1;
    int m_nKernelHit = -1;
    CIDItem* m_pAssocSource = nullptr;
    int m_nAssocKernel = -1;
    CPolygonEx m_drawing;
    bool m_bDrawing = false;
    std::vector<IModelPointerHolder*> m_holders;
};
