// store_load_bench: 100 stations on one template store on a local PostgreSQL server that the program starts
// itself (the store given its roles by scripts/pg-roles.sql; every station an engineer's login), in 4 processes
// of 25 connections: each opens models, writes a draft step per edit and saves now and then, some on the same
// models. Afterwards the store is checked against what the stations report (StoreLoad.h); the figures are
// saves per second and the 50th and 99th percentiles of a save's and of a history listing's time.
//
//   store_load_bench [--processes N] [--stations-per-process N] [--sessions N] [--models N] [--hot-models N]
//                    [--model-kb N] [--seed N] [--no-roles]
//
// --no-roles: the store without its roles, every station the server's superuser (the cost of the grants and
// row-level security is the difference).
//
// Exit 0 when every check held, 1 when one failed, 2 on wrong options; without the server's programs it says
// so and exits 0 (as the other benchmarks skip). Google Benchmark's options (scripts/bench.sh passes them to
// every program) are ignored.

#include "StoreLoad.h"

#include "formats/CodePage.h"
#include "testsupport/PgTestRoles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

int main(int argc, char** argv) {
    CStoreLoadOptions o;
    o.sessions = 20;
    int modelKb = static_cast<int>(o.modelBytes / 1024);
    const std::map<std::string, int*> numbers = {
        {"--processes", &o.processes},   {"--stations-per-process", &o.stationsPerProcess},
        {"--sessions", &o.sessions},     {"--models", &o.models},
        {"--hot-models", &o.hotModels},  {"--model-kb", &modelKb}};
    int seed = static_cast<int>(o.seed);
    bool roles = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--benchmark_", 0) == 0)
            continue;
        if (arg == "--no-roles") {
            roles = false;
            continue;
        }
        int* target = arg == "--seed" ? &seed : numbers.count(arg) ? numbers.at(arg) : nullptr;
        if (!target || i + 1 >= argc || std::atoi(argv[i + 1]) < (target == &o.hotModels ? 0 : 1)) {
            std::fprintf(stderr, "store_load_bench: wrong option %s (see the head of StoreLoadBench.cpp)\n", arg.c_str());
            return 2;
        }
        *target = std::atoi(argv[++i]);
    }
    o.modelBytes = static_cast<size_t>(modelKb) * 1024;
    o.seed = static_cast<unsigned>(seed);
    o.hotModels = std::min(o.hotModels, o.models);

    CPgTestServer server;
    server.AddServerOptions("-c max_connections=" + std::to_string(o.processes * o.stationsPerProcess + 20));
    if (!server.Start()) {
        std::printf("store_load_bench: skipped: %s\n", server.Reason().c_str());
        return 0;
    }
    const std::string database = "load";
    std::string error = server.CreateDatabase(database).empty() ? "cannot create the database" : "";
    if (error.empty() && roles)
        error = ApplyStoreRoles(server, database);
    if (error.empty() && roles)
        error = MakeTestLogin(server, "load_station", "zrk_engineer");
    o.address = Utf8ToWide(roles ? LoginAddress(server, "load_station", database) : server.Address(database));
    if (error.empty())
        PrepareStoreLoad(o, error);
    if (!error.empty()) {
        std::fprintf(stderr, "store_load_bench: %s\n", error.c_str());
        return 1;
    }

    const CStoreLoadResult r = RunStoreLoad(o);
    std::printf("store_load_bench: %d stations (%d processes x %d connections), %d models (%d opened by half of "
                "the sessions), %zu KB each, %d sessions per station, %s\n",
                r.stations, o.processes, o.stationsPerProcess, o.models, o.hotModels, o.modelBytes / 1024, o.sessions,
                roles ? "stations of the engineer role" : "no roles (the superuser)");
    std::printf("  %.1f s: %d saves (%.1f per second), %d refused as conflicts, %d draft steps (%.1f per second), "
                "%d opens retried (busy)\n",
                r.seconds, r.saves, r.seconds > 0 ? r.saves / r.seconds : 0.0, r.conflicts, r.draftSteps,
                r.seconds > 0 ? r.draftSteps / r.seconds : 0.0, r.busyOpens);
    std::printf("  save (with its revision; refused ones included): p50 %.1f ms, p99 %.1f ms over %zu\n",
                CStoreLoadResult::Percentile(r.saveMs, 0.5), CStoreLoadResult::Percentile(r.saveMs, 0.99), r.saveMs.size());
    std::printf("  history list: p50 %.1f ms, p99 %.1f ms over %zu\n", CStoreLoadResult::Percentile(r.historyMs, 0.5),
                CStoreLoadResult::Percentile(r.historyMs, 0.99), r.historyMs.size());
    std::printf("  %d revisions checked: %s\n", r.revisionsChecked,
                r.problems.empty() ? "none lost, doubled or mixed; every refusal a conflict with a replaced version"
                                   : "PROBLEMS");
    for (const std::string& problem : r.problems)
        std::printf("  problem: %s\n", problem.c_str());
    return r.problems.empty() ? 0 : 1;
}
