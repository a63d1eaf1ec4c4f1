#include "measured_panel.h"

#include <QPaintEvent>

#include "frame_code.h"
#include "process_stats.h"

namespace kvbench {

std::uint64_t SignatureOf(const QImage& image)
{
    constexpr int kColumns = 32;
    constexpr int kRows = 24;
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (int row = 0; row < kRows; ++row) {
        const int y = (2 * row + 1) * image.height() / (2 * kRows);
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int column = 0; column < kColumns; ++column) {
            const int x = (2 * column + 1) * image.width() / (2 * kColumns);
            std::uint32_t value = line[x] & 0xFFFFFFu;
            for (int byte = 0; byte < 3; ++byte, value >>= 8) {
                hash ^= value & 0xFFu;
                hash *= 1099511628211ull;
            }
        }
    }
    return hash;
}


std::optional<std::uint32_t> FrameCodeOf(const QImage& image)
{
    return camsim::ReadFrameCode(image.width(), image.height(), [&](int x, int y) {
        const QRgb value = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
        return std::array<int, 3>{qRed(value), qGreen(value), qBlue(value)};
    });
}

void CMeasuredPanel::paintEvent(QPaintEvent* event)
{
    // Holding the picture keeps the sink from converting the next one into it meanwhile.
    const QImage before = FrameSink().LastImage();
    CViewerPanel::paintEvent(event);
    const std::int64_t painted = MonotonicNs();
    if (!m_noting || before.isNull() || before.cacheKey() == m_lastKey)
        return;
    const QRect destination = FrameSink().LastDestination();
    if (destination.isEmpty() || event->region().intersected(destination) != QRegion(destination))
        return;  // a paint of something else that touched the picture only in part
    if (FrameSink().LastImage().constBits() != before.constBits()) {
        ++m_overtaken;
        return;
    }
    m_lastKey = before.cacheKey();
    const std::int64_t start = ThreadCpuNs();
    PaintNote note{painted, std::nullopt, 0};
    if (m_signatures)
        note.signature = SignatureOf(before);
    else
        note.frameCode = FrameCodeOf(before);
    m_notes.push_back(note);
    m_notingCpuNs += ThreadCpuNs() - start;
}

} // namespace kvbench
