#pragma once
/// The inspection side dialog ("检测面编辑"): which side type the side instantiates, which reference
/// image it shows and with which split scheme, and its parameters in a grid bound to "SidePara.ini" of the
/// owning type's plug-in folder.
///
/// Combos show "%d %s" entries:
/// - side types of the template in list order, each only when the owning type has no side with that
///   identifier, or when it is the edited side's own (a new side, identifier -1, offers only unused ones);
/// - reference images (identifier, remark);
/// - the split schemes (identifier, remark) of the chosen reference image, refilled whenever the image
///   choice changes.
/// Each combo starts on the side's own identifier, or on nothing when no entry carries it.
///
/// OK refuses with "请选择合适的选项!" while any combo has nothing chosen, the side untouched; otherwise it
/// sets the side's identifier, reference-image and split-scheme identifiers and parameter text, and closes.
/// Cancel changes nothing.
///
/// Controls by name: "sideType", "refImage", "split", "parameterGrid", "1" (OK), "2" (Cancel).

#include <QDialog>

class CGridCtrlEx;
class CInspType;
class CItemList;
class CSide;
class QComboBox;

class CDlgInspSideEdit : public QDialog {
    Q_OBJECT
public:
    /// `inspType` owns (or will own) the side; `sideTypes` holds `CSideType`s, `refImages` `CRefImage`s.
    /// All must outlive the dialog; null lists offer nothing.
    CDlgInspSideEdit(CInspType* inspType, const CItemList* sideTypes, const CItemList* refImages, CSide* side,
                     QWidget* parent = nullptr);

    int DoModal();

    QComboBox* GetSideTypeCombo() const { return m_pSideType; }
    QComboBox* GetRefImageCombo() const { return m_pRefImage; }
    QComboBox* GetSplitCombo() const { return m_pSplit; }
    CGridCtrlEx* GetGrid() const { return m_pGrid; }

public slots:
    void accept() override;

private:
    /// Refills the split-scheme combo from the chosen reference image and selects the side's scheme.
    void FillSplitCombo();

    CInspType* m_pInspType;
    const CItemList* m_pSideTypes;
    const CItemList* m_pRefImages;
    CSide* m_pSide;
    QComboBox* m_pSideType;
    QComboBox* m_pRefImage;
    QComboBox* m_pSplit;
    CGridCtrlEx* m_pGrid;
};
