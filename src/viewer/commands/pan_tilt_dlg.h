// The pan/tilt pad: a small modeless window with eight direction buttons around a home
// button. Pressing a direction turns the camera until the button is released; home calls
// preset 0. With timed control the pad counts the remaining seconds down by itself and
// hides at the end. OK (and closing the window) only hides it; the owner destroys it.
#pragma once

#include <QDialog>

#include <array>
#include <memory>
#include <string>

#include "viewer/commands/camera_command.h"
#include "viewer/widgets/panel_button.h"

namespace kv::ui {
class CWindowTimers;
}

namespace kv::viewer {

class CPadCommandQueue;

// A pad button: a panel button that reports its own presses and releases (left button),
// and carries the URLs and credentials it sends with, fixed when the pad opened.
class CPadButton : public CPanelButton {
    Q_OBJECT
public:
    CPadButton(int id, QWidget* parent);
    int Id() const { return m_id; }

    std::string m_sPtzfUrl;
    std::string m_sPresetUrl;
    std::string m_sUser;
    std::string m_sPassword;

signals:
    void PadPressed(int id);
    void PadReleased(int id);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int m_id;
};

class CPanTiltDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 103;
    static constexpr int TIMER_PT_REMAIN = 1002;
    static constexpr int kNoRemainTime = -1;
    static constexpr int IDOK = 1;

    // remainTime: seconds until the pad hides by itself, or kNoRemainTime. send replaces the
    // HTTP request in tests.
    CPanTiltDlg(const std::string& ptzfUrl, const std::string& presetUrl, const std::string& user,
                const std::string& password, int language, int color, int remainTime,
                QWidget* parent = nullptr, CameraGet send = {});
    ~CPanTiltDlg() override;

    int RemainTime() const { return m_nRemainTime; }
    int Color() const { return m_nColor; }
    int Language() const { return m_nLanguage; }
    CPadButton* Button(int id) const;  // 216 .. 224, else null
    CPanelButton* OkButton() const { return m_okButton; }
    bool RemainTimerRunning() const;
    // Waits until every command made so far was sent (tests).
    void FlushCommands();

    // The remaining-time tick (TIMER_PT_REMAIN).
    void OnTimer(int id);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void OnPadPressed(int id);
    void OnPadReleased(int id);
    void ApplyScheme();
    void SendStopForHeldButton();

    int m_nLanguage;
    int m_nColor;
    int m_nRemainTime;
    std::array<CPadButton*, 9> m_buttons{};
    CPanelButton* m_okButton = nullptr;
    int m_heldButton = 0;  // the direction button whose move is under way, 0 when none
    std::unique_ptr<CPadCommandQueue> m_commands;
    std::unique_ptr<kv::ui::CWindowTimers> m_timers;
};

} // namespace kv::viewer
