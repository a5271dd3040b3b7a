// Arbitrary bytes as a chat stream body, read through the line splitter, the event-line reader
// and the event parser twice: whole, and cut into chunks at points the input chooses. Both
// readings must give the same lines and the same events.
//
// Input layout: the first byte gives how many of the following bytes are chunk sizes (up to 15);
// the rest is the body.
#include "chat/SSEEventParser.h"
#include "chat/SSELineReader.h"
#include "net/LineSplitter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Small enough for short inputs to cross it, so that skipping overlong lines is exercised too.
constexpr std::size_t smallLineLimit = 24;

struct Reading
{
    std::vector<std::string> lines;
    std::vector<SSEParsedEvent> events;
};

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

Reading read(const std::vector<std::string_view> &chunks, std::size_t lineLimit)
{
    LineSplitter splitter(lineLimit);
    SSELineReader reader;
    Reading reading;
    const auto takeLines = [&] {
        while (const auto line = splitter.nextLine()) {
            reading.lines.emplace_back(*line);
            if (auto event = reader.read(*line)) {
                // Whatever the object holds, mapping it must not crash; the same events map the
                // same way, so comparing the events is enough.
                SSEEventParser::parse(event->json, event->eventType);
                reading.events.push_back(std::move(*event));
            }
        }
    };
    for (const std::string_view chunk : chunks) {
        splitter.append(chunk);
        takeLines();
    }
    splitter.finish();
    takeLines();
    return reading;
}

void requireSameReading(const Reading &whole, const Reading &chunked)
{
    require(whole.lines == chunked.lines);
    require(whole.events == chunked.events);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t cutCount = std::min<std::size_t>(data[0] % 16, size - 1);
    const std::string_view body(reinterpret_cast<const char *>(data + 1 + cutCount),
                                size - 1 - cutCount);

    std::vector<std::string_view> chunks;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < cutCount; ++i) {
        const std::size_t length = std::min<std::size_t>(data[1 + i], body.size() - offset);
        chunks.push_back(body.substr(offset, length));
        offset += length;
    }
    chunks.push_back(body.substr(offset));

    requireSameReading(read({body}, LineSplitter::defaultMaxLineLength),
                       read(chunks, LineSplitter::defaultMaxLineLength));
    requireSameReading(read({body}, smallLineLimit), read(chunks, smallLineLimit));
    return 0;
}
