#include "chat/SSEEventParser.h"
#include "chat/SSELineReader.h"
#include "net/LineSplitter.h"

#include <array>
#include <benchmark/benchmark.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace {

constexpr std::size_t streamSize = 50 * 1024 * 1024;
constexpr std::size_t chunkSize = 4 * 1024;

// Deltas as a model streams them: a few words each, some with non-ASCII text, escaped quotes,
// escaped line breaks and Markdown, already escaped as they appear on the wire.
constexpr std::array<std::string_view, 24> deltas = {
    "Hello",
    ", I can",
    " help with that.",
    " Here is",
    " a quick",
    " overview of the",
    " options:\\n\\n",
    "1. **Caching**",
    " keeps the",
    " last answer",
    " so the \\\"retry\\\" button",
    " is instant.",
    " Café au lait",
    " costs 3,50 €",
    " — naïve",
    " résumé",
    " 日本語の",
    "テキスト",
    " 🙂",
    " `code`",
    " and\\tmore",
    " C:\\\\path",
    " the end",
    ".",
};

std::string recordedStream()
{
    std::string stream;
    stream.reserve(streamSize + 256);
    for (std::size_t i = 0; stream.size() < streamSize; ++i) {
        stream += "event: content_delta\ndata: {\"delta\":\"";
        stream += deltas[i % deltas.size()];
        stream += "\"}\n\n";
    }
    return stream;
}

const std::string &sharedStream()
{
    static const std::string stream = recordedStream();
    return stream;
}

template<typename OnLine>
void splitInChunks(std::string_view stream, LineSplitter &splitter, OnLine &&onLine)
{
    for (std::size_t offset = 0; offset < stream.size(); offset += chunkSize) {
        splitter.append(stream.substr(offset, chunkSize));
        while (const auto line = splitter.nextLine())
            onLine(*line);
    }
    splitter.finish();
    while (const auto line = splitter.nextLine())
        onLine(*line);
}

void reportThroughput(benchmark::State &state, std::size_t bytes)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
}

// The whole path of the chat client's reading task: chunks to lines to events to chat events.
void BM_RecordedStreamToChatEvents(benchmark::State &state)
{
    const std::string &stream = sharedStream();
    for (auto _ : state) {
        LineSplitter splitter;
        SSELineReader reader;
        std::size_t deltaBytes = 0;
        splitInChunks(stream, splitter, [&](std::string_view line) {
            if (const auto event = reader.read(line)) {
                const auto parsed = SSEEventParser::parse(event->json, event->eventType);
                if (const auto *delta = std::get_if<SSEEventParser::ContentDelta>(&parsed))
                    deltaBytes += delta->text.size();
            }
        });
        benchmark::DoNotOptimize(deltaBytes);
    }
    reportThroughput(state, stream.size());
}
BENCHMARK(BM_RecordedStreamToChatEvents)->Unit(benchmark::kMillisecond);

// The splitter alone, to tell its share from the JSON work.
void BM_RecordedStreamToLines(benchmark::State &state)
{
    const std::string &stream = sharedStream();
    for (auto _ : state) {
        LineSplitter splitter;
        std::size_t lineCount = 0;
        splitInChunks(stream, splitter, [&](std::string_view) { ++lineCount; });
        benchmark::DoNotOptimize(lineCount);
    }
    reportThroughput(state, stream.size());
}
BENCHMARK(BM_RecordedStreamToLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
