#include "HostCatalogue.h"

#include "datastruct/SysPara.h"
#include "formats/Format.h"

#include <QEvent>
#include <QSocketNotifier>

CHostCatalogue::CHostCatalogue(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        emit modelChosen(item->data(Qt::UserRole).toInt());
    });
}

CHostCatalogue::~CHostCatalogue() = default;

void CHostCatalogue::StartWatching() {
    m_pNotifier.reset();
    m_watch.Start(GetTemplateStorePath());  // an unreachable server is retried at the next activation
    WatchSocket();
    Refresh();
}

bool CHostCatalogue::IsListening() const {
    return m_pNotifier != nullptr;
}

void CHostCatalogue::WatchSocket() {
    const int socket = m_watch.Socket();
    if (m_pNotifier && m_pNotifier->socket() == socket)
        return;
    m_pNotifier.reset();
    if (socket < 0)
        return;
    m_pNotifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    connect(m_pNotifier.get(), &QSocketNotifier::activated, this, &CHostCatalogue::OnServerNotice);
}

void CHostCatalogue::OnServerNotice() {
    const bool changed = m_watch.TakeNotifications();
    WatchSocket();  // a re-established connection has another socket
    if (changed)
        Refresh();
}

bool CHostCatalogue::Refresh() {
    CSysPara sysPara;
    if (!sysPara.Load())
        return false;
    m_bRead = true;
    if (!CCatalogueWatch::CatalogueDiffers(m_shown, sysPara.GetCatalogue()))
        return false;
    Fill(sysPara.GetCatalogue());
    emit catalogueChanged();
    return true;
}

void CHostCatalogue::Fill(const std::vector<CModelCatalogEntry>& catalogue) {
    const int selected = SelectedID();
    m_shown = catalogue;
    clear();
    for (const CModelCatalogEntry& entry : m_shown) {
        auto* item = new QListWidgetItem(
            QString::fromStdWString(Format(L"%d %s - %s", entry.m_nID, entry.m_strName, entry.m_strTitle)), this);
        item->setData(Qt::UserRole, entry.m_nID);
    }
    SelectID(selected);
}

int CHostCatalogue::SelectedID() const {
    const QListWidgetItem* item = currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole).toInt() : -1;
}

void CHostCatalogue::SelectID(int id) {
    for (int row = 0; row < count(); ++row)
        if (item(row)->data(Qt::UserRole).toInt() == id) {
            setCurrentRow(row);
            return;
        }
    setCurrentRow(-1);
}

bool CHostCatalogue::Shows(int id) const {
    for (const CModelCatalogEntry& entry : m_shown)
        if (entry.m_nID == id)
            return true;
    return false;
}

void CHostCatalogue::RefreshOnActivationOf(QWidget* window) {
    window->installEventFilter(this);
}

bool CHostCatalogue::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        if (m_watch.IsServer())
            OnServerNotice();  // a lost listening connection is re-established here
        Refresh();
    }
    return QListWidget::eventFilter(watched, event);
}
