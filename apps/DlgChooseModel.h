#pragma once
/// The host's template catalogue dialog: choose a stored model (open), name a new one (new), or choose a
/// model and name its copy (copy). Runs through the modal runner like every modal dialog.

#include "datastruct/TemplateStore.h"

#include <QDialog>
#include <vector>

class QLineEdit;
class QListWidget;

class CDlgChooseModel : public QDialog {
    Q_OBJECT
public:
    enum class Mode { New, Open, Copy };

    CDlgChooseModel(Mode mode, const std::vector<CModelCatalogEntry>& catalogue, QWidget* parent = nullptr);

    /// The chosen model's identifier (open and copy); -1 when none is chosen.
    int GetChosenID() const;
    /// The name and title typed (new and copy); the title defaults to the name.
    std::wstring GetName() const;
    std::wstring GetTitle() const;

    QListWidget* m_pList = nullptr;
    QLineEdit* m_pName = nullptr;
    QLineEdit* m_pTitle = nullptr;

public slots:
    void accept() override;

private:
    Mode m_mode;
    std::vector<CModelCatalogEntry> m_catalogue;
};
