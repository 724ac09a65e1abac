#pragma once
/// The tolerance of a kernel association ("公差设置（mm）"): a label field "标识:", a tolerance field "公差:"
/// and a third number field "分条:" that exists but is hidden. The opener presets the three values and
/// reads them back after OK. The number fields hold single-precision numbers; OK refuses a field that is
/// not a finite number with "请输入一个数字。" and stays open with that field focused. A field whose text
/// is still the one shown at the start keeps its preset value exactly.
///
/// Controls by name: "label", "tolerance", "split" (hidden), "splitLabel" (hidden), "1" (OK), "2" (Cancel).

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;

class CToleranceSetting : public QDialog {
    Q_OBJECT
public:
    explicit CToleranceSetting(QWidget* parent = nullptr);

    int DoModal();

    /// Reads a number field's text: blanks around it allowed; false for anything else or a value that is
    /// not finite as a float.
    static bool ParseFloat(const QString& text, float& value);
    /// A float as the number fields show it (up to 6 significant digits: 0.1 shows "0.1").
    static QString FormatFloat(float value);

    std::wstring m_strLabel;
    float m_fTolerance = 0.0f;
    float m_fSplit = 0.0f; ///< the hidden third field

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_pLabel;
    QLineEdit* m_pTolerance;
    QLineEdit* m_pSplit;
    QLabel* m_pSplitLabel;
    bool m_bInitialised = false;
};
