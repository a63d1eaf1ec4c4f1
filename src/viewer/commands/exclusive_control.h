// Exclusive control: the Control button asks the camera for the right to steer it
// ("?Inquiry"), and the answer either grants it at once, makes the user wait a number of
// seconds first, limits how long it lasts, or refuses it. The countdowns run on the panel's
// window timers and show in its message label.
//
// The panel's side (showing and hiding its controls, the message label, the preset list,
// timers, cursor, the password dialog) is behind IExclusiveControlPanel, so the whole
// exchange and every state can be driven and checked without a panel.
#pragma once

#include <QRect>
#include <QString>

#include <string>

#include "viewer/commands/camera_command.h"
#include "viewer/commands/inquiry_parser.h"

namespace kv::viewer {

// Controls of the panel that exclusive control shows and hides.
enum ExclusiveControlItem : int {
    IDC_PRESET_LIST = 202,
    IDC_CONTROL = 203,
    IDC_PAN_TILT = 204,
    IDC_MESSAGE = 205,
    IDC_PRESET_LABEL = 208,
    IDC_CONTROL_ICON = 233,
};

// What the password dialog ended with.
struct PasswordAnswer {
    bool ok = false;  // ended with OK (after a right entry or after the last wrong one)
    std::string user;
    std::string password;
    int failCount = 0;
};

class IExclusiveControlPanel {
public:
    virtual ~IExclusiveControlPanel() = default;
    virtual void ShowItem(int controlId, bool show) = 0;
    virtual void SetMessageText(const QString& text) = 0;
    virtual void SetMessageGeometry(const QRect& rect) = 0;
    virtual void ClearPresetList() = 0;
    virtual void AddPresetItem(const QString& text) = 0;
    virtual void SetTimer(int id, int intervalMs) = 0;
    virtual void KillTimer(int id) = 0;
    // Replaces the control cursor with a fresh copy of cursor resource 234.
    virtual void LoadControlCursor() = 0;
    // The stream kind decides where the countdowns stand.
    virtual bool IsMpeg() const = 0;
    // Runs the password dialog modally against testUrl.
    virtual PasswordAnswer AskPassword(const std::string& testUrl, int language) = 0;
};

class CExclusiveControl : public ExclusiveControlState {
public:
    static constexpr int TIMER_WAIT = 1003;
    static constexpr int TIMER_REMAIN = 1004;
    static constexpr int kMaxPasswordFailures = 3;
    static constexpr const char kUnauthorizedMarker[] = "<HTML><HEAD><TITLE>401 Unautho";
    static constexpr const char kAccessDenyMarker[] = "PT: Access Deny";
    static constexpr const char kMaxUserMarker[] = "PT: Max User";

    // Where the message label stands: while waiting, while control runs out, and otherwise.
    static QRect WaitLabelRect(bool mpeg) { return QRect(15, mpeg ? 184 : 237, 120, 36); }
    static QRect RemainLabelRect(bool mpeg) { return QRect(140, mpeg ? 184 : 237, 75, 33); }
    static QRect IdleLabelRect(bool mpeg) { return QRect(15, mpeg ? 276 : 329, 120, 36); }

    // get replaces the HTTP request in tests.
    explicit CExclusiveControl(IExclusiveControlPanel& panel, CameraGet get = {});

    // The Control button. user and password are the panel's credentials: they change only
    // to ones the camera accepted.
    void OnControl(const std::string& ptzfUrl, std::string& user, std::string& password, int language);
    // TIMER_WAIT and TIMER_REMAIN ticks; other ids are ignored.
    void OnTimer(int id);

    bool m_bControl = false;  // control held: area zoom allowed, control cursor over the video

private:
    void Grant();
    void ShowPresets(bool show);
    void FillPresetList();
    void OnWaitTick();
    void OnRemainTick();

    IExclusiveControlPanel& m_panel;
    CameraGet m_get;
};

} // namespace kv::viewer
