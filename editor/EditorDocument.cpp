#include "editor/EditorDocument.h"

#include "datastruct/SysPara.h"

#include <algorithm>

CEditorDocument::CEditorDocument() = default;

CEditorDocument::~CEditorDocument() {
    m_pModel = nullptr;  // owned by the system parameters deleted with this object, or by the host
}

void CEditorDocument::AdoptSysPara(std::unique_ptr<CSysPara> sysPara) {
    m_pSysPara = sysPara.get();
    m_pOwnSysPara = std::move(sysPara);  // the previous own ones go now that nothing points into them
}

void CEditorDocument::DropOwnSysPara() {
    if (m_pSysPara == m_pOwnSysPara.get())
        m_pSysPara = nullptr;
    m_pOwnSysPara.reset();
}

void CEditorDocument::ForgetModelPointers() {
    m_pSelShape = nullptr;
    m_nNoteHit = -1;
    m_nKernelHit = -1;
    m_pAssocSource = nullptr;
    m_nAssocKernel = -1;
    m_drawing.ClearPoints();
    m_bDrawing = false;
    // A copy: a holder may unregister another while it forgets.
    const std::vector<IModelPointerHolder*> holders = m_holders;
    for (IModelPointerHolder* holder : holders)
        if (std::find(m_holders.begin(), m_holders.end(), holder) != m_holders.end())
            holder->ForgetModelPointers();
}

void CEditorDocument::AddPointerHolder(IModelPointerHolder* holder) {
    if (holder && std::find(m_holders.begin(), m_holders.end(), holder) == m_holders.end())
        m_holders.push_back(holder);
}

void CEditorDocument::RemovePointerHolder(IModelPointerHolder* holder) {
    m_holders.erase(std::remove(m_holders.begin(), m_holders.end(), holder), m_holders.end());
}
