#include "model/AnyCodable.h"

#include "model/AnyCodableValue.h"
#include "model/DecodingError.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace {

// AnyCodableValue decodes and compares the way AnyCodable does, so both run the same cases.
template<class Value> class AnyCodableTest : public testing::Test
{
protected:
    static Value decodeText(const std::string &text)
    {
        return Value::decode(nlohmann::ordered_json::parse(text));
    }
};

using Values = testing::Types<AnyCodable, AnyCodableValue>;
TYPED_TEST_SUITE(AnyCodableTest, Values);

TYPED_TEST(AnyCodableTest, DecodingPicksTheFirstKindAndEqualityNeverMixesKinds)
{
    using Value = TypeParam;
    EXPECT_EQ(this->decodeText("7.0"), Value(7));
    EXPECT_EQ(this->decodeText("-0.0"), Value(0));
    EXPECT_EQ(this->decodeText("9223372036854775808"), Value(9223372036854775808.0));
    EXPECT_EQ(this->decodeText("9007199254740993"), Value(std::int64_t{9007199254740993}));
    EXPECT_NE(this->decodeText("true"), Value(1));
    EXPECT_NE(Value(1), Value(1.0));
    const auto base = this->decodeText(R"({"a": [1, 2], "b": {"c": "x"}})");
    EXPECT_EQ(base, this->decodeText(R"({"b": {"c": "x"}, "a": [1, 2]})"));
    for (const auto *other :
         {R"({"a": [1, 2]})", R"({"a": [2, 1], "b": {"c": "x"}})",
          R"({"a": [1, 2.5], "b": {"c": "x"}})", R"({"a": [1, 2], "b": {"c": "x"}, "z": null})",
          R"({"a": [1, 2], "B": {"c": "x"}})", R"([[1, 2], {"c": "x"}])"})
        EXPECT_NE(base, this->decodeText(other)) << other;
}

TYPED_TEST(AnyCodableTest, BinaryOrTooDeepDocumentsFailWhole)
{
    auto document = nlohmann::ordered_json::parse(R"({"outer": [1, {"inner": null}]})");
    document["outer"][1]["inner"] = nlohmann::ordered_json::binary({0});
    EXPECT_THROW(TypeParam::decode(document), DecodingError);
    EXPECT_THROW(document.get<TypeParam>(), DecodingError);
    EXPECT_NO_THROW(this->decodeText(std::string(512, '[') + std::string(512, ']')));
    EXPECT_THROW(this->decodeText(std::string(513, '[') + std::string(513, ']')), DecodingError);
    EXPECT_THROW(this->decodeText(std::string(100000, '[') + std::string(100000, ']')),
                 DecodingError);
}

TYPED_TEST(AnyCodableTest, RoundTripKeepsKeyOrderAndDoublesStayDoubles)
{
    const std::string text = R"({"list":[1,"two",null],"object":{"flag":false},"ratio":3.25})";
    EXPECT_EQ(nlohmann::ordered_json(this->decodeText(text)).dump(), text);
    EXPECT_EQ(nlohmann::ordered_json(TypeParam(1.0)).dump(), "1.0");
}

TEST(AnyCodable, DescriptionKeepsDoublesApartFromIntegers)
{
    EXPECT_EQ(AnyCodable(1.0).description(), "1.0");
    EXPECT_EQ(AnyCodable(0.30000000000000004).description(), "0.30000000000000004");
}

} // namespace
