// Where a display worker hands its finished pictures. Free of any window-system type, so
// the workers and their tests do not depend on Qt.
#pragma once

#include <cstdint>
#include <vector>

namespace kv {

struct FrameRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class IFrameSink {
public:
    virtual ~IFrameSink() = default;
    // Called from the worker's thread. dib is one block: a 40-byte BITMAPINFOHEADER and the
    // 24-bit rows bottom-up, each padded to 4 bytes. The source rectangle of the picture
    // (top-down coordinates) is drawn stretched into the destination rectangle of the
    // window. Returns false when the block is not such a picture (nothing changes then).
    virtual bool Present(const std::vector<std::uint8_t>& dib, FrameRect source,
                         FrameRect destination) = 0;
    // Forgets the last picture.
    virtual void Clear() = 0;
};

} // namespace kv
