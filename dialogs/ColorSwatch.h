#pragma once
/// A colour swatch: a framed rectangle filled with one colour (outline and inside), as the catalogue
/// dialogs show a reference or mask colour beside its "..." button.

#include "support/Color.h"

#include <QFrame>

class CColorSwatch : public QFrame {
public:
    explicit CColorSwatch(QWidget* parent = nullptr);

    void SetColor(COLORREF color);
    COLORREF GetColor() const { return m_crColor; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    COLORREF m_crColor = 0;
};
