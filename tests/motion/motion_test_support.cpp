#include "motion_test_support.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "core/module_profile.h"
#include "core/timings.h"
#include "motion/dialog/authorization_dialog.h"

namespace motiontest {

QApplication* App()
{
    static QApplication* app = [] {
        kv::SetActiveProfileForTesting(kv::kMensiloProfile);
        kv::Timings& t = kv::ModuleTimings();
        t.getSettleMs = 10;
        t.openSettleMs = 10;
        t.connectSettleMs = 10;
        t.stopSleepMs = 20;
        t.motionStopSleepMs = 5;
        t.motionRestartSleepMs = 5;
        t.motionReloadSleepMs = 5;
        t.snapshotSleepMs = 5;
        static int argc = 1;
        static char name[] = "test_motion";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return app;
}

void RecordingStreams::SetSource(const std::string& mjpegUrl, const std::string& mpeg4Url, const std::string& user,
                                 const std::string& password)
{
    m_log->mjpegUrl = mjpegUrl;
    m_log->mpeg4Url = mpeg4Url;
    m_log->user = user;
    m_log->password = password;
    m_module.SetSource(mjpegUrl, mpeg4Url, user, password);
}

void RecordingStreams::Start(kv::motion::StreamKind kind, int zoomPercent)
{
    m_log->starts.push_back({kind, zoomPercent});
    m_module.Start(kind, zoomPercent);
}

bool RecordingStreams::RequestStop(kv::motion::StreamKind kind, int timeoutMs)
{
    m_log->stops.push_back(kind);
    return m_module.RequestStop(kind, timeoutMs);
}

TestSetup MakeSetup()
{
    App();
    TestSetup setup;
    setup.dialog = std::make_unique<kv::motion::MotionSetupDialog>();
    setup.streams = std::make_shared<RecordingStreams::Log>();
    setup.dialog->SetStreams(std::make_unique<RecordingStreams>(setup.streams));
    return setup;
}

Authorizer::Authorizer(Logins answers, std::function<void(int)> onShow)
    : m_answers(std::move(answers)), m_onShow(std::move(onShow)), m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &Authorizer::Poll);
    m_timer->start(5);
}

Authorizer::~Authorizer() = default;

void Authorizer::Poll()
{
    auto* dialog = qobject_cast<kv::motion::AuthorizationDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible() || dialog->property("answered").toBool())
        return;
    dialog->setProperty("answered", true);
    ++m_shown;
    // Every showing starts with empty fields.
    if (!dialog->UserEdit()->text().isEmpty() || !dialog->PasswordEdit()->text().isEmpty())
        ADD_FAILURE() << "the authorization dialog did not start empty";
    if (m_onShow)
        m_onShow(m_shown);
    if (m_answers.empty()) {
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
        return;
    }
    const auto [user, password] = m_answers.front();
    m_answers.erase(m_answers.begin());
    dialog->UserEdit()->setText(user);
    dialog->PasswordEdit()->setText(password);
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
}

std::vector<std::string> SettingsBodies(const camsim::CamsimProcess& cam)
{
    std::vector<std::string> bodies;
    for (const auto& r : cam.RequestsTo("/ocxparser.cgi"))
        bodies.push_back(r.body);
    return bodies;
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return pred();
        QTest::qWait(10);
    }
    return true;
}

bool Visible(const kv::motion::MotionSetupDialog& dialog, int id)
{
    QWidget* w = dialog.Control(id);
    return w && w->isVisibleTo(const_cast<kv::motion::MotionSetupDialog*>(&dialog));
}

QString MessageText(const kv::motion::MotionSetupDialog& dialog)
{
    auto* label = qobject_cast<QLabel*>(dialog.Control(kv::motion::MotionSetupDialog::IDC_MESSAGE));
    return label ? label->text() : QString();
}

QImage Grab(kv::motion::MotionSetupDialog& dialog)
{
    return dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace motiontest

