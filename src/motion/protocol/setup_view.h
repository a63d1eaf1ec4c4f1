// What the protocol operations ask of the setup dialog: messages, the authorization dialog,
// the level timer, the frames and the panel. The dialog implements it; the operations stay
// free of widgets.
#pragma once

#include "motion/protocol/motion_settings.h"

#include <optional>
#include <string>

namespace kv::motion {

// The panel controls of one detection window.
struct WindowControls {
    std::int32_t enabled = 0;      // check box state, 0 or 1
    std::int32_t threshold = 0;    // threshold slider position, 0..255
    std::int32_t sensitivity = 0;  // sensitivity slider position, 0..10
};

class IMotionSetupView {
public:
    virtual ~IMotionSetupView() = default;

    // Writes string stringId into the message line and shows the line.
    virtual void ShowMessage(int stringId) = 0;
    // Shows the authorization dialog modally; false when it was cancelled. Both fields start
    // empty on every showing.
    virtual bool AskCredentials(std::string& user, std::string& password) = 0;

    virtual void StartLevelTimer() = 0;
    virtual void StopLevelTimer() = 0;

    // Puts the records onto the frames and the panel and shows the picture.
    virtual void ApplySettings() = 0;
    // Repaints the whole dialog.
    virtual void InvalidateAll() = 0;
    // The snapshot picture was fetched or released.
    virtual void SnapshotChanged() = 0;

    // Frames: index 0 is the view area, 1 to 4 the detection windows.
    virtual bool FrameExists(int index) const = 0;
    // The frame's outer rectangle clipped to the picture; nothing for a frame never created.
    virtual std::optional<AreaRect> MeasureFrame(int index) const = 0;
    virtual void DestroyFrames() = 0;

    // Panel of detection window n (1 to 4).
    virtual WindowControls ReadWindowControls(int window) const = 0;
    virtual void ShowLevel(int window, int level) = 0;
};

} // namespace kv::motion
