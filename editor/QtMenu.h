#pragma once
/// A `QMenu` seen through the menu interface the language pack translates (`IMenu`): items by position,
/// separators included; an item's command identifier is its action's data (0 for a separator or an item
/// that opens a submenu). The adapters of submenus are made on demand and owned by this object.

#include "formats/MenuInterface.h"

#include <map>
#include <memory>

class QAction;
class QMenu;

class CQtMenu : public IMenu {
public:
    explicit CQtMenu(QMenu* menu) : m_pMenu(menu) {}
    ~CQtMenu() override;

    int GetItemCount() const override;
    std::wstring GetItemText(int position) const override;
    void SetItemText(int position, const std::wstring& text) override;
    int GetItemID(int position) const override;
    IMenu* GetSubMenu(int position) override;

    /// Appends an item carrying a command identifier (its action's data) and returns its action.
    static QAction* AddCommand(QMenu* menu, const std::wstring& text, int command);
    /// The command identifier an action carries; 0 when none.
    static int GetCommand(const QAction* action);

private:
    QAction* ActionAt(int position) const;

    QMenu* m_pMenu;
    std::map<QMenu*, std::unique_ptr<CQtMenu>> m_submenus;
};
