// Message rendering cost: the block parser plus inline runs over a large chat-style document,
// next to md4c's own full parse of the same text, and the cost of parsing a streamed reply after
// every delta: the whole text again, or only what follows its last settled block.
#include "markdown/IncrementalMarkdown.h"
#include "markdown/InlineMarkdown.h"
#include "markdown/MarkdownParser.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <map>
#include <md4c.h>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace {

constexpr std::size_t documentSize = 1 << 20;
constexpr std::size_t replySize = 20000;
constexpr std::size_t deltaSize = 10;
// Deltas the size a model streams, timed near the end of replies of these sizes.
constexpr std::size_t streamDeltaSize = 30;
constexpr std::size_t timedDeltas = 64;
constexpr std::int64_t streamedReplySizes[] = {20000, 200000};

std::string chatDocument(std::size_t size)
{
    static const char *const sections[] = {
        "Here is a **quick summary** of what changed, with *emphasis* where it matters and "
        "`inline code` for names like `parseBlocks`. See [the docs](https://example.org/docs) "
        "for details.\nA second line of the same paragraph keeps going for a while.\n\n",
        "- first item with **bold** text\n- second item with a [link](https://x.org/a?b=c)\n"
        "- third item with `code` and *em*\n\n",
        "1. Install the package\n2. Run `cmake --preset default`\n3. Check the *output*\n\n",
        "| Name | Value | Notes |\n|:-----|------:|-------|\n| alpha | 1 | first |\n"
        "| beta | 22 | second |\n| gamma | 333 | third |\n\n",
        "```cpp\nint main()\n{\n    return 2 * 3 * 4;\n}\n```\n\n",
        "Plain prose without any markup at all, the kind that makes up most of a reply: it runs "
        "on across a few sentences, mentions numbers like 42 and 3.14, and ends here.\n\n",
    };
    std::string text;
    std::size_t next = 0;
    while (text.size() < size)
        text += sections[next++ % std::size(sections)];
    text.resize(size);
    return text;
}

std::size_t renderAll(std::string_view text)
{
    std::size_t runs = 0;
    for (const MarkdownBlock &block : MarkdownParser::parseBlocks(text)) {
        if (const auto *paragraph = std::get_if<MarkdownBlock::Paragraph>(&block.kind)) {
            runs += InlineMarkdown::runs(paragraph->text).size();
        } else if (const auto *bullets = std::get_if<MarkdownBlock::BulletList>(&block.kind)) {
            for (const std::string &item : bullets->items)
                runs += InlineMarkdown::runs(item).size();
        } else if (const auto *numbered = std::get_if<MarkdownBlock::NumberedList>(&block.kind)) {
            for (const std::string &item : numbered->items)
                runs += InlineMarkdown::runs(item).size();
        }
    }
    return runs;
}

void BM_BlocksAndInlineRuns(benchmark::State &state)
{
    const std::string text = chatDocument(documentSize);
    for (auto _ : state)
        benchmark::DoNotOptimize(renderAll(text));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_BlocksAndInlineRuns)->Unit(benchmark::kMillisecond);

int ignoreBlock(MD_BLOCKTYPE, void *, void *)
{
    return 0;
}

int ignoreSpan(MD_SPANTYPE, void *, void *)
{
    return 0;
}

int countText(MD_TEXTTYPE, const MD_CHAR *, MD_SIZE size, void *userdata)
{
    *static_cast<std::size_t *>(userdata) += size;
    return 0;
}

