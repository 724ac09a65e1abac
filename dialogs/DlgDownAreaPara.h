#pragma once
/// The file name of an inspection-area export ("导出检测区到ini文件"): a line showing "路径:" and the
/// folder the opener set, the label "请输入文件名:", one edit field and "确定". OK refuses an empty name
/// ("文件名不能为空!") and a name that is not a plain file name (it holds "/" or is "." or "..":
/// "文件名不能包含路径!"), staying open; otherwise the name is in `m_strFileName`. The opener appends
/// the extension and writes the file into the folder.
///
/// Controls by name: "path" (the folder line), "fileName" (the field), "1" (OK).

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;

class CDlgDownAreaPara : public QDialog {
    Q_OBJECT
public:
    explicit CDlgDownAreaPara(QWidget* parent = nullptr);

    int DoModal();

    std::wstring m_strPath;     ///< the export folder, set by the opener
    std::wstring m_strFileName; ///< the name typed, after OK (also the field's initial text)

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* m_pPath;
    QLineEdit* m_pFileName;
    bool m_bInitialised = false;
};
