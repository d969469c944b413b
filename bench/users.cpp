// Cost of walking the user table through its cursor, as the transfers do for
// every recipient of every group-account message.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "gateway/TableEngine.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class UserTableFile {
public:
    explicit UserTableFile(int rows) {
        qlk::TableEngine(File()).Open();  // creates the table
        sqlite3* db = nullptr;
        sqlite3_open(File().c_str(), &db);
        const std::string fill =
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            std::to_string(rows) +
            ") INSERT INTO users SELECT 'User ' || i, 'Mailbox ' || i, 'pop.example.com', 'user' || i, 'pw', "
            "'user' || i || '@example.com', 1, 0, 'alias' || i || '@example.com' FROM n";
        sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    fs::path File() const { return folder_ / "users.DB"; }

private:
    qlk::test::TempDir folder_;
};

// One recipient matched against every row: the three fields the match reads.
void BM_ScanRowsThroughCursor(benchmark::State& state) {
    UserTableFile file(static_cast<int>(state.range(0)));
    qlk::TableEngine table(file.File());
    table.Open();
    const std::string wanted = "nobody@example.com";
    for (auto _ : state) {
        int matches = 0;
        for (table.First(); !table.Eof(); table.Next()) {
            if ((!table.AsBoolean(qlk::UserField::Alias) &&
                 table.AsString(qlk::UserField::ReturnAddress) == wanted) ||
                table.AsString(qlk::UserField::AliasAddress) == wanted ||
                table.AsString(qlk::UserField::Mailbox) == wanted)
                ++matches;
        }
        benchmark::DoNotOptimize(matches);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScanRowsThroughCursor)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The same walk with the fields looked up by their names.
void BM_ScanRowsByFieldName(benchmark::State& state) {
    UserTableFile file(static_cast<int>(state.range(0)));
    qlk::TableEngine table(file.File());
    table.Open();
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (table.First(); !table.Eof(); table.Next())
            bytes += table.FieldAsString("Return Address").size() +
                     table.FieldAsString("Alias Address").size() + table.FieldAsString("Mailbox").size();
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScanRowsByFieldName)->Arg(1000)->Unit(benchmark::kMicrosecond);

// Opening checks the whole file and loads every row; closing the user form
// does this once.
void BM_OpenTable(benchmark::State& state) {
    UserTableFile file(static_cast<int>(state.range(0)));
    qlk::TableEngine table(file.File());
    for (auto _ : state) {
        table.Open();
        table.Close();
    }
}
BENCHMARK(BM_OpenTable)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
