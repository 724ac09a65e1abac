#include "StoreLoad.h"

#include "datastruct/TemplateStore.h"
#include "formats/CodePage.h"
#include "formats/Sha256.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

std::wstring ModelName(int id) {
    return L"负载 " + std::to_wstring(id);
}

// A model's bytes: a line naming this version and the version it started from, then the body.
std::string Compose(const std::string& tag, const std::string& base, const std::string& body) {
    return "tag=" + tag + ";base=" + base + ";\n" + body;
}

bool Parse(const std::string& data, std::string& tag, std::string& base, std::string& body) {
    const size_t line = data.find('\n');
    if (data.rfind("tag=", 0) != 0 || line == std::string::npos)
        return false;
    const size_t baseAt = data.find(";base=");
    if (baseAt == std::string::npos || baseAt > line || data.compare(line - 1, 1, ";") != 0)
        return false;
    tag = data.substr(4, baseAt - 4);
    base = data.substr(baseAt + 6, line - 1 - (baseAt + 6));
    body = data.substr(line + 1);
    return true;
}

std::string InitialTag(int model) {
    return "init:" + std::to_string(model);
}

// What one worker process's stations report, one line each (see `ReadReports`).
class CReport {
public:
    void Add(const std::string& line) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(line);
    }
    void Write(const std::string& file) {
        std::ofstream out(file);
        for (const std::string& line : m_lines)
            out << line << '\n';
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

std::string OneLine(std::wstring text) {
    std::replace(text.begin(), text.end(), L'\n', L' ');
    return WideToUtf8(text);
}

void RunStation(const CStoreLoadOptions& o, int process, int index, CReport& report) {
    const std::string station = "p" + std::to_string(process) + "s" + std::to_string(index);
    CTemplateStore::SetThreadStationName(Utf8ToWide(station));
    std::mt19937 rng(o.seed * 7919u + static_cast<unsigned>(process * 1000 + index));
    CTemplateStore store;
    const int64_t start = NowNs();
    if (!store.Open(o.address)) {
        report.Add("P " + station + " cannot open the store: " + OneLine(store.GetLastError()));
        return;
    }
    int steps = 0;
    for (int session = 0; session < o.sessions; ++session) {
        const bool hot = o.hotModels > 0 && rng() % 2 == 0;
        const int model = 1 + static_cast<int>(rng() % static_cast<unsigned>(hot ? o.hotModels : o.models));
        std::string data;
        bool found = false;
        CModelStamp stamp;
        if (!store.LoadModelDataStamped(model, data, found, nullptr, stamp)) {
            if (store.GetLastFailure() == StoreFailure::Busy)
                report.Add("B");
            else
                report.Add("P " + station + " cannot open model " + std::to_string(model) + ": " +
                           OneLine(store.GetLastError()));
            continue;
        }
        std::string loadedTag, loadedBase, body;
        if (!found || !Parse(data, loadedTag, loadedBase, body)) {
            report.Add("P " + station + " read model " + std::to_string(model) + " not as any station saved it");
            continue;
        }
        // The draft and one step per edit, read back as a station starting after a crash would.
        if (!store.SaveDraft(model, stamp, Compose(loadedTag, loadedBase, body))) {
            report.Add("P " + station + " cannot write its draft: " + OneLine(store.GetLastError()));
            continue;
        }
        const int edits = o.minEdits + static_cast<int>(rng() % static_cast<unsigned>(o.maxEdits - o.minEdits + 1));
        std::vector<std::string> written;
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % body.size();
            const char value = static_cast<char>(rng());
            body[at] = value;
            written.push_back(station + " edit " + std::to_string(e + 1) + " at " + std::to_string(at));
            if (!store.AppendDraftStep(model, e + 1, written.back()))
                report.Add("P " + station + " cannot append draft step " + std::to_string(e + 1) + ": " +
                           OneLine(store.GetLastError()));
            ++steps;
        }
        std::vector<std::string> readBack;
        if (!store.LoadDraftSteps(model, readBack) || readBack != written)
            report.Add("P " + station + " read back other draft steps than it wrote for model " + std::to_string(model));

        const std::string tag = station + "n" + std::to_string(session);
        const std::string saved = Compose(tag, loadedTag, body);
        const auto before = Clock::now();
        const bool ok = store.SaveModelDataFrom(model, ModelName(model), L"", saved, stamp);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - before).count();
        const StoreFailure failure = store.GetLastFailure();
        const std::string outcome = ok ? "ok" : failure == StoreFailure::Conflict ? "conflict" : "fail";
        // A refusal names the station whose save it met.
        const std::wstring met = ok ? L"" : store.GetLastConflict().m_strSavedBy;
        report.Add("S " + std::to_string(model) + " " + outcome + " " + std::to_string(static_cast<int64_t>(us)) + " " +
                   tag + " " + loadedTag + " " + Sha256Hex(saved) + " " + (met.empty() ? "-" : WideToUtf8(met)));
        if (!ok && failure != StoreFailure::Conflict)
            report.Add("P " + station + " save of model " + std::to_string(model) + " failed otherwise than by a "
                       "conflict: " + OneLine(store.GetLastError()));
        if (!ok && failure == StoreFailure::Conflict && !store.GetLastConflict().m_bExists)
            report.Add("P " + station + " conflict on model " + std::to_string(model) + " says it was deleted");
        // Saved or refused, the draft goes: the station saved, or takes the other station's version next time.
        if (!store.DeleteDraft(model))
            report.Add("P " + station + " cannot remove its draft: " + OneLine(store.GetLastError()));

        if (o.historyEvery > 0 && session % o.historyEvery == 0) {
            std::vector<CModelRevision> revisions;
            const auto listed = Clock::now();
            if (!store.ListRevisions(model, revisions))
                report.Add("P " + station + " cannot list the revisions: " + OneLine(store.GetLastError()));
            report.Add("H " + std::to_string(static_cast<int64_t>(
                                  std::chrono::duration<double, std::micro>(Clock::now() - listed).count())));
        }
    }
    report.Add("D " + std::to_string(steps));
    report.Add("T " + std::to_string(start) + " " + std::to_string(NowNs()));
}

