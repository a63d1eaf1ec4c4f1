// The hosts: their option errors and one-line failures, registration when needed, and the
// answering of the control's dialogs in unattended runs.
#include "control/control_test_support.h"

#include "camsim_process.h"
#include "core/timings.h"
#include "host/control_options.h"
#include "host/dialog_answerer.h"
#include "host/host_program.h"
#include "platform/com/module_path.h"
#include "platform/com/registration.h"
#include "platform/registry/registry.h"
#include "viewer/widgets/password_dlg.h"

#include <gtest/gtest.h>

#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

namespace {

using namespace kv;

struct HostRun {
    int exitCode = -1;
    QString out;
    QStringList errLines;
};

const QString kKavaroView = QStringLiteral(KV_BINARY_DIR "/apps/kavaro-view");
const QString kMensiloSetup = QStringLiteral(KV_BINARY_DIR "/apps/mensilo-setup");

// Runs a host with its own scratch configuration folder.
HostRun RunHost(const QString& program, const QStringList& args, const std::filesystem::path& config)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(config.string()));
    const auto runtime = config / "runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.string()));
    process.setProcessEnvironment(env);
    process.start(program, args);
    HostRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.errLines = QString::fromLocal8Bit(process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}

// A loopback port nothing listens on.
int ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class Hosts : public ::testing::Test {
protected:
    void SetUp() override
    {
#if defined(__clang__) && defined(__has_feature)
#if __has_feature(thread_sanitizer)
        // Clang 14's thread checker aborts in the child that QProcess starts with clone()
        // (a failed check in its fork handling), before the host runs at all.
        GTEST_SKIP() << "QProcess cannot start programs under clang's thread checker";
#endif
#endif
    }

    kvtest::ScratchRegistry m_registry;  // the hosts' store lives in its folder
    std::filesystem::path Config() const { return m_registry.Folder() / "config"; }
    std::string HostStore() const { return (Config() / "kavaro-mensilo" / "registry.reg").string(); }
};

TEST_F(Hosts, BadOptionsAreOneLineAndExitTwo)
{
    struct Case {
        QString program;
        QStringList args;
        const char* says;
    };
    const QString url = QStringLiteral("--url=http://127.0.0.1:1/");
    const std::vector<Case> cases = {
        {kKavaroView, {}, "--url is missing"},
        {kKavaroView, {QStringLiteral("--url=ftp://camera/")}, "http:// or https://"},
        {kKavaroView, {url, QStringLiteral("--frobnicate")}, "Unknown option 'frobnicate'"},
        {kKavaroView, {url, QStringLiteral("--color=blue")}, "--color takes a whole number"},
        {kKavaroView, {url, QStringLiteral("--run-for=-1")}, "--run-for takes a number of seconds"},
        {kKavaroView, {url, QStringLiteral("--screenshot=a.png")}, "--screenshot needs --run-for"},
        {kKavaroView, {url, QStringLiteral("--offscreen"), QStringLiteral("--screenshot-at=1,x"),
                       QStringLiteral("--screenshot=a.png")}, "--screenshot-at takes seconds"},
        {kKavaroView, {url, QStringLiteral("extra")}, "unexpected argument \"extra\""},
        {kMensiloSetup, {url, QStringLiteral("--mode=3")}, "--mode takes 1 (detection windows) or 2"},
    };
    for (const Case& c : cases) {
        const HostRun run = RunHost(c.program, c.args, Config());
        EXPECT_EQ(run.exitCode, host::kExitBadOption) << c.says;
        ASSERT_EQ(run.errLines.size(), 1) << c.says << ": " << run.errLines.join('|').toStdString();
        EXPECT_TRUE(run.errLines.front().contains(QString::fromLatin1(c.says))) << run.errLines.front().toStdString();
    }
    const HostRun help = RunHost(kMensiloSetup, {QStringLiteral("--help")}, Config());
    EXPECT_EQ(help.exitCode, host::kExitOk);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: mensilo-setup --url URL")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("--mode 1|2")));
}

TEST_F(Hosts, WhatCannotStartIsOneLineWithItsOwnExitCode)
{
    const QString closed = QStringLiteral("--url=http://127.0.0.1:%1/").arg(ClosedPort());
    HostRun run = RunHost(kKavaroView, {closed, QStringLiteral("--offscreen")}, Config());
    EXPECT_EQ(run.exitCode, host::kExitUnreachable);
    ASSERT_EQ(run.errLines.size(), 1);
    EXPECT_TRUE(run.errLines.front().startsWith(QStringLiteral("kavaro-view: cannot reach the camera at http://127.0.0.1:")));

    run = RunHost(kMensiloSetup, {closed, QStringLiteral("--module=/no/such/libMensilo.so")}, Config());
    EXPECT_EQ(run.exitCode, host::kExitNoModule);
    ASSERT_EQ(run.errLines.size(), 1);
    EXPECT_EQ(run.errLines.front(),
              QStringLiteral("mensilo-setup: control module not found (looked for /no/such/libMensilo.so)"));

    // A library that is no control module, at a camera that answers.
    camsim::CamsimProcess camera;
    const QString curl = QString::fromStdString(com::ModulePathOf(reinterpret_cast<const void*>(&curl_easy_init)));
    run = RunHost(kKavaroView, {QStringLiteral("--url=") + QString::fromStdString(camera.BaseUrl()),
                                QStringLiteral("--offscreen"), QStringLiteral("--module=") + curl},
                  Config());
    EXPECT_EQ(run.exitCode, host::kExitNoModule);
    ASSERT_EQ(run.errLines.size(), 1) << run.errLines.join('|').toStdString();
    EXPECT_TRUE(run.errLines.front().endsWith(QStringLiteral("is not a control module (it lacks the entry points)")));
}

