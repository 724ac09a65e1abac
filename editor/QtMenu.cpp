#include "editor/QtMenu.h"

#include <QAction>
#include <QMenu>

CQtMenu::~CQtMenu() = default;

QAction* CQtMenu::ActionAt(int position) const {
    const QList<QAction*> actions = m_pMenu->actions();
    return position >= 0 && position < actions.size() ? actions[position] : nullptr;
}

int CQtMenu::GetItemCount() const { return static_cast<int>(m_pMenu->actions().size()); }

std::wstring CQtMenu::GetItemText(int position) const {
    QAction* action = ActionAt(position);
    return action && !action->isSeparator() ? action->text().toStdWString() : std::wstring();
}

void CQtMenu::SetItemText(int position, const std::wstring& text) {
    if (QAction* action = ActionAt(position); action && !action->isSeparator())
        action->setText(QString::fromStdWString(text));
}

int CQtMenu::GetItemID(int position) const {
    QAction* action = ActionAt(position);
    if (!action)
        return -1;
    return action->isSeparator() || action->menu() ? 0 : GetCommand(action);
}

IMenu* CQtMenu::GetSubMenu(int position) {
    QAction* action = ActionAt(position);
    QMenu* submenu = action ? action->menu() : nullptr;
    if (!submenu)
        return nullptr;
    std::unique_ptr<CQtMenu>& adapter = m_submenus[submenu];
    if (!adapter)
        adapter = std::make_unique<CQtMenu>(submenu);
    return adapter.get();
}

QAction* CQtMenu::AddCommand(QMenu* menu, const std::wstring& text, int command) {
    QAction* action = menu->addAction(QString::fromStdWString(text));
    action->setData(command);
    action->setObjectName(QString::number(command));
    return action;
}

int CQtMenu::GetCommand(const QAction* action) { return action ? action->data().toInt() : 0; }
