// The operations of a motion setup: read the settings (with the authorization retry), start
// the picture, save the detection windows or the view area, reload, and release the camera
// at the end. The setup dialog owns one MotionSetup and offers these operations under the
// same names; everything runs on the window thread and blocks it, one exchange at a time,
// each with a fresh one-shot HTTP request.
#pragma once

#include "motion/protocol/motion_settings.h"
#include "motion/protocol/motion_streams.h"
#include "motion/protocol/motion_text.h"
#include "motion/protocol/setup_view.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>


namespace kv::motion {

class MotionSetup {
public:
    // The authorization dialog is shown at most this many times per read.
    static constexpr int kMaxAuthorizationAttempts = 3;
    static constexpr int kLevelTimerId = 1;
    static constexpr int kLevelTimerMs = 1000;

    MotionSetup(IMotionSetupView& view, IMotionStreams& streams);
    ~MotionSetup();
    MotionSetup(const MotionSetup&) = delete;
    MotionSetup& operator=(const MotionSetup&) = delete;

    // Stores the base address, frame type and mode, remembers that a source was given and
    // derives the stream and snapshot addresses.
    void SetSource(std::string_view baseUrl, std::string frameType, int mode);
    // The settings address becomes base + "/ocxparser.cgi" (done right before the first read).
    void UseSettingsAddress();
    // Both players get their address and the current credentials.
    void HandSourceToPlayers();

    bool ReadSettings();
    void StartPicture();
    void SaveAreas();
    void SaveView();
    void ReloadView();
    void EndSetup();

    // Level timer tick: the latest levels into the records and the level bars of every
    // detection window whose frame exists.
    void UpdateLevels();

    bool SourceGiven() const { return m_sourceGiven; }
    bool IsViewMode() const { return m_mode == kModeViewArea; }
    int Mode() const { return m_mode; }
    const std::string& FrameType() const { return m_frameType; }
    StreamKind Kind() const { return StreamKindForFrameType(m_frameType); }
    const std::string& BaseUrl() const { return m_baseUrl; }
    const MotionAddresses& Addresses() const { return m_addresses; }
    const std::string& SettingsUrl() const { return m_settingsUrl; }
    const std::string& User() const { return m_user; }
    const std::string& Password() const { return m_password; }
    std::int32_t CurrentRes() const { return m_currentRes; }

    AreaSettings& Area() { return m_area; }
    const AreaSettings& Area() const { return m_area; }
    ViewSettings& View() { return m_viewArea; }
    const ViewSettings& View() const { return m_viewArea; }

    // True from a successful read until EndSetup: this instance has a setup with the camera
    // that its end must release.
    bool HasBegun() const { return m_begun; }
    // True while the module-wide setup flag is this instance's.
    bool HoldsSetupFlag() const;
    // True while another instance's setup holds the module-wide flag.
    bool OtherSetupActive() const;

private:
    // One POST with the stored credentials; false when it could not be completed.
    bool Post(const std::string& url, std::string_view body, std::string& reply) const;
    void StopStream();
    void ReleaseCamera();
    static void Sleep(int ms);

    IMotionSetupView& m_dialog;
    IMotionStreams& m_streams;

    std::string m_baseUrl;
    std::string m_frameType;
    int m_mode = 0;
    bool m_sourceGiven = false;
    MotionAddresses m_addresses;
    std::string m_settingsUrl;
    std::string m_user;
    std::string m_password;

    AreaSettings m_area;
    ViewSettings m_viewArea;
    std::int32_t m_currentRes = 0;
    bool m_begun = false;
};

} // namespace kv::motion
