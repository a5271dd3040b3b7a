// Arbitrary bytes as one line sent to the running instance's socket, then, when the line is
// accepted, as the callback URL the sign-in reads its code and state from. Anyone who can reach
// the socket or open a URL controls these bytes: nothing may crash, and an accepted line must
// always be a well-formed absolute URL within the length limit.
#include "app/ForwardedUrl.h"
#include "identity/AuthURLHelper.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView line(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto url = ForwardedUrl::parse(line);
    if (!url)
        return 0;
    if (line.size() > ForwardedUrl::maximumLineLength || !url->isValid() || url->isRelative())
        std::abort();
    AuthURLHelper::isValidCallback(*url, QStringLiteral("vessa-mac"));
    AuthURLHelper::firstQueryItemValue(*url, QStringLiteral("state"));
    AuthURLHelper::extractCode(*url);
    return 0;
}
