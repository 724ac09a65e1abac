#pragma once
/// The mask-coefficient entry editor ("掩模阈值类型"): name (at most 20 characters), coefficient (a whole
/// number from 1 to 255; the field starts with the stored coefficient truncated) and remark.
///
/// OK checks the name's length ("请输入不超过 20 个字符!") and the coefficient ("请输入一个整数!" or
/// "请输入 1 到 255 之间的整数!"); a refusal keeps the dialog open and the entry untouched. Otherwise it
/// stores name, remark and the coefficient as a floating-point value, except that a coefficient field left
/// as it was shown keeps the stored value: a type stored as 2.5 stays 2.5 (the field showed "2").
/// Cancel leaves the entry untouched.
///
/// Controls by name: "name", "coeff", "remark", "1" (OK), "2" (Cancel).

#include <QDialog>

class CMaskCoeffType;
class QLineEdit;

class CDlgMaskCoeffParaSetEdit : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxNameChars = 20;

    /// `type` is edited in place on OK; not owned.
    explicit CDlgMaskCoeffParaSetEdit(CMaskCoeffType& type, QWidget* parent = nullptr);

    int DoModal();

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    CMaskCoeffType& m_type;
    QLineEdit* m_pName;
    QLineEdit* m_pCoeff;
    QLineEdit* m_pRemark;
    QString m_strShownCoeff; ///< the coefficient field as initialised
    bool m_bInitialised = false;
};