TEST_F(Hosts, RegisterTheModuleOnlyWhenItsProgIdDoesNotNameIt)
{
    camsim::CamsimProcess camera;
    const QStringList args = {QStringLiteral("--url=") + QString::fromStdString(camera.BaseUrl()),
                              QStringLiteral("--offscreen"), QStringLiteral("--run-for=0.3")};
    auto registered = [](const HostRun& run) {
        return run.errLines.filter(QStringLiteral("mensilo-setup: registered ")).size();
    };
    HostRun run = RunHost(kMensiloSetup, args, Config());
    ASSERT_EQ(run.exitCode, host::kExitOk) << run.errLines.join('|').toStdString();
    EXPECT_EQ(registered(run), 1);

    registry::SetStorePathForTesting(HostStore());
    const auto clsid = com::ClsidFromProgId("MENSILO.MensiloCtrl.1");
    ASSERT_TRUE(clsid);
    const auto module = com::InprocServerPath(*clsid);
    ASSERT_TRUE(module);
    EXPECT_EQ(*module, std::filesystem::canonical(KV_BINARY_DIR "/lib/libMensilo.so").string());

    run = RunHost(kMensiloSetup, args, Config());
    EXPECT_EQ(run.exitCode, host::kExitOk);
    EXPECT_EQ(registered(run), 0);

    // Registered to another file: the host registers its own module again.
    ASSERT_TRUE(registry::SetString(com::ClassKey(*clsid) + "\\InprocServer32", "", "/elsewhere/libMensilo.so"));
    run = RunHost(kMensiloSetup, args, Config());
    EXPECT_EQ(run.exitCode, host::kExitOk);
    EXPECT_EQ(registered(run), 1);
    EXPECT_EQ(com::InprocServerPath(*clsid), module);
}

TEST_F(Hosts, TheViewerShowsTheCameraAnswersItsPasswordAndReportsWhatItShowed)
{
    camsim::CamsimProcess camera({"--audio", "on", "--user", "admin:secret:control"});
    const QString shot = QString::fromStdString((m_registry.Folder() / "viewer.png").string());
    const HostRun run = RunHost(kKavaroView,
                                {QStringLiteral("--url=") + QString::fromStdString(camera.BaseUrl()),
                                 QStringLiteral("--user=admin"), QStringLiteral("--password=secret"),
                                 QStringLiteral("--offscreen"), QStringLiteral("--run-for=6"),
                                 QStringLiteral("--screenshot=") + shot, QStringLiteral("--screenshot-at=5")},
                                Config());
    ASSERT_EQ(run.exitCode, host::kExitOk) << run.errLines.join('|').toStdString();
    EXPECT_EQ(run.errLines.filter(QStringLiteral("answered the password dialog as \"admin\"")).size(), 1);

    // The report: three lines, pictures drawn at some rate, audio played. (The run is long
    // enough for the password exchange and the stream's start on a busy machine.)
    const QStringList report = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(report.size(), 3) << run.out.toStdString();
    EXPECT_GT(report[0].section(QStringLiteral(": "), 1).toInt(), 0) << report[0].toStdString();
    EXPECT_TRUE(report[1].startsWith(QStringLiteral("pictures per second: ")));
    EXPECT_GT(report[1].section(QStringLiteral(": "), 1).toDouble(), 0.0) << report[1].toStdString();
    EXPECT_TRUE(report[2].startsWith(QStringLiteral("audio frames played: ")));

    for (const QString& file : {shot, host::TimedScreenshotName(shot, 5)}) {
        const QImage image(file);
        ASSERT_FALSE(image.isNull()) << file.toStdString();
        EXPECT_EQ(image.size(), QSize(870, 650));
        // Something of the scene is on the screen: the video area is not one flat colour.
        const QImage video = image.copy(225, 35, 640, 480);
        EXPECT_NE(video.pixel(50, 200), video.pixel(600, 400)) << file.toStdString();
    }
    EXPECT_FALSE(camera.RequestsTo("/img/mjpeg.cgi").empty());
}

