#include "chat/SSELineReader.h"

#include "net/LineSplitter.h"

#include <gtest/gtest.h>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

std::vector<SSEParsedEvent> readLines(const std::vector<std::string_view> &lines)
{
    SSELineReader reader;
    std::vector<SSEParsedEvent> events;
    for (const std::string_view line : lines) {
        if (auto event = reader.read(line))
            events.push_back(std::move(*event));
    }
    return events;
}

SSEParsedEvent event(std::optional<std::string> eventType, std::string_view json)
{
    return SSEParsedEvent{std::move(eventType), Json::parse(json)};
}

class SSELineReaderIgnoredLines : public testing::TestWithParam<std::string_view>
{};

} // namespace

TEST(SSELineReader, DataLineTakesTheTypeOfTheEventLineBeforeIt)
{
    EXPECT_EQ(readLines({"event: content_delta", R"(data: {"delta":"Hello"})"}),
              std::vector{event("content_delta", R"({"delta":"Hello"})")});
}

TEST(SSELineReader, DataLineWithoutEventLineHasNoType)
{
    EXPECT_EQ(readLines({R"(data: {"type":"message_complete"})"}),
              std::vector{event(std::nullopt, R"({"type":"message_complete"})")});
}

TEST(SSELineReader, StickyEventTypeAppliesToLaterDataLines)
{
    EXPECT_EQ(readLines({"event: content_delta", R"(data: {"delta":"a"})", "",
                         R"(data: {"type":"message_complete"})", "event: error",
                         R"(data: {"error":"x"})"}),
              (std::vector{event("content_delta", R"({"delta":"a"})"),
                           event("content_delta", R"({"type":"message_complete"})"),
                           event("error", R"({"error":"x"})")}));
}

TEST(SSELineReader, EventLineWithNothingAfterTheSpaceSetsAnEmptyType)
{
    EXPECT_EQ(readLines({"event: content_delta", "event: ", "data: {}"}),
              std::vector{event("", "{}")});
}

TEST(SSELineReader, EventLineWithoutTheSpaceLeavesTheTypeAlone)
{
    EXPECT_EQ(readLines({"event: content_delta", "event:error", R"(data: {"delta":"a"})"}),
              std::vector{event("content_delta", R"({"delta":"a"})")});
}

TEST_P(SSELineReaderIgnoredLines, LineCarriesNoEvent)
{
    EXPECT_TRUE(readLines({"event: content_delta", GetParam()}).empty());
}

INSTANTIATE_TEST_SUITE_P(
    NotAnObjectOnADataLine, SSELineReaderIgnoredLines,
    testing::Values("", ": keep-alive comment", "id: 7", "retry: 3000", R"(data:{"delta":"a"})",
                    R"(Data: {"delta":"a"})", R"( data: {"delta":"a"})", "data: ", "data: [DONE]",
                    R"(data: [{"delta":"a"}])", R"(data: "text")", "data: 42", "data: null",
                    R"(data: {"delta":"a")", R"(data: {"delta":"a"} {"delta":"b"})",
                    R"(data: {"delta":"a"},)", "data: {\"delta\":\"\xFF\"}",
                    "data: {\"delta\":\"\xC3\"}", "data: {\"delta\":\"\xED\xA0\x80\"}",
                    R"(data: {"delta":"\ud800"})", "data: {'delta':'a'}"));

TEST(SSELineReader, StopEndsTheSequence)
{
    std::stop_source stop;
    SSELineReader reader(stop.get_token());
    EXPECT_FALSE(reader.isStopped());
    EXPECT_FALSE(reader.read("event: content_delta"));
    EXPECT_TRUE(reader.read(R"(data: {"delta":"a"})"));
    stop.request_stop();
    EXPECT_TRUE(reader.isStopped());
    EXPECT_FALSE(reader.read(R"(data: {"delta":"b"})"));
    EXPECT_FALSE(reader.read("event: message_complete"));
    EXPECT_FALSE(reader.read("data: {}"));
}

TEST(SSELineReader, EventArrivesAsSoonAsItsDataLineIsComplete)
{
    LineSplitter splitter;
    SSELineReader reader;
    std::vector<SSEParsedEvent> events;
    const auto feed = [&](std::string_view chunk) {
        splitter.append(chunk);
        while (const auto line = splitter.nextLine()) {
            if (auto parsed = reader.read(*line))
                events.push_back(std::move(*parsed));
        }
    };
    feed("event: content_delta\r\ndata: {\"delta\":\"caf\xC3");
    EXPECT_TRUE(events.empty());
    feed("\xA9\"}\r");
    EXPECT_EQ(events, std::vector{event("content_delta", "{\"delta\":\"caf\xC3\xA9\"}")});
    feed("\ndata: {\"delta\":\"!\"}");
    EXPECT_EQ(events.size(), 1U);
    splitter.finish();
    feed("");
    EXPECT_EQ(events.back(), event("content_delta", R"({"delta":"!"})"));
}
