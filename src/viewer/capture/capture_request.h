// The Capture button: ask the display worker to keep copies of the next picture it draws,
// wait for them (not for ever: a stalled or stopped stream draws nothing), then show them
// in the capture dialog.
#pragma once

#include <functional>
#include <memory>

#include "viewer/capture/capture_file.h"

class CxImage;
class QWidget;

namespace kv::viewer {

// The display worker's capture side, as the Capture button uses it.
struct CaptureSource {
    std::function<void()> request;                        // keep copies of the next picture
    std::function<bool()> pending;                        // the request is not served yet
    std::function<std::unique_ptr<CxImage>()> takeFull;   // the copies of the served request
    std::function<std::unique_ptr<CxImage>()> takePreview;
};

// A display worker (anything with RequestCapture, CaptureRequested, TakeFullCopy and
// TakePreviewCopy) as a capture source.
template <class Worker>
CaptureSource CaptureSourceOf(Worker& worker)
{
    return CaptureSource{
        [&worker] { worker.RequestCapture(); },
        [&worker] { return worker.CaptureRequested(); },
        [&worker] { return worker.TakeFullCopy(); },
        [&worker] { return worker.TakePreviewCopy(); },
    };
}

inline constexpr int kCapturePollMs = 100;
inline constexpr const char kNoPictureText[] = "No picture arrived to capture.\nPlease try again.";

enum class CaptureOutcome {
    NoPicture,  // the worker drew nothing within the wait: a message, no dialog
    Saved,
    Cancelled,
};

// Waits up to limitMs (polling every kCapturePollMs) for the request to be served. True
// when it was.
bool WaitForCapture(const CaptureSource& source, int limitMs);

// The whole Capture button. The wait is the module's capture wait; chooser replaces the
// file-save dialog in tests.
CaptureOutcome RunCapture(QWidget* parent, const CaptureSource& source, int color, int language,
                          CaptureFileChooser chooser = {});

} // namespace kv::viewer
