#include "motion/protocol/motion_setup.h"

#include "core/timings.h"
#include "motion/protocol/setup_state.h"
#include "motion/resources/string_table.h"
#include "stream/http_poster.h"
#include "ximage.h"

#include <chrono>
#include <thread>

namespace kv::motion {

MotionSetup::MotionSetup(IMotionSetupView& view, IMotionStreams& streams) : m_dialog(view), m_streams(streams) {}

MotionSetup::~MotionSetup() = default;

void MotionSetup::SetSource(std::string_view baseUrl, std::string frameType, int mode)
{
    m_baseUrl = std::string(baseUrl);
    m_frameType = std::move(frameType);
    m_mode = mode;
    m_sourceGiven = true;
    m_addresses = MotionAddresses::FromBase(m_baseUrl);
}

void MotionSetup::UseSettingsAddress() { m_settingsUrl = m_addresses.settings; }

void MotionSetup::HandSourceToPlayers()
{
    m_streams.SetSource(m_addresses.mjpeg, m_addresses.mpeg4, m_user, m_password);
}

bool MotionSetup::HoldsSetupFlag() const { return SetupActiveFor(this); }

bool MotionSetup::OtherSetupActive() const { return SetupActive() && !SetupActiveFor(this); }

void MotionSetup::Sleep(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool MotionSetup::Post(const std::string& url, std::string_view body, std::string& reply) const
{
    CHttpPoster poster;
    return poster.Request(reply, url.c_str(), true, m_user, m_password, body.data(), static_cast<int>(body.size()));
}

bool MotionSetup::ReadSettings()
{
    const std::string_view body = IsViewMode() ? kReadViewBody : kReadAreaBody;
    std::string reply;
    if (!Post(m_settingsUrl, body, reply)) {
        m_dialog.ShowMessage(IDS_CAN_NOT_CONNECT);
        return false;
    }
    if (AsksForAuthorization(reply)) {
        for (int attempt = 1;; ++attempt) {
            std::string user;
            std::string password;
            if (!m_dialog.AskCredentials(user, password)) {
                m_dialog.ShowMessage(IDS_PROTECTED);
                return false;
            }
            // Kept even when the camera refuses them: the next read starts with them.
            m_user = std::move(user);
            m_password = std::move(password);
            reply.clear();
            if (!Post(m_settingsUrl, body, reply)) {
                m_dialog.ShowMessage(IDS_CAN_NOT_CONNECT);
                return false;
            }
            if (!AsksForAuthorization(reply))
                break;
            if (attempt >= kMaxAuthorizationAttempts) {
                m_dialog.ShowMessage(IDS_PROTECTED);
                return false;
            }
        }
    }
    if (IsForbidden(reply)) {
        m_dialog.ShowMessage(IDS_DEVICE_BUSY);
        return false;
    }

    if (IsViewMode()) {
        ReadViewReply(reply, m_viewArea);
        m_viewArea.res = kSavedResolution;
        m_currentRes = kSavedResolution;
    } else {
        ReadAreaReply(reply, m_area);
        m_currentRes = m_area.res;
        m_dialog.StartLevelTimer();
    }
    m_begun = true;
    return true;
}

void MotionSetup::StartPicture()
{
    if (IsViewMode()) {
        Sleep(ModuleTimings().snapshotSleepMs.load());
        CxImage& snapshot = SnapshotPicture();
        snapshot.Free();  // an answer without a picture must not leave an old one showing
        CHttpPoster poster;
        std::string reply;
        const bool fetched = poster.Request(reply, m_addresses.snapshot.c_str(), true, m_user, m_password,
                                            kReadViewBody.data(), static_cast<int>(kReadViewBody.size()), &snapshot);
        m_dialog.SnapshotChanged();
        // A refusal page does not decode as a picture, so it is looked for before a failed
        // fetch is reported as a connection failure.
        if (IsForbidden(poster.ReceivedText())) {
            m_dialog.ShowMessage(IDS_DEVICE_BUSY);
            return;
        }
        if (!fetched || !snapshot.IsValid()) {
            m_dialog.ShowMessage(IDS_CAN_NOT_CONNECT);
            return;
        }
    } else {
        const StreamKind kind = Kind();
        if (!m_streams.IsFinished(kind))
            return;
        m_streams.Start(kind, ZoomPercentForResolution(m_currentRes));
    }
    m_dialog.ApplySettings();
    m_dialog.InvalidateAll();
    MarkSetupActive(this);
}

void MotionSetup::StopStream()
{
    Sleep(ModuleTimings().motionStopSleepMs.load());
    const StreamKind kind = Kind();
    if (!m_streams.IsFinished(kind))
        m_streams.RequestStop(kind, ModuleTimings().playerStopMs.load());
}

void MotionSetup::SaveAreas()
{
    m_area.res = kSavedResolution;
    for (int n = 1; n <= kWindowCount; ++n) {
        DetectionWindow& window = m_area.windows[static_cast<std::size_t>(n - 1)];
        const WindowControls controls = m_dialog.ReadWindowControls(n);
        window.enabled = controls.enabled ? 1 : 0;
        if (!window.enabled)
            continue;  // a disabled window keeps what was last read
        if (const auto rect = m_dialog.MeasureFrame(n))
            SetRect(window, *rect);
        window.threshold = controls.threshold;
        window.sensitivity = controls.sensitivity;
    }
    const std::string body = SaveAreasBody(m_area);

    StopStream();
    ClearSetupActive();

    std::string reply;
    if (!Post(m_settingsUrl, body, reply)) {
        m_dialog.ShowMessage(IDS_CAN_NOT_CONNECT);
        return;
    }
    Sleep(ModuleTimings().motionRestartSleepMs.load());
    StartPicture();
    if (!IsAccepted(reply)) {
        // The camera kept its old settings. The picture comes back rather than leaving the
        // setup without a stream, and the message comes after it, since putting the record
        // back on screen hides the message line.
        m_dialog.ShowMessage(IDS_CAN_NOT_CONNECT);
    }
}

void MotionSetup::SaveView()
{
    if (m_viewArea.enabled != 0) {
        if (const auto rect = m_dialog.MeasureFrame(0))
            SetRect(m_viewArea, RoundViewRect(*rect));
    }
    m_viewArea.res = kSavedResolution;
    std::string reply;
    if (!Post(m_settingsUrl, SaveViewBody(m_viewArea), reply) || !IsAccepted(reply))
        m_dialog.ShowMessage(IDS_CAN_NOT_CONNECT);
}

void MotionSetup::ReloadView()
{
    SnapshotPicture().Free();
    m_dialog.SnapshotChanged();
    Sleep(ModuleTimings().motionReloadSleepMs.load());
    if (ReadSettings())
        StartPicture();
}

void MotionSetup::ReleaseCamera()
{
    std::string reply;
    if (!Post(m_settingsUrl, kReleaseBody, reply)) {
        m_dialog.ShowMessage(IDS_CAN_NOT_CONNECT);
        return;
    }
    if (IsAccepted(reply))
        return;
    std::string again;
    if (!Post(m_settingsUrl, kReleaseBody, again))
        m_dialog.ShowMessage(IDS_CAN_NOT_CONNECT);
}

void MotionSetup::EndSetup()
{
    m_begun = false;
    if (OtherSetupActive()) {
        // Another instance runs the module's one setup: its stream, snapshot and camera
        // session are not this instance's to end.
        m_dialog.StopLevelTimer();
        m_dialog.DestroyFrames();
        return;
    }
    if (!IsViewMode())
        StopStream();
    ClearSetupActive();
    m_dialog.StopLevelTimer();
    m_dialog.DestroyFrames();
    if (IsViewMode()) {
        SnapshotPicture().Free();
        m_dialog.SnapshotChanged();
        return;
    }
    ReleaseCamera();
}

void MotionSetup::UpdateLevels()
{
    const auto levels = m_streams.MotionLevels(Kind());
    if (!levels)
        return;  // Motion-JPEG carries no levels: the bars keep their value
    for (int n = 1; n <= kWindowCount; ++n) {
        if (!m_dialog.FrameExists(n))
            continue;
        const int level = (*levels)[static_cast<std::size_t>(n - 1)];
        m_area.windows[static_cast<std::size_t>(n - 1)].level = level;
        m_dialog.ShowLevel(n, level);
    }
}

} // namespace kv::motion