void RunWorker(const CStoreLoadOptions& o, int process, const std::string& file) {
    CReport report;
    std::vector<std::thread> stations;
    for (int i = 0; i < o.stationsPerProcess; ++i)
        stations.emplace_back(RunStation, std::cref(o), process, i, std::ref(report));
    for (std::thread& t : stations)
        t.join();
    report.Write(file);
}

struct CSaveRecord {
    int model = 0;
    std::string outcome, tag, base, sha;
    std::string met; ///< the station a refusal named
};

// The station of a save's tag ("p0s3n2": station "p0s3", its session 2).
std::string StationOf(const std::string& tag) {
    return tag.substr(0, tag.rfind('n'));
}

} // namespace

double CStoreLoadResult::Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

bool PrepareStoreLoad(const CStoreLoadOptions& o, std::string& error) {
    CTemplateStore store;
    if (!store.Open(o.address)) {
        error = WideToUtf8(store.GetLastError());
        return false;
    }
    std::mt19937 rng(o.seed);
    for (int id = 1; id <= o.models; ++id) {
        std::string body(o.modelBytes, '\0');
        for (char& c : body)
            c = static_cast<char>(rng());
        if (store.CreateModel(ModelName(id), L"", Compose(InitialTag(id), "", body)) != id) {
            error = "model " + std::to_string(id) + ": " + WideToUtf8(store.GetLastError());
            return false;
        }
    }
    return true;
}

