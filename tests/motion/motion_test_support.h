// Shared pieces of the motion setup tests: the application with the motion module's profile
// and short waits, a camera emulator per test, a stream side that records what the setup
// asked of the module's players, and an answerer for the authorization dialog.
#pragma once

#include <QApplication>
#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "camsim_process.h"
#include "motion/dialog/module_streams.h"
#include "motion/dialog/motion_setup_dialog.h"
#include "motion/protocol/motion_streams.h"

class QTimer;

namespace motiontest {

// The application, the motion module's profile and waits short enough for tests. Call it
// before anything touches the module's players.
QApplication* App();

// The module's own players, with every call the setup made written down.
class RecordingStreams final : public kv::motion::IMotionStreams {
public:
    struct StartCall {
        kv::motion::StreamKind kind;
        int zoomPercent;
    };
    struct Log {
        std::vector<StartCall> starts;
        std::vector<kv::motion::StreamKind> stops;
        std::string mjpegUrl, mpeg4Url, user, password;
    };

    explicit RecordingStreams(std::shared_ptr<Log> log) : m_log(std::move(log)) {}

    void SetSource(const std::string& mjpegUrl, const std::string& mpeg4Url, const std::string& user,
                   const std::string& password) override;
    bool IsFinished(kv::motion::StreamKind kind) const override { return m_module.IsFinished(kind); }
    void Start(kv::motion::StreamKind kind, int zoomPercent) override;
    bool RequestStop(kv::motion::StreamKind kind, int timeoutMs) override;
    std::optional<std::array<std::uint8_t, 4>> MotionLevels(kv::motion::StreamKind kind) const override
    {
        return m_module.MotionLevels(kind);
    }

private:
    std::shared_ptr<Log> m_log;
    kv::motion::CModuleMotionStreams m_module;
};

// A setup dialog whose stream calls are recorded.
struct TestSetup {
    std::unique_ptr<kv::motion::MotionSetupDialog> dialog;
    std::shared_ptr<RecordingStreams::Log> streams;

    kv::motion::MotionSetupDialog* operator->() const { return dialog.get(); }
    kv::motion::MotionSetupDialog& operator*() const { return *dialog; }
};
TestSetup MakeSetup();

// Answers the authorization dialog each time it shows: the next scripted entry (user and
// password), or Cancel when the script has run out.
using Logins = std::vector<std::pair<QString, QString>>;
class Authorizer : public QObject {
public:
    explicit Authorizer(Logins answers, std::function<void(int)> onShow = {});
    ~Authorizer() override;
    int Shown() const { return m_shown; }

private:
    void Poll();
    Logins m_answers;
    std::function<void(int)> m_onShow;  // called with the showing's number before it is answered
    QTimer* m_timer;
    int m_shown = 0;
};

// Requests of the motion protocol in the order sent.
std::vector<std::string> SettingsBodies(const camsim::CamsimProcess& cam);

// Processes events until pred holds or timeoutMs pass; pred's last answer.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 10000);

// Visible state of a control by id.
bool Visible(const kv::motion::MotionSetupDialog& dialog, int id);
QString MessageText(const kv::motion::MotionSetupDialog& dialog);

// The setup's image as the user sees it (the dialog grabbed with its children).
QImage Grab(kv::motion::MotionSetupDialog& dialog);

} // namespace motiontest
