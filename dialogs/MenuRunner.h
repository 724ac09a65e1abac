#pragma once
/// The popup-menu runner: every context menu of the module is shown through `RunPopupMenu`, as every modal
/// dialog runs through the modal runner. By default it calls `QMenu::exec` at the point. A test installs a
/// handler instead: it receives the menu (built, translated and enabled as the operator would see it) and
/// returns the action it chooses, or null for a menu dismissed without a choice.

#include <functional>

class QAction;
class QMenu;
class QPoint;

using MenuHandler = std::function<QAction*(QMenu& menu)>;

/// Shows `menu` at the global point through the handler in force; the chosen action, or null.
QAction* RunPopupMenu(QMenu& menu, const QPoint& at);
/// Installs a handler (empty: back to `QMenu::exec`); returns the previous one.
MenuHandler SetMenuHandler(MenuHandler handler);

/// Installs a handler for the lifetime of the guard and restores the previous one afterwards.
class ScopedMenuHandler {
public:
    explicit ScopedMenuHandler(MenuHandler handler) : m_previous(SetMenuHandler(std::move(handler))) {}
    ~ScopedMenuHandler() { SetMenuHandler(std::move(m_previous)); }
    ScopedMenuHandler(const ScopedMenuHandler&) = delete;
    ScopedMenuHandler& operator=(const ScopedMenuHandler&) = delete;

private:
    MenuHandler m_previous;
};
