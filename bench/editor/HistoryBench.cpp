// The history window of a template with 1,000 and 10,000 revisions: the records read from an SQLite store
// (never the bodies) and the window's list filled with them, as "模板历史" opens it. The store is filled
// wholesale (testsupport/HistoryFill.h): a full copy every 64 revisions, a difference of about 2 KB otherwise.
// Rows: `BM_HistoryRecords` reads the records only; `BM_HistoryWindow` reads them and fills the list.

#include "datastruct/TemplateStore.h"
#include "editor/DlgModelHistory.h"
#include "formats/CodePage.h"
#include "testsupport/HistoryFill.h"
#include "testsupport/TempDir.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSettings>
#include <QTreeWidget>

#include <cstdlib>
#include <map>
#include <memory>

namespace {

constexpr size_t kModelBytes = 200 * 1024;
constexpr size_t kDeltaBytes = 2 * 1024;

// A store holding model 1 with `revisions` revisions, made once per count for the whole run.
class CHistoryStore {
public:
    static CHistoryStore& Get(int revisions) {
        static std::map<int, std::unique_ptr<CHistoryStore>> stores;
        auto& store = stores[revisions];
        if (!store)
            store.reset(new CHistoryStore(revisions));
        return *store;
    }
    std::wstring Address() const { return m_dir.File("Templates.db"); }
    const std::string& Reason() const { return m_reason; }

private:
    explicit CHistoryStore(int revisions) {
        CTemplateStore store;
        m_reason = store.Open(Address()) ? FillHistory(store, 1, L"长历史", revisions, kModelBytes, kDeltaBytes)
                                         : WideToUtf8(store.GetLastError());
    }

    TempDir m_dir;
    std::string m_reason;
};

void BM_HistoryRecords(benchmark::State& state) {
    CHistoryStore& h = CHistoryStore::Get(static_cast<int>(state.range(0)));
    if (!h.Reason().empty())
        return state.SkipWithError(h.Reason().c_str());
    CTemplateStore store;
    if (!store.Open(h.Address()))
        return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
    std::vector<CModelRevision> revisions;
    for (auto _ : state)
        if (!store.ListRevisions(1, revisions) || revisions.size() != static_cast<size_t>(state.range(0)))
            return state.SkipWithError("the history does not hold every revision");
    state.counters["revisions"] = static_cast<double>(revisions.size());
}
BENCHMARK(BM_HistoryRecords)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

void BM_HistoryWindow(benchmark::State& state) {
    CHistoryStore& h = CHistoryStore::Get(static_cast<int>(state.range(0)));
    if (!h.Reason().empty())
        return state.SkipWithError(h.Reason().c_str());
    CTemplateStore store;
    if (!store.Open(h.Address()))
        return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
    CDlgModelHistory window;
    window.resize(900, 600);
    window.show();
    std::vector<CModelRevision> revisions;
    for (auto _ : state) {
        if (!store.ListRevisions(1, revisions))
            return state.SkipWithError(WideToUtf8(store.GetLastError()).c_str());
        window.ShowRevisions(QStringLiteral("长历史"), revisions);
        QApplication::processEvents();  // laid out and painted once
    }
    if (window.GetRevisions().size() != static_cast<size_t>(state.range(0)))
        state.SkipWithError("the window does not list every revision");
    state.counters["revisions"] = static_cast<double>(revisions.size());
}
BENCHMARK(BM_HistoryWindow)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TempDir profile;
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(profile.Path().string()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
