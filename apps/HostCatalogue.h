#pragma once
/// The host window's catalogue: the models of the template store, kept current while other stations
/// create, copy, delete or rename models. On a server store it refreshes when the server tells it (a
/// socket notifier on the catalogue watch); on a file store, and always when its window gains focus, it
/// compares what it shows with the stored catalogue. A refresh keeps the selected model selected while it
/// still exists.

#include "datastruct/CatalogueWatch.h"
#include "datastruct/TemplateStore.h"

#include <QListWidget>
#include <memory>
#include <vector>

class QSocketNotifier;

class CHostCatalogue : public QListWidget {
    Q_OBJECT
public:
    explicit CHostCatalogue(QWidget* parent = nullptr);
    ~CHostCatalogue() override;

    /// Starts watching the current template store (`GetTemplateStorePath`) and shows its catalogue.
    void StartWatching();
    /// Reads the stored catalogue and shows it when it differs from what is shown; true when it changed.
    /// A catalogue that cannot be read leaves the list as it is.
    bool Refresh();
    /// Refreshes when the window `window` is activated.
    void RefreshOnActivationOf(QWidget* window);
    /// Reads what the server sent and refreshes when the catalogue may have changed.
    void OnServerNotice();

    const std::vector<CModelCatalogEntry>& Shown() const { return m_shown; }
    /// The selected model's identifier; -1 when none.
    int SelectedID() const;
    void SelectID(int id);
    /// Whether the model is in the catalogue shown.
    bool Shows(int id) const;
    bool IsListening() const;
    /// Whether the stored catalogue was read at least once (before, nothing is known to be missing).
    bool WasRead() const { return m_bRead; }

signals:
    /// The operator double-clicked a model.
    void modelChosen(int id);
    /// The catalogue shown changed.
    void catalogueChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill(const std::vector<CModelCatalogEntry>& catalogue);
    void WatchSocket();

    CCatalogueWatch m_watch;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    std::vector<CModelCatalogEntry> m_shown;
    bool m_bRead = false;
};
