#include "http/ServerSentEvents.h"

#include "http/JsonHttp.h"

namespace ServerSentEvents {

std::string format(const std::string &event, const nlohmann::ordered_json &data)
{
    // Compact JSON escapes every line break, so the data always fits on one line.
    return "event: " + event + "\ndata: " + JsonHttp::serialize(data) + "\n\n";
}

} // namespace ServerSentEvents
