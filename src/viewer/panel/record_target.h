// Whether a file name given by the page may receive the raw recording of the stream.
#pragma once

#include <string>

namespace kv::viewer {

// True for a path that names a regular file or nothing yet (the player creates it). A
// device, a directory, a pipe or a socket, also behind a symbolic link, is refused: the
// recorder would write into it or block on it. An empty name or a path whose kind cannot
// be learnt is refused as well. The name is only inspected, never handed to a shell.
bool IsAcceptableRecordTarget(const std::string& path);

} // namespace kv::viewer
