// The history window of a template with 1,000 and 10,000 revisions: the records read from an SQLite store
// (never the bodies) and the window's list filled with them, as "模板历史" opens it. The store is filled
// wholesale, as an import writes it: a full copy every 64 revisions, a difference of about 2 KB otherwise.
// Rows: `BM_HistoryRecords` reads the records only; `BM_HistoryWindow` reads them and fills the list.

#include "datastruct/TemplateStore.h"
#include "editor/DlgModelHistory.h"
#include "formats/CodePage.h"
#include "formats/Sha256.h"
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
        if (!store.Open(Address()) || !store.BeginImport()) {
            m_reason = WideToUtf8(store.GetLastError());
            return;
        }
        const std::string model(kModelBytes, 'm');
        CStoredModel row;
        row.m_bExists = row.m_bHasData = true;
        row.m_strName = L"长历史";
        row.m_strTitle = L"history";
        row.m_data = model;
        row.m_nCrc = CTemplateStore::DataCrc(model);
        row.m_strSavedAt = L"2026-05-01 08:00:00";
        row.m_strSavedBy = L"Press 3";
        bool ok = store.WriteImportedModel(1, row);
        const std::string delta(kDeltaBytes, 'd');
        const std::string dataHash = Sha256Hex(model);
        std::string previous;
        for (int n = 1; ok && n <= revisions; ++n) {
            CStoredRevision r;
            r.m_nNumber = n;
            r.m_strSavedAt = L"2026-05-01 08:00:00";
            r.m_strStation = L"Press " + std::to_wstring(1 + n % 4);
            r.m_strUser = L"operator";
            r.m_strSummary = L"移动 ×" + std::to_wstring(n % 7 + 1) + L"; 检测区 ~" + std::to_wstring(n % 3 + 1) +
                             L", 定位核 +1";
            r.m_bFull = (n - 1) % CTemplateStore::kRevisionFullEvery == 0;
            r.m_nSize = static_cast<int64_t>(model.size());
            r.m_strDataHash = dataHash;
            r.m_strPrevHash = previous;
            r.m_body = r.m_bFull ? model : delta;
            r.m_nStoredSize = static_cast<int64_t>(r.m_body.size());
            r.m_strHash = CTemplateStore::RevisionLinkHash(1, r);
            previous = r.m_strHash;
            ok = store.WriteImportedRevision(1, r);
        }
        if (!ok || !store.CommitImport())
            m_reason = WideToUtf8(store.GetLastError());
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