void BM_Md4cFullParse(benchmark::State &state)
{
    const std::string text = chatDocument(documentSize);
    const MD_PARSER parser{0,           MD_FLAG_NOHTML | MD_FLAG_TABLES,
                           ignoreBlock, ignoreBlock,
                           ignoreSpan,  ignoreSpan,
                           countText,   nullptr,
                           nullptr};
    for (auto _ : state) {
        std::size_t shown = 0;
        md_parse(text.c_str(), static_cast<MD_SIZE>(text.size()), &parser, &shown);
        benchmark::DoNotOptimize(shown);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_Md4cFullParse)->Unit(benchmark::kMillisecond);

void BM_StreamedReplyReparse(benchmark::State &state)
{
    const std::string reply = chatDocument(replySize);
    const std::size_t deltas = replySize / deltaSize;
    for (auto _ : state) {
        for (std::size_t delta = 1; delta <= deltas; ++delta)
            benchmark::DoNotOptimize(
                renderAll(std::string_view(reply).substr(0, delta * deltaSize)));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(deltas));
}
BENCHMARK(BM_StreamedReplyReparse)->Unit(benchmark::kMillisecond);

// The text of a reply of the given size, long enough for the timed deltas after it, and the
// length streamed in before the timing starts.
struct StreamedReply
{
    explicit StreamedReply(std::int64_t size)
        : fed(static_cast<std::size_t>(size) / streamDeltaSize * streamDeltaSize)
        , text(chatDocument(fed + timedDeltas * streamDeltaSize))
    {}

    std::string_view upToDelta(std::size_t delta) const
    {
        return std::string_view(text).substr(0, fed + delta * streamDeltaSize);
    }

    std::size_t fed;
    std::string text;
};

void BM_StreamedDeltaFullParse(benchmark::State &state)
{
    const StreamedReply reply(state.range(0));
    for (auto _ : state) {
        for (std::size_t delta = 1; delta <= timedDeltas; ++delta)
            benchmark::DoNotOptimize(MarkdownParser::parseBlocks(reply.upToDelta(delta)));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(timedDeltas));
}

void BM_StreamedDeltaIncremental(benchmark::State &state)
{
    const StreamedReply reply(state.range(0));
    IncrementalMarkdown streamed;
    for (std::size_t end = streamDeltaSize; end <= reply.fed; end += streamDeltaSize)
        streamed.update(std::string_view(reply.text).substr(0, end));
    // Each round streams the same deltas, so it starts from a copy of the state before them; the
    // copy is made, and the last round's state freed, outside the timing.
    IncrementalMarkdown markdown;
    for (auto _ : state) {
        state.PauseTiming();
        markdown = streamed;
        state.ResumeTiming();
        for (std::size_t delta = 1; delta <= timedDeltas; ++delta)
            benchmark::DoNotOptimize(markdown.update(reply.upToDelta(delta)));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(timedDeltas));
}

void streamedReplySizeArgs(benchmark::internal::Benchmark *benchmark)
{
    for (const std::int64_t size : streamedReplySizes)
        benchmark->Arg(size);
    benchmark->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_StreamedDeltaFullParse)->Apply(streamedReplySizeArgs);
BENCHMARK(BM_StreamedDeltaIncremental)->Apply(streamedReplySizeArgs);

// Prints the figures the benchmarks are for after the usual table.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const double perSecond = benchmark::GetTimeUnitMultiplier(run.time_unit);
                times_[run.benchmark_name()] = {run.GetAdjustedRealTime() / perSecond,
                                                run.GetAdjustedCPUTime() / perSecond};
            }
        }
    }

    // Wall-clock and CPU figures both: on a shared machine the CPU time is the steadier one.
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto ours = times_.find("BM_BlocksAndInlineRuns");
        const auto md4c = times_.find("BM_Md4cFullParse");
        if (ours != times_.end() && md4c != times_.end())
            std::printf("blocks + inline runs / md4c full parse: %.2fx wall, %.2fx cpu\n",
                        ours->second.wall / md4c->second.wall, ours->second.cpu / md4c->second.cpu);
        const auto stream = times_.find("BM_StreamedReplyReparse");
        if (stream != times_.end()) {
            const double deltas = static_cast<double>(replySize / deltaSize);
            std::printf("re-parse per %zu-byte delta of a %zu-byte reply: %.1f us wall, %.1f us "
                        "cpu\n",
                        deltaSize, replySize, stream->second.wall * 1e6 / deltas,
                        stream->second.cpu * 1e6 / deltas);
        }
        for (const std::int64_t size : streamedReplySizes) {
            const std::string arg = "/" + std::to_string(size);
            const auto full = times_.find("BM_StreamedDeltaFullParse" + arg);
            const auto incremental = times_.find("BM_StreamedDeltaIncremental" + arg);
            if (full == times_.end() || incremental == times_.end())
                continue;
            const double deltas = static_cast<double>(timedDeltas);
            std::printf("parse per %zu-byte delta of a %lld-byte reply: incremental %.2f us wall, "
                        "%.2f us cpu; full %.1f us wall, %.1f us cpu\n",
                        streamDeltaSize, static_cast<long long>(size),
                        incremental->second.wall * 1e6 / deltas,
                        incremental->second.cpu * 1e6 / deltas, full->second.wall * 1e6 / deltas,
                        full->second.cpu * 1e6 / deltas);
        }
    }

private:
    struct Times
    {
        double wall;
        double cpu;
    };
    // Time per iteration in seconds, whatever unit the benchmark reports in.
    std::map<std::string, Times> times_;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
