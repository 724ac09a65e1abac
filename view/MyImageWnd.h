#pragma once
/// The editor's image window: an image window on the image frame (control 1002) with the editor's two
/// scroll bars (1001 horizontal, 1000 vertical) and the editor as owner (the frame when none is given).

#include "view/ImgWnd.h"

class CMyImageWnd : public CImgWnd {
    Q_OBJECT
public:
    /// Resets the scroll origin to 0 and the scale to 1, updates the tracker and sizes the window to
    /// its frame.
    CMyImageWnd(CImgView* view, QWidget* frame, QScrollBar* horz, QScrollBar* vert, QWidget* owner = nullptr);
    ~CMyImageWnd() override;

    QWidget* GetOwner() const { return m_pOwner; }

private:
    QWidget* m_pOwner;
};