TEST_F(Hosts, TheSetupHostRunsEitherModeAndEndsTheSetup)
{
    camsim::CamsimProcess camera;
    for (const char* mode : {"1", "2"}) {
        camera.ClearRequests();
        const QString shot = QString::fromStdString((m_registry.Folder() / (std::string("setup-") + mode + ".png")).string());
        const HostRun run = RunHost(kMensiloSetup,
                                    {QStringLiteral("--url=") + QString::fromStdString(camera.BaseUrl()),
                                     QStringLiteral("--mode=") + QLatin1String(mode), QStringLiteral("--offscreen"),
                                     QStringLiteral("--run-for=4"), QStringLiteral("--screenshot=") + shot},
                                    Config());
        ASSERT_EQ(run.exitCode, host::kExitOk) << run.errLines.join('|').toStdString();
        std::vector<std::string> commands;
        for (const auto& request : camera.RequestsTo("/ocxparser.cgi"))
            commands.push_back(request.body.substr(0, request.body.find('\r')));
        const std::string read = std::string("COMMAND: ") + (mode[0] == '1' ? "MOT_READ_AREA" : "MOT_READ_VIEW");
        ASSERT_FALSE(commands.empty()) << mode;
        EXPECT_EQ(commands.front(), read);
        if (mode[0] == '1') {  // the detection windows end by releasing the camera; the view area sends nothing
            EXPECT_EQ(commands.back(), "COMMAND: MOT_OCX_FREE");
        }
        const QImage image(shot);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(810, 530));
    }
}

TEST(HostOptions, TheViewerGetsTheStreamAddressOfItsKind)
{
    using host::ViewerSourceUrl;
    EXPECT_EQ(ViewerSourceUrl("http://cam:8080", ""), "http://cam:8080/img/mjpeg.cgi");
    EXPECT_EQ(ViewerSourceUrl("http://cam:8080/", "mpeg"), "http://cam:8080/img/video.asf");
    EXPECT_EQ(ViewerSourceUrl("http://cam/img/mjpeg.cgi?x=1", "jpeg"), "http://cam/img/mjpeg.cgi?x=1");
    EXPECT_EQ(host::ViewerCameraAddress("http://cam/img/video.asf", "mpeg"), "http://cam/");
    EXPECT_EQ(host::MotionBaseUrl("http://cam:8080//"), "http://cam:8080");
    EXPECT_EQ(host::TimedScreenshotName("/tmp/shot.png", 2.5), "/tmp/shot-2.5s.png");
    EXPECT_EQ(host::TimedScreenshotName("shot", 3), "./shot-3s.png");
}

class DialogAnswers : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        kvtest::App();
        ModuleTimings().getSettleMs = 10;
        camera = new camsim::CamsimProcess({"--user", "admin:secret:control"});
    }
    static void TearDownTestSuite()
    {
        delete camera;
        camera = nullptr;
        ModuleTimings().ResetToDefaults();
    }

    static QString ProbeUrl() { return QString::fromStdString(camera->Url("command/ptzf.cgi?ptauth")); }
    static inline camsim::CamsimProcess* camera = nullptr;
    QStringList m_notes;
    std::function<void(const QString&)> Notes()
    {
        return [this](const QString& line) { m_notes << line; };
    }
};

TEST_F(DialogAnswers, ThePasswordDialogIsFilledAndTheControlTriesTheCredentialsItself)
{
    host::CDialogAnswerer answerer(QStringLiteral("admin"), QStringLiteral("secret"), true, true, Notes());
    viewer::CPasswordDlg dialog(ProbeUrl(), 1);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_sUser, QStringLiteral("admin"));
    EXPECT_EQ(dialog.m_nFailCount, 0);
    EXPECT_EQ(dialog.m_bControlRight, 1);
    EXPECT_EQ(answerer.PasswordDialogsAnswered(), 1);
    const auto tries = camera->RequestsTo("/command/ptzf.cgi");
    ASSERT_FALSE(tries.empty());
    EXPECT_EQ(tries.back().user, "admin");
    EXPECT_EQ(tries.back().password, "secret");
}

TEST_F(DialogAnswers, WrongCredentialsAreAnsweredUntilTheDialogGivesUp)
{
    host::CDialogAnswerer answerer(QStringLiteral("admin"), QStringLiteral("wrong"), true, true, Notes());
    viewer::CPasswordDlg dialog(ProbeUrl(), 1);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_nFailCount, 3);
    EXPECT_EQ(answerer.PasswordDialogsAnswered(), 3);
}

TEST_F(DialogAnswers, AnUnattendedRunWithoutCredentialsCancelsAndClosesMessageBoxes)
{
    host::CDialogAnswerer answerer({}, {}, false, true, Notes());
    viewer::CPasswordDlg dialog(ProbeUrl(), 1);
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kavaro"), QStringLiteral("Can not connect."), QMessageBox::Ok);
    EXPECT_EQ(box.exec(), QMessageBox::Ok);
    ASSERT_EQ(m_notes.size(), 2);
    EXPECT_TRUE(m_notes[0].contains(QStringLiteral("give --user and --password")));
    EXPECT_EQ(m_notes[1], QStringLiteral("the control said: Can not connect."));
}

TEST_F(DialogAnswers, APersonAnswersWhenTheRunIsAttendedWithoutCredentials)
{
    host::CDialogAnswerer answerer({}, {}, false, false, Notes());
    viewer::CPasswordDlg dialog(ProbeUrl(), 1);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    EXPECT_FALSE(answerer.AnswerActiveDialog());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(m_notes.isEmpty());
}

} // namespace
