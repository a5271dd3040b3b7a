#pragma once

// Times of the model: seconds since the Unix epoch, with sub-second precision.
namespace Timestamp {

double now();

} // namespace Timestamp
