// A real viewer panel that notes, for each picture it paints, when the paint handler had
// drawn it and what identifies the picture: the frame code camsim draws into Motion-JPEG
// pictures, and a signature of sampled pixels for MPEG-4 pictures (camsim loops a clip,
// so the signature names a picture of the clip).
#pragma once

#include <QImage>

#include <cstdint>
#include <optional>
#include <vector>

#include "viewer/panel/viewer_panel.h"

namespace kvbench {

// A signature of a grid of 32 by 24 pixels of a 32-bit picture: equal pictures have equal
// signatures, and the benchmark checks that the pictures it matches against all differ.
std::uint64_t SignatureOf(const QImage& image);
// camsim's frame code in a painted picture, if it carries one.
std::optional<std::uint32_t> FrameCodeOf(const QImage& image);

struct PaintNote {
    std::int64_t paintedNs = 0;                 // CLOCK_MONOTONIC once the paint handler drew it
    std::optional<std::uint32_t> frameCode;
    std::uint64_t signature = 0;
};

class CMeasuredPanel final : public kv::viewer::CViewerPanel {
public:
    using CViewerPanel::CViewerPanel;

    // Notes paints while on, identifying each picture by its signature (signatures) or by its
    // frame code (otherwise): only the one the stream needs, to disturb the viewer least.
    void SetNoting(bool on, bool signatures = false)
    {
        m_noting = on;
        m_signatures = signatures;
    }
    const std::vector<PaintNote>& Notes() const { return m_notes; }
    // The window thread's CPU time spent identifying painted pictures: the benchmark's own
    // work, which is not the viewer's.
    std::int64_t NotingCpuNs() const { return m_notingCpuNs; }
    // Paints during which a newer picture replaced the one being drawn: which of the two
    // reached the window is unknown, so they are not noted.
    int Overtaken() const { return m_overtaken; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_noting = false;
    bool m_signatures = false;
    std::int64_t m_notingCpuNs = 0;
    std::vector<PaintNote> m_notes;
    qint64 m_lastKey = 0;
    int m_overtaken = 0;
};

} // namespace kvbench
