#pragma once
/// The tools of the "操作" group that work on what is drawn: "选择" (operation 0) selects, drags and opens
/// shapes; "关联定位核" (operation 11) links kernels. The rules live in the editor (ZRKDlg_Select.cpp,
/// ZRKDlg_Associate.cpp) behind the interface below; these objects route the image window's events to them.

#include "editor/ViewTool.h"

/// The editor's rules for pressing, dragging and opening shapes, and for linking kernels.
class IShapeRules {
public:
    virtual void SelectPress(const CToolEvent& event) = 0;
    virtual void SelectMove(const CToolEvent& event) = 0;
    virtual void SelectRelease(const CToolEvent& event) = 0;
    virtual void SelectDoubleClick(const CToolEvent& event) = 0;
    /// Ends a drag in progress where it is, as one step.
    virtual void CancelDrag() = 0;
    virtual void AssociatePress(const CToolEvent& event) = 0;

protected:
    ~IShapeRules() = default;
};

class CSelectTool : public CViewTool {
public:
    CSelectTool(CEditorDocument& doc, IToolView& view, IShapeRules& rules) : CViewTool(doc, view), m_rules(rules) {}
    void OnPress(const CToolEvent& event) override;
    void OnMove(const CToolEvent& event) override;
    void OnRelease(const CToolEvent& event) override;
    void OnDoubleClick(const CToolEvent& event) override;
    void OnCancel() override;

private:
    IShapeRules& m_rules;
};

class CAssociateTool : public CViewTool {
public:
    CAssociateTool(CEditorDocument& doc, IToolView& view, IShapeRules& rules) : CViewTool(doc, view), m_rules(rules) {}
    void OnPress(const CToolEvent& event) override;
    /// Forgets the first press of a link in progress.
    void OnCancel() override;

private:
    IShapeRules& m_rules;
};
