#include "viewer/capture/capture_request.h"

#include <QDialog>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/timings.h"
#include "platform/ui/ui_helpers.h"
#include "viewer/capture/capture_dlg.h"
#include "ximage.h"

namespace kv::viewer {

bool WaitForCapture(const CaptureSource& source, int limitMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, limitMs));
    // The worker serves the request from its own thread, so the window thread may simply
    // sleep between looks; nothing it would do meanwhile is needed for the copies.
    while (source.pending()) {
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(left, std::chrono::milliseconds(kCapturePollMs)));
    }
    return true;
}

CaptureOutcome RunCapture(QWidget* parent, const CaptureSource& source, int color, int language,
                          CaptureFileChooser chooser)
{
    source.request();
    bool served = false;
    {
        kv::ui::CWaitCursor wait;
        served = WaitForCapture(source, kv::ModuleTimings().captureWaitMs.load());
    }
    if (!served) {
        kv::ui::ShowMessageBox(parent, QString::fromLatin1(kNoPictureText));
        return CaptureOutcome::NoPicture;
    }
    CCaptureDlg dialog(source.takeFull(), source.takePreview(), color, language, parent, std::move(chooser));
    return dialog.DoModal() == QDialog::Accepted ? CaptureOutcome::Saved : CaptureOutcome::Cancelled;
}

} // namespace kv::viewer
