#include "identity/Pkce.h"

#include "support/Crypto.h"

#include <algorithm>

namespace {

bool isAlphanumeric(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

namespace Pkce {

bool isValidVerifier(std::string_view verifier)
{
    return verifier.size() >= 43 && verifier.size() <= 128 &&
           std::ranges::all_of(verifier, [](char c) {
               return isAlphanumeric(c) || c == '-' || c == '.' || c == '_' || c == '~';
           });
}

bool isValidChallenge(std::string_view challenge)
{
    return challenge.size() == 43 && std::ranges::all_of(challenge, [](char c) {
               return isAlphanumeric(c) || c == '-' || c == '_';
           });
}

bool matches(std::string_view verifier, std::string_view challenge)
{
    return isValidVerifier(verifier) && Crypto::base64Url(Crypto::sha256(verifier)) == challenge;
}

} // namespace Pkce
