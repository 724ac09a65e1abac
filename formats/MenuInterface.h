#pragma once
/// The little of a menu that the language pack needs to translate it: the items by position, their texts,
/// command identifiers and submenus. The editor adapts its menus to it; tests use menus in memory.

#include <string>

class IMenu {
public:
    virtual ~IMenu() = default;

    /// Number of items, separators included.
    virtual int GetItemCount() const = 0;
    /// The item's text; empty for a separator or a position out of range.
    virtual std::wstring GetItemText(int position) const = 0;
    /// Replaces the item's text, keeping its command identifier and its submenu. Out of range: nothing.
    virtual void SetItemText(int position, const std::wstring& text) = 0;
    /// The item's command identifier; 0 for a separator or an item that opens a submenu, -1 out of range.
    virtual int GetItemID(int position) const = 0;
    /// The submenu the item opens, owned by the menu; null when it opens none.
    virtual IMenu* GetSubMenu(int position) = 0;
};
