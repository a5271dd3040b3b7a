#include "model/AnyCodable.h"

#include "model/DecodingError.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <string>

namespace {

AnyCodable decodeText(const std::string &text)
{
    return AnyCodable::decode(nlohmann::ordered_json::parse(text));
}

std::string nestedArrays(std::size_t depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

struct DecodeCase
{
    std::string json;
    AnyCodable expected;
};

class AnyCodableDecoding : public testing::TestWithParam<DecodeCase>
{};

} // namespace

TEST_P(AnyCodableDecoding, PicksTheFirstKindThatFits)
{
    const auto &[json, expected] = GetParam();
    const auto decoded = decodeText(json);
    EXPECT_EQ(decoded.value().index(), expected.value().index()) << json;
    EXPECT_EQ(decoded, expected) << json;
}

INSTANTIATE_TEST_SUITE_P(
    Scalars, AnyCodableDecoding,
    testing::Values(DecodeCase{"null", nullptr}, DecodeCase{"true", true},
                    DecodeCase{"false", false}, DecodeCase{"1", 1}, DecodeCase{"7", 7},
                    DecodeCase{"-12", -12}, DecodeCase{"7.0", 7}, DecodeCase{"1e2", 100},
                    DecodeCase{"-0.0", 0}, DecodeCase{"-0", 0}, DecodeCase{"2.5", 2.5},
                    DecodeCase{"-1e-3", -0.001},
                    DecodeCase{"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
                    DecodeCase{"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
                    DecodeCase{"9223372036854775808", 9223372036854775808.0},
                    DecodeCase{"9.3e18", 9.3e18},
                    DecodeCase{"18446744073709551615", 18446744073709551615.0},
                    DecodeCase{"9007199254740993", std::int64_t{9007199254740993}},
                    DecodeCase{"\"text\"", "text"}, DecodeCase{"\"\"", ""},
                    DecodeCase{"[]", AnyCodable::List{}},
                    DecodeCase{"[true, 1, 1.5]", AnyCodable::List{true, 1, 1.5}},
                    DecodeCase{"{}", AnyCodable::Object{}}));

TEST(AnyCodable, TrueIsNeverTheIntegerOneAndOneIsNeverTrue)
{
    EXPECT_NE(decodeText("true"), AnyCodable(1));
    EXPECT_TRUE(std::holds_alternative<bool>(decodeText("true").value()));
    EXPECT_NE(decodeText("1"), AnyCodable(true));
    EXPECT_TRUE(std::holds_alternative<std::int64_t>(decodeText("1").value()));
}

TEST(AnyCodable, ValuesWithoutAJSONKindFailWithUnableToDecodeValue)
{
    const nlohmann::ordered_json undecodable[] = {
        nlohmann::ordered_json::binary({1, 2, 3}),
        nlohmann::ordered_json::parse("{", nullptr, false),
    };
    for (const auto &json : undecodable) {
        try {
            AnyCodable::decode(json);
            ADD_FAILURE() << json.type_name() << " decoded";
        } catch (const DecodingError &error) {
            EXPECT_STREQ(error.what(), "Unable to decode value");
        }
    }
}

TEST(AnyCodable, FailureInsideANestedValueFailsTheWholeValue)
{
    auto document = nlohmann::ordered_json::parse(R"({"outer": [1, {"inner": null}]})");
    document["outer"][1]["inner"] = nlohmann::ordered_json::binary({0});
    EXPECT_THROW(AnyCodable::decode(document), DecodingError);
}

TEST(AnyCodable, NestingUpToTheLimitDecodesAndDeeperFails)
{
    EXPECT_NO_THROW(decodeText(nestedArrays(512)));
    EXPECT_THROW(decodeText(nestedArrays(513)), DecodingError);
    EXPECT_THROW(decodeText(nestedArrays(100000)), DecodingError);
}

TEST(AnyCodable, DescriptionFollowsTheKind)
{
    const std::pair<AnyCodable, std::string> cases[] = {
        {nullptr, "null"},
        {true, "true"},
        {false, "false"},
        {42, "42"},
        {-7, "-7"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
        {3.5, "3.5"},
        {1.0, "1.0"},
        {-0.0, "-0.0"},
        {100.0, "100.0"},
        {0.1, "0.1"},
        {1e100, "1e+100"},
        {9223372036854775808.0, "9223372036854775808.0"},
        {1.5e300, "1.5e+300"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {"h\u00e9llo \"quoted\"", "h\u00e9llo \"quoted\""},
        {AnyCodable::List{}, "[0 items]"},
        {AnyCodable::List{nullptr}, "[1 items]"},
        {AnyCodable::List{1, "a", nullptr}, "[3 items]"},
        {AnyCodable::Object{}, "{0 keys}"},
        {AnyCodable::Object{{"a", 1}, {"b", AnyCodable::List{}}}, "{2 keys}"},
    };
    for (const auto &[value, text] : cases)
        EXPECT_EQ(value.description(), text);
}

TEST(AnyCodable, DescriptionOfDecodedValues)
{
    EXPECT_EQ(decodeText(R"({"a": 1, "b": [2, 3]})").description(), "{2 keys}");
    EXPECT_EQ(decodeText("[]").description(), "[0 items]");
    EXPECT_EQ(decodeText("null").description(), "null");
    EXPECT_EQ(decodeText("7.0").description(), "7");
    EXPECT_EQ(decodeText("0.30000000000000004").description(), "0.30000000000000004");
}

TEST(AnyCodable, IntegerNeverEqualsDoubleOfTheSameValue)
{
    EXPECT_NE(AnyCodable(1), AnyCodable(1.0));
    EXPECT_NE(AnyCodable(AnyCodable::List{1}), AnyCodable(AnyCodable::List{1.0}));
    EXPECT_NE(AnyCodable(AnyCodable::Object{{"n", 1}}), AnyCodable(AnyCodable::Object{{"n", 1.0}}));
    EXPECT_NE(decodeText(R"({"a": [[1]]})"),
              AnyCodable(AnyCodable::Object{{"a", AnyCodable::List{AnyCodable::List{1.0}}}}));
    EXPECT_NE(AnyCodable(0), AnyCodable(false));
    EXPECT_NE(AnyCodable(false), AnyCodable(nullptr));
    EXPECT_EQ(AnyCodable(nullptr), AnyCodable());
}

TEST(AnyCodable, ContainersEqualThemselvesAndStructuralCopies)
{
    const AnyCodable list = AnyCodable::List{1, "two", nullptr, AnyCodable::Object{{"k", false}}};
    EXPECT_EQ(list, list);
    EXPECT_EQ(list, AnyCodable(list));
    EXPECT_EQ(decodeText(R"([1, "two", null, {"k": false}])"), list);

    const auto object = decodeText(R"({"a": 1, "b": [true], "c": {"d": null}})");
    EXPECT_EQ(object, object);
    EXPECT_EQ(object, decodeText(R"({"c": {"d": null}, "a": 1, "b": [true]})"));
}

TEST(AnyCodable, ContainersDifferingAnywhereAreUnequal)
{
    const auto base = decodeText(R"({"a": [1, 2], "b": {"c": "x"}})");
    const char *variants[] = {
        R"({"a": [1, 2]})",
        R"({"a": [1, 2], "b": {"c": "x"}, "z": null})",
        R"({"a": [2, 1], "b": {"c": "x"}})",
        R"({"a": [1, 2, 3], "b": {"c": "x"}})",
        R"({"a": [1, 2], "b": {"c": "y"}})",
        R"({"a": [1, 2], "B": {"c": "x"}})",
        R"({"a": [1, 2], "b": ["x"]})",
        R"([[1, 2], {"c": "x"}])",
    };
    for (const auto *variant : variants)
        EXPECT_NE(base, decodeText(variant)) << variant;
}

TEST(AnyCodable, NestedDocumentRoundTripsWithKeyOrder)
{
    const std::string text = R"({"list":[1,"two",null],"object":{"flag":false},"pi":3.25})";
    const auto original = nlohmann::ordered_json::parse(text);
    const auto encoded = AnyCodable::decode(original).encode();
    EXPECT_EQ(encoded, original);
    EXPECT_EQ(encoded.dump(), text);
    // An integral double stays a double on the wire.
    EXPECT_EQ(AnyCodable(1.0).encode().dump(), "1.0");
}

TEST(AnyCodable, NlohmannHooksEncodeAndDecodeRecordsHoldingValues)
{
    const std::map<std::string, AnyCodable> record{{"values", AnyCodable::List{1, 2.5, "x"}}};
    const nlohmann::ordered_json json = record;
    EXPECT_EQ(json.dump(), R"({"values":[1,2.5,"x"]})");

    const auto back = json.get<std::map<std::string, AnyCodable>>();
    EXPECT_EQ(back.at("values"), record.at("values"));
    EXPECT_THROW(nlohmann::ordered_json::binary({1}).get<AnyCodable>(), DecodingError);
}
