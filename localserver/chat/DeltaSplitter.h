#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Cuts a reply into the small pieces a streaming model would send: a few words each, every
// piece keeping the white space after its words, so that the pieces joined give the text back
// byte for byte. Cuts fall only at white space, never inside a UTF-8 character.
namespace DeltaSplitter {

std::vector<std::string> split(std::string_view text, std::size_t wordsPerDelta = 3);

} // namespace DeltaSplitter
