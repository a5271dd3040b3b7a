#pragma once

#include <string_view>

// Proof key for code exchange with the S256 method: the token request proves it comes from the
// client that started the sign-in by presenting the verifier whose hash the authorize request
// carried.
namespace Pkce {

// 43 to 128 characters of A-Z, a-z, 0-9, "-", ".", "_", "~".
bool isValidVerifier(std::string_view verifier);
// A base64url SHA-256 digest: exactly 43 characters of the base64url alphabet.
bool isValidChallenge(std::string_view challenge);
bool matches(std::string_view verifier, std::string_view challenge);

} // namespace Pkce
