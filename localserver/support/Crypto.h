#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The few primitives sign-in and sessions need.
namespace Crypto {

// Bytes from the system's cryptographic random source.
std::string randomBytes(std::size_t count);
// Unguessable token text: that many random bytes in unpadded base64url.
std::string randomToken(std::size_t byteCount);
std::string sha256(std::string_view data);
// RFC 4648 base64url without padding.
std::string base64Url(std::string_view data);
// Lower-case hexadecimal.
std::string hex(std::string_view data);

} // namespace Crypto