CStoreLoadResult RunStoreLoad(const CStoreLoadOptions& o) {
    CStoreLoadResult result;
    result.stations = o.processes * o.stationsPerProcess;
    std::string folder = (std::filesystem::temp_directory_path() / "zrk-load-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        result.problems.push_back("no temporary folder for the workers' reports");
        return result;
    }
    std::fflush(nullptr);  // nothing buffered is written twice by the children
    std::vector<pid_t> workers;
    for (int p = 0; p < o.processes; ++p) {
        const pid_t child = fork();
        if (child == 0) {
            RunWorker(o, p, folder + "/worker-" + std::to_string(p));
            _exit(0);  // the parent's kept connections and exit handlers are the parent's
        }
        if (child < 0)
            result.problems.push_back("cannot start worker process " + std::to_string(p));
        else
            workers.push_back(child);
    }
    for (pid_t child : workers) {
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            result.problems.push_back("a worker process ended abnormally (status " + std::to_string(status) + ")");
    }

    // The reports.
    std::vector<CSaveRecord> saves;
    int64_t first = INT64_MAX, last = 0;
    for (int p = 0; p < o.processes; ++p) {
        std::ifstream in(folder + "/worker-" + std::to_string(p));
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string kind;
            fields >> kind;
            if (kind == "S") {
                CSaveRecord save;
                int64_t us = 0;
                fields >> save.model >> save.outcome >> us >> save.tag >> save.base >> save.sha >> save.met;
                result.saveMs.push_back(static_cast<double>(us) / 1000.0);
                result.saves += save.outcome == "ok";
                result.conflicts += save.outcome == "conflict";
                saves.push_back(std::move(save));
            } else if (kind == "H") {
                int64_t us = 0;
                fields >> us;
                result.historyMs.push_back(static_cast<double>(us) / 1000.0);
            } else if (kind == "B") {
                ++result.busyOpens;
            } else if (kind == "D") {
                int steps = 0;
                fields >> steps;
                result.draftSteps += steps;
            } else if (kind == "T") {
                int64_t from = 0, to = 0;
                fields >> from >> to;
                first = std::min(first, from);
                last = std::max(last, to);
            } else if (kind == "P") {
                result.problems.push_back(line.substr(2));
            }
        }
    }
    std::filesystem::remove_all(folder);
    result.seconds = last > first ? static_cast<double>(last - first) / 1e9 : 0;

    // The store against the reports, model by model.
    std::map<std::string, const CSaveRecord*> savedByTag;
    for (const CSaveRecord& save : saves)
        if (save.outcome == "ok" && !savedByTag.emplace(save.tag, &save).second)
            result.problems.push_back("save " + save.tag + " reported twice");
    CTemplateStore store;
    if (!store.Open(o.address)) {
        result.problems.push_back("cannot open the store to check it: " + OneLine(store.GetLastError()));
        return result;
    }
    const auto problem = [&result](int model, const std::string& text) {
        result.problems.push_back("model " + std::to_string(model) + ": " + text);
    };
    for (int model = 1; model <= o.models; ++model) {
        std::vector<CModelRevision> revisions;
        std::vector<CRevisionFault> faults;
        if (!store.ListRevisions(model, revisions) || !store.CheckRevisionChain(model, faults)) {
            problem(model, "revisions cannot be read: " + OneLine(store.GetLastError()));
            continue;
        }
        for (const CRevisionFault& fault : faults)
            problem(model, "revision chain: " + OneLine(fault.m_strText));
        std::map<std::string, int64_t> numberOf = {{InitialTag(model), 0}};
        std::vector<std::string> stationOf(revisions.size() + 1);  // of each revision's save
        std::string previous = InitialTag(model);
        for (size_t i = 0; i < revisions.size(); ++i) {
            const int64_t number = revisions[i].m_nNumber;
            const std::string where = "revision " + std::to_string(number);
            if (number != static_cast<int64_t>(i) + 1)
                problem(model, where + " where " + std::to_string(i + 1) + " belongs: numbers not contiguous");
            std::string bytes, tag, base, body;
            bool found = false;
            if (!store.LoadRevision(model, number, bytes, found) || !found || !Parse(bytes, tag, base, body)) {
                problem(model, where + " cannot be read as any station saved it: " + OneLine(store.GetLastError()));
                continue;
            }
            ++result.revisionsChecked;
            const auto saved = savedByTag.find(tag);
            if (saved == savedByTag.end()) {
                problem(model, where + " (" + tag + ") is no save a station reported");
            } else {
                if (saved->second->model != model)
                    problem(model, where + " holds " + tag + ", a save of model " + std::to_string(saved->second->model));
                if (saved->second->sha != Sha256Hex(bytes))
                    problem(model, where + " (" + tag + ") is not the bytes the station saved");
            }
            if (base != previous)
                problem(model, where + " (" + tag + ") started from " + base + ", not from the revision before it (" +
                                   previous + "): a save from a replaced version went through");
            if (number >= 1 && number <= static_cast<int64_t>(revisions.size()))
                stationOf[static_cast<size_t>(number)] = StationOf(tag);
            if (!numberOf.emplace(tag, number).second)
                problem(model, where + " (" + tag + ") doubles an earlier revision");
            previous = tag;
        }
        std::string data, tag, base, body;
        bool found = false;
        if (!store.LoadModelData(model, data, found) || !found || !Parse(data, tag, base, body) || tag != previous)
            problem(model, "the stored version is not its newest revision (" + previous + ")");
        for (const CSaveRecord& save : saves) {
            if (save.model != model)
                continue;
            if (save.outcome == "ok" && !numberOf.count(save.tag))
                problem(model, "save " + save.tag + " went through but no revision holds it: lost");
            if (save.outcome != "conflict")
                continue;
            // A refusal is right only when the version the station opened had been replaced.
            const auto opened = numberOf.find(save.base);
            if (opened == numberOf.end())
                problem(model, "save " + save.tag + " refused, from a version (" + save.base + ") the store never held");
            else if (opened->second >= static_cast<int64_t>(revisions.size()))
                problem(model, "save " + save.tag + " refused though the version it started from is the newest");
            else if (std::find(stationOf.begin() + opened->second + 1, stationOf.end(), save.met) == stationOf.end())
                problem(model, "save " + save.tag + " refused naming station " + save.met +
                                   ", which saved no version after the one it started from");
        }
    }
    return result;
}
