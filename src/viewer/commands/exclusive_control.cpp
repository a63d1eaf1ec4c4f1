#include "viewer/commands/exclusive_control.h"

#include "core/timings.h"
#include "platform/ui/ui_helpers.h"
#include "viewer/commands/answer_text.h"
#include "viewer/commands/command_urls.h"
#include "viewer/resources/resources.h"
#include "viewer/resources/string_table.h"

namespace kv::viewer {

namespace {

// One second of a countdown; the module's timing table lets tests run it faster.
int TickMs() { return kv::ModuleTimings().controlTickMs.load(); }

} // namespace

CExclusiveControl::CExclusiveControl(IExclusiveControlPanel& panel, CameraGet get)
    : m_panel(panel), m_get(get ? std::move(get) : CameraGet(SendCameraGet))
{
}

void CExclusiveControl::OnControl(const std::string& ptzfUrl, std::string& user, std::string& password,
                                  int language)
{
    const std::string url = InquiryUrl(ptzfUrl);
    Reset();
    m_panel.ClearPresetList();
    m_panel.SetMessageText(QString());
    m_panel.LoadControlCursor();

    std::string body;
    {
        kv::ui::CWaitCursor wait;
        if (!m_get(body, url, user, password))
            return;  // no answer: nothing changes
    }

    if (Contains(body, kUnauthorizedMarker)) {
        const PasswordAnswer answer = m_panel.AskPassword(ptzfUrl + "?ptauth", language);
        if (!answer.ok)
            return;
        // After the last wrong entry the dialog still ends with OK; those credentials were
        // refused, and adopting them would break every later command and the stream's next
        // login. They are tried once more and kept only if the camera takes them.
        const bool refused = answer.failCount >= kMaxPasswordFailures;
        if (!refused) {
            user = answer.user;
            password = answer.password;
        }
        body.clear();
        {
            kv::ui::CWaitCursor wait;
            if (!m_get(body, url, answer.user, answer.password))
                return;
        }
        if (Contains(body, kUnauthorizedMarker)) {
            m_panel.SetMessageText(LoadQString(IDS_PROTECTED));
            return;
        }
        if (refused) {
            user = answer.user;
            password = answer.password;
        }
    }

    if (Contains(body, kAccessDenyMarker)) {
        m_panel.SetMessageText(LoadQString(IDS_NO_CONTROL_RIGHT));
        return;
    }
    if (Contains(body, kMaxUserMarker)) {
        m_panel.SetMessageText(LoadQString(IDS_MAX_USER));
        return;
    }
    if (body.empty() || !ParseInquiry(body, *this))
        return;
    Grant();
}

void CExclusiveControl::ShowPresets(bool show)
{
    m_panel.ShowItem(IDC_PRESET_LIST, show);
    m_panel.ShowItem(IDC_PRESET_LABEL, show);
}

void CExclusiveControl::FillPresetList()
{
    for (const std::string& description : m_presetDescriptions)
        m_panel.AddPresetItem(QString::fromUtf8(description.data(), static_cast<int>(description.size())));
}

void CExclusiveControl::Grant()
{
    m_panel.ShowItem(IDC_CONTROL_ICON, true);
    m_bControl = true;

    const bool hasPresets = !m_presetDescriptions.empty();
    if (m_sExclusiveMode != "On") {
        // Open-ended control: it lasts until the panel is reset.
        m_panel.ShowItem(IDC_PAN_TILT, true);
        m_panel.ShowItem(IDC_CONTROL, false);
        ShowPresets(hasPresets);
        if (hasPresets)
            FillPresetList();
        return;
    }
    if (m_nWaitingTime > 0 && m_nRemainTime > 0) {
        // Waiting: control comes when the wait has been counted down.
        m_bControl = false;
        m_panel.ShowItem(IDC_CONTROL_ICON, false);
        m_panel.SetTimer(TIMER_WAIT, TickMs());
        m_panel.ShowItem(IDC_CONTROL, false);
        FillPresetList();
        return;
    }
    if (m_nWaitingTime == 0 && m_nRemainTime > 0) {
        // Timed control from now on.
        m_panel.ShowItem(IDC_PAN_TILT, true);
        m_panel.ShowItem(IDC_CONTROL, false);
        m_panel.SetTimer(TIMER_REMAIN, TickMs());
        ShowPresets(hasPresets);
        if (hasPresets)
            FillPresetList();
    }
    // A wait without a time to run, or neither: the icon shows and the Control button stays.
}

void CExclusiveControl::OnTimer(int id)
{
    if (id == TIMER_WAIT)
        OnWaitTick();
    else if (id == TIMER_REMAIN)
        OnRemainTick();
}

void CExclusiveControl::OnWaitTick()
{
    const bool mpeg = m_panel.IsMpeg();
    m_panel.SetMessageText(QString::asprintf(kWaitCountdownFormat, m_nWaitingTime));
    m_panel.SetMessageGeometry(WaitLabelRect(mpeg));
    if (m_nWaitingTime != 0) {
        --m_nWaitingTime;
        return;
    }
    // The wait is over: control starts, and with it the countdown of its time.
    m_panel.SetMessageText(QString());
    ShowPresets(true);
    m_panel.ShowItem(IDC_PAN_TILT, true);
    m_panel.ShowItem(IDC_CONTROL, false);
    m_panel.ShowItem(IDC_CONTROL_ICON, true);
    m_panel.KillTimer(TIMER_WAIT);
    m_bControl = true;
    m_panel.SetTimer(TIMER_REMAIN, TickMs());
}

void CExclusiveControl::OnRemainTick()
{
    const bool mpeg = m_panel.IsMpeg();
    m_panel.SetMessageGeometry(RemainLabelRect(mpeg));
    m_panel.SetMessageText(QString::asprintf(kRemainCountdownFormat, m_nRemainTime));
    if (m_nRemainTime != 0) {
        --m_nRemainTime;
        return;
    }
    // Time is up: back to asking for control.
    m_panel.SetMessageText(QString());
    ShowPresets(false);
    m_panel.ShowItem(IDC_PAN_TILT, false);
    m_panel.ShowItem(IDC_CONTROL_ICON, false);
    m_panel.ShowItem(IDC_CONTROL, true);
    m_bControl = false;
    m_panel.KillTimer(TIMER_REMAIN);
    m_panel.SetMessageGeometry(IdleLabelRect(mpeg));
}

} // namespace kv::viewer
