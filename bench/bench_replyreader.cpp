// SPDX-License-Identifier: MIT
// Throughput of the strict reply reader on a transactions reply of 100,000 transfers, next to the
// plainest fast way to read the same bytes with simdjson into structs. Prints both in MB/s and the
// reader's share of the baseline's speed.
#include "service/ReplyReader.h"

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int transferCount = 100000;

// A reply as the service sends it: snake_case keys, ISO dates with milliseconds and Z.
QByteArray makeReply()
{
    static const char *const names[] = {"alice",   "bob_smith", "carol.jones", "dave99", "eve",
                                        "mallory", "trent",     "peggy_sue",   "victor", "walter_white"};
    static const char *const notes[] = {"",
                                        "Lunch",
                                        "Rent for March",
                                        "Thanks!",
                                        "Birthday present for you",
                                        "Concert tickets",
                                        "Split the taxi"};
    QRandomGenerator random(42);
    QByteArray json;
    json.reserve(transferCount * 140);
    json += "{\"transactions\":[";
    for (int i = 0; i < transferCount; ++i) {
        if (i)
            json += ',';
        const auto pick = [&](auto &list) { return list[random.bounded(int(std::size(list)))]; };
        char record[320];
        std::snprintf(record, sizeof record,
                      "{\"id\":\"tx_%09d\",\"from_user\":\"%s\",\"to_user\":\"%s\",\"amount\":%d.%02d,"
                      "\"note\":\"%s\",\"created_at\":\"2025-%02d-%02dT%02d:%02d:%02d.%03dZ\"}",
                      i, pick(names), pick(names), random.bounded(5000), random.bounded(100), pick(notes),
                      random.bounded(1, 13), random.bounded(1, 29), random.bounded(24), random.bounded(60),
                      random.bounded(60), random.bounded(1000));
        json += record;
    }
    json += "]}";
    json.reserve(json.size() + qsizetype(simdjson::SIMDJSON_PADDING)); // as a reply buffer with room
    return json;
}

const QByteArray &reply()
{
    static const QByteArray json = makeReply();
    return json;
}

void strictReader(benchmark::State &state)
{
    const QByteArray &json = reply();
    for (auto _ : state) {
        TransactionsResponse response = ReplyReader::read<TransactionsResponse>(json);
        benchmark::DoNotOptimize(response.transactions.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * json.size());
}

// The baseline: plain structs, keys looked up in the order they come, no checks beyond simdjson's.
struct PlainTransfer
{
    std::string id, fromUser, toUser, note, createdAt;
    double amount = 0;
};

void baselineOnDemand(benchmark::State &state)
{
    const QByteArray &json = reply();
    simdjson::ondemand::parser parser;
    for (auto _ : state) {
        std::vector<PlainTransfer> transfers;
        transfers.reserve(transferCount);
        simdjson::padded_string_view view(json.constData(), size_t(json.size()), size_t(json.capacity()));
        simdjson::ondemand::document doc = parser.iterate(view);
        for (simdjson::ondemand::object item : doc["transactions"]) {
            PlainTransfer &t = transfers.emplace_back();
            t.id = std::string_view(item["id"]);
            t.fromUser = std::string_view(item["from_user"]);
            t.toUser = std::string_view(item["to_user"]);
            t.amount = double(item["amount"]);
            t.note = std::string_view(item["note"]);
            t.createdAt = std::string_view(item["created_at"]);
        }
        benchmark::DoNotOptimize(transfers.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * json.size());
}

void baselineDom(benchmark::State &state)
{
    const QByteArray &json = reply();
    simdjson::dom::parser parser;
    for (auto _ : state) {
        std::vector<PlainTransfer> transfers;
        transfers.reserve(transferCount);
        simdjson::dom::element doc = parser.parse(json.constData(), size_t(json.size()), false);
        for (simdjson::dom::object item : doc["transactions"].get_array()) {
            PlainTransfer &t = transfers.emplace_back();
            t.id = std::string_view(item["id"]);
            t.fromUser = std::string_view(item["from_user"]);
            t.toUser = std::string_view(item["to_user"]);
            t.amount = double(item["amount"]);
            t.note = std::string_view(item["note"]);
            t.createdAt = std::string_view(item["created_at"]);
        }
        benchmark::DoNotOptimize(transfers.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * json.size());
}

// Several short runs each, interleaved (see scripts/bench); the summary takes each one's best run,
// which is the least disturbed by whatever else the machine is doing.
BENCHMARK(strictReader)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(baselineOnDemand)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(baselineDom)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);

// Keeps each benchmark's best throughput, by CPU time (the machine may be shared), for the summary.
class Summary : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> megabytesPerSecond;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations <= 0 || run.cpu_accumulated_time <= 0)
                continue;
            const double rate =
                double(reply().size()) * double(run.iterations) / run.cpu_accumulated_time / 1e6;
            double &best = megabytesPerSecond[run.run_name.function_name];
            best = std::max(best, rate);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    std::printf("Reply: %d transfers, %.1f MB\n", transferCount, double(reply().size()) / 1e6);
    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    benchmark::Shutdown();

    const double reader = summary.megabytesPerSecond["strictReader"];
    const double onDemand = summary.megabytesPerSecond["baselineOnDemand"];
    const double dom = summary.megabytesPerSecond["baselineDom"];
    const double baseline = std::max(onDemand, dom);
    if (reader > 0 && baseline > 0) {
        std::printf("\nBest runs by CPU time:\n");
        std::printf("  strict reader       %8.1f MB/s\n", reader);
        std::printf("  simdjson on-demand  %8.1f MB/s\n", onDemand);
        std::printf("  simdjson DOM        %8.1f MB/s\n", dom);
        std::printf("Ratio, strict reader / faster baseline: %.2f (target >= 0.50)\n", reader / baseline);
    }
    return 0;
}
