#include "view/MyImageWnd.h"

CMyImageWnd::CMyImageWnd(CImgView* view, QWidget* frame, QScrollBar* horz, QScrollBar* vert, QWidget* owner)
    : CImgWnd(view, frame, horz, vert), m_pOwner(owner ? owner : frame) {
    SetScale(1.0);
    SetScrollOrigin(0, 0);
    UpdateRoiTracker();
    OnSize();
    show();
}

CMyImageWnd::~CMyImageWnd() = default;
