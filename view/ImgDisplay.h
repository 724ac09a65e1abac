#pragma once
/// The shared image display: the output device that image views paint through. Here it carries the
/// settings every view shares (opened or not, smooth scaling); views paint with QPainter.

class CImgDisplay {
public:
    CImgDisplay() = default;
    virtual ~CImgDisplay() { Close(); }

    /// Opens the display; true (also when already open).
    bool Open() {
        m_bOpen = true;
        return true;
    }
    void Close() { m_bOpen = false; }
    bool IsOpen() const { return m_bOpen; }

    /// Views scale with smooth interpolation when set (off: nearest pixel, what an inspector expects).
    bool m_bSmoothScaling = false;

private:
    bool m_bOpen = false;
};
