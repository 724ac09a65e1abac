#pragma once
/// Tells a program that the template store's catalogue may have changed under it: another station created,
/// copied, deleted or renamed a model.
///
/// On a server store the watch holds a connection of its own that listens on the channel `zrk_catalogue`,
/// on which every transaction that changes the catalogue (create, copy, delete, a save that changes a
/// model's name or title, a save that creates the model) notifies when it commits. The program watches
/// `Socket()` (readable when something arrived) and calls `TakeNotifications()`. A lost connection is
/// re-established by `TakeNotifications()`; since notifications sent meanwhile are lost, a re-established
/// watch reports a change, and its socket may differ from the one before.
///
/// An SQLite file sends nothing: `Socket()` is -1 and the program compares the catalogue it shows with the
/// stored one when it has reason to (its window gains focus). `CatalogueDiffers` does that comparison.

#include "datastruct/TemplateStore.h"

#include <string>
#include <vector>

struct pg_conn;

class CCatalogueWatch {
public:
    /// The channel the server store notifies on.
    static constexpr const char* kChannel = "zrk_catalogue";

    CCatalogueWatch() = default;
    ~CCatalogueWatch();
    CCatalogueWatch(const CCatalogueWatch&) = delete;
    CCatalogueWatch& operator=(const CCatalogueWatch&) = delete;

    /// Starts listening on the store at the address. True for a file store (nothing to listen to) and for a
    /// server store whose listening connection is up; false with `GetLastError` when the server cannot be
    /// reached (`TakeNotifications` retries).
    bool Start(const std::wstring& address);
    void Stop();
    /// Whether the address given to `Start` is a server store.
    bool IsServer() const { return m_bServer; }
    /// The listening connection's socket; -1 for a file store or while the connection is down.
    int Socket() const;
    /// Reads what arrived; true when the catalogue may have changed since the last call (a notification
    /// came, or the connection was re-established after a loss). Never blocks.
    bool TakeNotifications();
    const std::wstring& GetLastError() const { return m_strError; }

    /// Whether two catalogues differ in any identifier, name or title (both in identifier order).
    static bool CatalogueDiffers(const std::vector<CModelCatalogEntry>& shown,
                                 const std::vector<CModelCatalogEntry>& stored);

private:
    bool Connect();

    pg_conn* m_conn = nullptr;
    std::wstring m_strAddress;
    std::wstring m_strError;
    bool m_bServer = false;
};
