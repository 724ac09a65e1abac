#pragma once
/// Many stations on one server store at once, and what must hold afterwards. Worker processes each play
/// several stations (a thread and a connection each, a station name of its own): a station opens a model, writes
/// a draft and one draft step per edit, reads its steps back, and saves from the version it opened; some models
/// are opened by many stations, so saves meet other stations' saves. Every save's bytes name the station's save
/// and the version it started from, so that afterwards the models' revisions can be checked against what the
/// stations report: numbers contiguous, each revision the bytes one station saved (none lost, doubled or mixed),
/// each started from the revision before it (a save from an older version was refused, never written), every
/// refusal a `StoreFailure::Conflict` whose version had indeed been replaced, the chains of hashes whole.
///
/// Used by the load benchmark (store_load_bench) and, with a few stations, by a test.

#include <string>
#include <vector>

struct CStoreLoadOptions {
    std::wstring address;        ///< the store, on a server; `PrepareStoreLoad` makes its models
    int processes = 4;
    int stationsPerProcess = 25;
    int models = 12;
    int hotModels = 3;           ///< half of the sessions open one of the first `hotModels` models
    int sessions = 6;            ///< per station: open, edit, save
    int minEdits = 2;            ///< draft steps before a save
    int maxEdits = 8;
    int historyEvery = 2;        ///< every n-th session also lists the model's revisions
    size_t modelBytes = 64 * 1024;
    unsigned seed = 1;
};

struct CStoreLoadResult {
    int stations = 0;
    int saves = 0;               ///< saves that went through
    int conflicts = 0;           ///< saves refused with `StoreFailure::Conflict`
    int busyOpens = 0;           ///< opens that met a model saved over and over (`Busy`), tried at the next session
    int draftSteps = 0;
    int revisionsChecked = 0;
    double seconds = 0;          ///< from the first station's start to the last one's end
    std::vector<double> saveMs;  ///< every save's time, refused ones included
    std::vector<double> historyMs;
    std::vector<std::string> problems; ///< every check that failed, in words; empty when all held

    /// The value below which `fraction` (0 … 1) of the sorted values lie (nearest rank); 0 when there are none.
    static double Percentile(std::vector<double> values, double fraction);
};

/// Makes the models (1 … `models`) in the store, which must hold none. False with `error` on a failure.
bool PrepareStoreLoad(const CStoreLoadOptions& options, std::string& error);

/// Runs the stations in `processes` forked processes, then checks the store against what they report. The
/// calling process must hold no thread of its own when it is called (it forks).
CStoreLoadResult RunStoreLoad(const CStoreLoadOptions& options);
