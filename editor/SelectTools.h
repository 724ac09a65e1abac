#pragma once
/// The tools of the "操作" group that work on what is drawn: "选择" (operation 0) selects, drags and opens
/// shapes; "关联定位核" (operation 11) links kernels. The rules live in the editor (ZRKDlg_Select.cpp);
/// these objects route the image window's events to them.

#include "editor/ViewTool.h"

class CSelectTool : public CViewTool {
public:
    using CViewTool::CViewTool;
    void OnPress(const CToolEvent& event) override;
    void OnMove(const CToolEvent& event) override;
    void OnRelease(const CToolEvent& event) override;
    void OnDoubleClick(const CToolEvent& event) override;
    void OnCancel() override;
};

class CAssociateTool : public CViewTool {
public:
    using CViewTool::CViewTool;
    void OnPress(const CToolEvent& event) override;
    void OnCancel() override;
};
