#include "model/AnyCodableValue.h"

#include "model/DecodingError.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

AnyCodableValue decodeText(const std::string &text)
{
    return AnyCodableValue::decode(nlohmann::ordered_json::parse(text));
}

template<class Case> bool holds(const AnyCodableValue &value)
{
    return std::holds_alternative<Case>(value.value());
}

} // namespace

TEST(AnyCodableValue, DecodesEachCaseInTheSameOrderAsAnyCodable)
{
    EXPECT_TRUE(holds<std::nullptr_t>(AnyCodableValue()));
    EXPECT_TRUE(holds<std::nullptr_t>(decodeText("null")));
    EXPECT_TRUE(holds<bool>(decodeText("true")));
    EXPECT_TRUE(holds<std::int64_t>(decodeText("1")));
    EXPECT_TRUE(holds<std::int64_t>(decodeText("7.0")));
    EXPECT_TRUE(holds<std::int64_t>(decodeText("1e2")));
    EXPECT_TRUE(holds<std::int64_t>(decodeText("-0.0")));
    EXPECT_TRUE(holds<double>(decodeText("2.5")));
    EXPECT_TRUE(holds<double>(decodeText("9223372036854775808")));
    EXPECT_TRUE(holds<std::string>(decodeText("\"1\"")));
    EXPECT_TRUE(holds<AnyCodableValue::Array>(decodeText("[]")));
    EXPECT_TRUE(holds<AnyCodableValue::Dictionary>(decodeText("{}")));

    EXPECT_EQ(decodeText("1e2"), AnyCodableValue(100));
    EXPECT_EQ(decodeText("-9223372036854775808"),
              AnyCodableValue(std::numeric_limits<std::int64_t>::min()));
    EXPECT_EQ(decodeText("9223372036854775808"), AnyCodableValue(9223372036854775808.0));
}

TEST(AnyCodableValue, BooleanAndIntegerStayApart)
{
    EXPECT_NE(decodeText("true"), AnyCodableValue(1));
    EXPECT_NE(decodeText("1"), AnyCodableValue(true));
    EXPECT_NE(AnyCodableValue(1), AnyCodableValue(1.0));
    EXPECT_NE(decodeText("[1]"), decodeText("[1.5]"));
    EXPECT_NE(AnyCodableValue(AnyCodableValue::Array{1}),
              AnyCodableValue(AnyCodableValue::Array{1.0}));
}

TEST(AnyCodableValue, BinaryValueFailsWithUnableToDecodeValue)
{
    auto document = nlohmann::ordered_json::parse(R"({"a": [0]})");
    document["a"][0] = nlohmann::ordered_json::binary({7});
    try {
        AnyCodableValue::decode(document);
        FAIL() << "a binary value decoded";
    } catch (const DecodingError &error) {
        EXPECT_STREQ(error.what(), "Unable to decode value");
    }
}

TEST(AnyCodableValue, NestingUpToTheLimitDecodesAndDeeperFails)
{
    const auto nested = [](std::size_t depth) {
        return std::string(depth, '[') + std::string(depth, ']');
    };
    EXPECT_NO_THROW(decodeText(nested(512)));
    EXPECT_THROW(decodeText(nested(513)), DecodingError);
}

TEST(AnyCodableValue, ContainersEqualThemselvesAndReorderedCopies)
{
    const auto value = decodeText(R"({"theme": "dark", "sizes": [1, 2.5], "flags": {"a": true}})");
    EXPECT_EQ(value, value);
    EXPECT_EQ(value, decodeText(R"({"flags": {"a": true}, "theme": "dark", "sizes": [1, 2.5]})"));
    EXPECT_NE(value, decodeText(R"({"flags": {"a": true}, "theme": "dark", "sizes": [2.5, 1]})"));
    EXPECT_NE(value, decodeText(R"({"flags": {"a": true}, "theme": "dark"})"));
    EXPECT_NE(value, decodeText(R"({"flags": {"b": true}, "theme": "dark", "sizes": [1, 2.5]})"));
}

TEST(AnyCodableValue, NestedDocumentRoundTripsWithKeyOrder)
{
    const std::string text = R"({"list":[1,"two",null],"object":{"flag":false},"ratio":0.5})";
    const nlohmann::ordered_json encoded = decodeText(text);
    EXPECT_EQ(encoded.dump(), text);
    EXPECT_EQ(encoded.get<AnyCodableValue>(), decodeText(text));
}

TEST(AnyCodableValue, EncodesEachCase)
{
    const AnyCodableValue value = AnyCodableValue::Dictionary{
        {"s", "x"},
        {"i", 3},
        {"d", 3.0},
        {"b", false},
        {"a", AnyCodableValue::Array{nullptr}},
        {"o", AnyCodableValue::Dictionary{}},
        {"n", nullptr},
    };
    EXPECT_EQ(value.encode().dump(),
              R"({"s":"x","i":3,"d":3.0,"b":false,"a":[null],"o":{},"n":null})");
}
