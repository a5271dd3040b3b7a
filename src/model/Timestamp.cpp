#include "model/Timestamp.h"

#include <chrono>

namespace Timestamp {

double now()
{
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace Timestamp
