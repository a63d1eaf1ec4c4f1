// The two live streams: the MJPG chunk stream and the fixed-layout ASF stream.
#pragma once

#include "camera.h"

namespace camsim {

// Both run until the client leaves, camsim stops or a fault ends the response.
void ServeMjpegStream(Camera& camera, ResponseWriter& writer, const RequestRecord& request);
void ServeAsfStream(Camera& camera, ResponseWriter& writer, const RequestRecord& request);

} // namespace camsim
