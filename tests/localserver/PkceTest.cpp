#include "Pkce.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// RFC 7636, appendix B.
constexpr char verifier[] = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
constexpr char challenge[] = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";

TEST(Pkce, MatchesTheExampleOfTheStandard)
{
    EXPECT_TRUE(Pkce::matches(verifier, challenge));
    EXPECT_FALSE(Pkce::matches(std::string(verifier) + "x", challenge));
    EXPECT_FALSE(Pkce::matches(challenge, challenge));
}

TEST(Pkce, VerifiersAndChallengesHaveTheirForm)
{
    EXPECT_TRUE(Pkce::isValidVerifier(std::string(43, 'a')));
    EXPECT_TRUE(Pkce::isValidVerifier(std::string(128, '~')));
    for (const auto &bad : {std::string(42, 'a'), std::string(129, 'a'), std::string(43, '+'),
                            std::string(42, 'a') + "\xc3\xa9"})
        EXPECT_FALSE(Pkce::isValidVerifier(bad)) << bad;
    EXPECT_TRUE(Pkce::isValidChallenge(challenge));
    for (const auto &bad : {std::string(42, 'a'), std::string(44, 'a'), std::string(42, 'a') + "="})
        EXPECT_FALSE(Pkce::isValidChallenge(bad)) << bad;
}

} // namespace
