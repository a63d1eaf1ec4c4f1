#include "host/host_program.h"

#include "host/camera_probe.h"
#include "host/dialog_answerer.h"
#include "host/module_locator.h"
#include "platform/com/inproc_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace kv::host {

namespace {

constexpr int kProbeTimeoutMs = 5000;
constexpr int kSampleIntervalMs = 200;
constexpr double kDefaultOffscreenSeconds = 10.0;

std::string ProgramDir()
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

bool ParseSeconds(const QString& text, double& seconds)
{
    bool ok = false;
    seconds = text.toDouble(&ok);
    return ok && seconds > 0 && seconds < 1e6;
}

bool HaveDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

} // namespace

QString TimedScreenshotName(const QString& screenshot, double seconds)
{
    const QFileInfo info(screenshot);
    const QString suffix = info.suffix().isEmpty() ? QStringLiteral("png") : info.suffix();
    const QString stem = info.path() + QLatin1Char('/') + info.completeBaseName();
    return QStringLiteral("%1-%2s.%3").arg(stem, QString::number(seconds, 'g', 6), suffix);
}

void CHostProgram::Fail(const QString& message) const
{
    std::fprintf(stderr, "%s: %s\n", ProgramName(), message.toLocal8Bit().constData());
}

void CHostProgram::Note(const QString& message) const
{
    std::fprintf(stderr, "%s: %s\n", ProgramName(), message.toLocal8Bit().constData());
}

QString CHostProgram::HelpText() const
{
    QString own;
    for (const QCommandLineOption& option : OwnOptions())
        own += QStringLiteral("  --%1 %2\n      %3\n").arg(option.names().first(), option.valueName(), option.description());
    return QStringLiteral(
               "Usage: %1 --url URL [options]\n"
               "%2\n\n"
               "Options of the control:\n%3\n"
               "Common options:\n"
               "  --url URL\n      the camera's address (http:// or https://)\n"
               "  --frame-type KIND\n      \"mpeg\" for MPEG-4, anything else for Motion-JPEG\n"
               "  --user NAME, --password PASSWORD\n"
               "      answer the control's password dialog with these (the control still asks\n"
               "      the camera itself); without them a person answers it\n"
               "  --offscreen\n      run without a display (Qt's offscreen platform, audio to the null device)\n"
               "  --run-for SECONDS\n      end after this long (default with --offscreen: %4)\n"
               "  --screenshot FILE\n      save what the window shows at the end of the run (PNG)\n"
               "  --screenshot-at T1,T2,...\n      also save FILE-<T>s.png at these seconds after the start\n"
               "  --module PATH\n      use this module file instead of the one beside the build or the installation\n"
               "  --help\n      this text\n\n"
               "Exit codes: 0 done, 1 the control refused the source, 2 bad option, 3 module\n"
               "missing or not registrable, 4 camera unreachable, 5 screenshot not written.\n")
        .arg(QString::fromLatin1(ProgramName()), QString::fromLatin1(Description()), own)
        .arg(kDefaultOffscreenSeconds);
}

std::optional<CommonOptions> CHostProgram::ParseOptions(const QStringList& arguments, bool& helpRequested,
                                                        QString& error)
{
    helpRequested = false;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption url(QStringLiteral("url"), {}, QStringLiteral("URL"));
    const QCommandLineOption frameType(QStringLiteral("frame-type"), {}, QStringLiteral("KIND"));
    const QCommandLineOption user(QStringLiteral("user"), {}, QStringLiteral("NAME"));
    const QCommandLineOption password(QStringLiteral("password"), {}, QStringLiteral("PASSWORD"));
    const QCommandLineOption offscreen(QStringLiteral("offscreen"));
    const QCommandLineOption runFor(QStringLiteral("run-for"), {}, QStringLiteral("SECONDS"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"), {}, QStringLiteral("FILE"));
    const QCommandLineOption screenshotAt(QStringLiteral("screenshot-at"), {}, QStringLiteral("TIMES"));
    const QCommandLineOption module(QStringLiteral("module"), {}, QStringLiteral("PATH"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    parser.addOptions({url, frameType, user, password, offscreen, runFor, screenshot, screenshotAt, module, help});
    parser.addOptions(OwnOptions());

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        helpRequested = true;
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return std::nullopt;
    }

    CommonOptions o;
    o.url = parser.value(url).trimmed();
    if (o.url.isEmpty()) {
        error = QStringLiteral("--url is missing (the camera's address)");
        return std::nullopt;
    }
    if (!o.url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
        !o.url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        error = QStringLiteral("--url must be an http:// or https:// address, not \"%1\"").arg(o.url);
        return std::nullopt;
    }
    o.frameType = parser.value(frameType);
    o.haveCredentials = parser.isSet(user) || parser.isSet(password);
    o.user = parser.value(user);
    o.password = parser.value(password);
    o.offscreen = parser.isSet(offscreen);
    if (parser.isSet(runFor)) {
        double seconds = 0;
        if (!ParseSeconds(parser.value(runFor), seconds)) {
            error = QStringLiteral("--run-for takes a number of seconds above 0, not \"%1\"").arg(parser.value(runFor));
            return std::nullopt;
        }
        o.runForSeconds = seconds;
    } else if (o.offscreen) {
        o.runForSeconds = kDefaultOffscreenSeconds;
    }
    o.screenshot = parser.value(screenshot);
    if (parser.isSet(screenshotAt)) {
        for (const QString& item : parser.value(screenshotAt).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            double seconds = 0;
            if (!ParseSeconds(item.trimmed(), seconds)) {
                error = QStringLiteral("--screenshot-at takes seconds above 0 separated by commas, not \"%1\"")
                            .arg(parser.value(screenshotAt));
                return std::nullopt;
            }
            o.screenshotTimes.push_back(seconds);
        }
        std::sort(o.screenshotTimes.begin(), o.screenshotTimes.end());
        if (o.screenshot.isEmpty()) {
            error = QStringLiteral("--screenshot-at needs --screenshot FILE to name the pictures");
            return std::nullopt;
        }
    }
    if (!o.screenshot.isEmpty() && !o.runForSeconds) {
        error = QStringLiteral("--screenshot needs --run-for (or --offscreen) to know when the run ends");
        return std::nullopt;
    }
    o.modulePath = parser.value(module);
    if (!ReadOptions(parser, o, error))
        return std::nullopt;
    return o;
}

int CHostProgram::Main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    bool helpRequested = false;
    QString error;
    const auto options = ParseOptions(arguments, helpRequested, error);
    if (helpRequested) {
        std::fputs(HelpText().toLocal8Bit().constData(), stdout);
        return kExitOk;
    }
    if (!options) {
        Fail(error);
        return kExitBadOption;
    }
    if (options->offscreen) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // No sound card either, as a rule: the audio still plays, into the null device.
        if (qEnvironmentVariableIsEmpty("KAVARO_AUDIO"))
            qputenv("KAVARO_AUDIO", "null");
    } else if (!HaveDisplay()) {
        Fail(QStringLiteral("no display to show the control on (use --offscreen)"));
        return kExitBadOption;
    }

    // What can be checked without the window system comes first, so a failure is one line.
    const std::string programDir = ProgramDir();
    const std::string module = FindModule(programDir, ModuleFileName(), options->modulePath.toStdString());
    if (module.empty()) {
        const auto places = options->modulePath.isEmpty() ? ModuleCandidates(programDir, ModuleFileName())
                                                          : std::vector<std::string>{options->modulePath.toStdString()};
        QString where;
        for (const std::string& place : places)
            where += (where.isEmpty() ? "" : ", ") + QString::fromStdString(place);
        Fail(QStringLiteral("control module not found (looked for %1)").arg(where));
        return kExitNoModule;
    }

    std::string why;
    const QString probe = ProbeUrl(*options);
    if (!CameraReachable(probe.toStdString(), kProbeTimeoutMs, why)) {
        Fail(QStringLiteral("cannot reach the camera at %1: %2").arg(probe, QString::fromStdString(why)));
        return kExitUnreachable;
    }

    QApplication app(argc, argv);
    return Run(*options, module);
}

int CHostProgram::Run(const CommonOptions& options, const std::string& module)
{
    std::string why;
    // Registration, when the ProgID is not registered or names another file.
    std::unique_ptr<com::CInprocServer> registering;
    if (!com::IsRegisteredTo(ProgId(), module)) {
        registering = com::CInprocServer::Load(module, why);
        if (!registering) {
            Fail(QString::fromStdString(why));
            return kExitNoModule;
        }
        const com::HRESULT hr = registering->RegisterServer();
        if (com::Failed(hr) || !com::IsRegisteredTo(ProgId(), module)) {
            Fail(QStringLiteral("registering %1 failed (%2)")
                     .arg(QString::fromStdString(module), QString::fromStdString(com::HresultText(hr))));
            return kExitNoModule;
        }
        Note(QStringLiteral("registered %1 for %2").arg(QString::fromStdString(module), QString::fromLatin1(ProgId())));
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("%1 - %2").arg(QString::fromLatin1(ProgramName()), CameraAddress(options)));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto instance = com::CreateControlByProgId(ProgId(), &window, why);
    registering.reset();
    if (!instance) {
        Fail(QString::fromStdString(why));
        return kExitNoModule;
    }
    QWidget* control = instance->Widget();
    layout->addWidget(control);
    window.resize(control->sizeHint());
    window.show();  // the control gets its window here, and creates its face

    const bool unattended = options.offscreen;
    CDialogAnswerer answerer(options.user, options.password, options.haveCredentials, unattended,
                             [this](const QString& line) { Note(line); });

    int exitCode = kExitOk;
    bool stopped = false;
    QElapsedTimer clock;
    auto finish = [&](int code) {
        if (!stopped && code == kExitOk && !options.screenshot.isEmpty() &&
            !window.grab().save(options.screenshot)) {
            Fail(QStringLiteral("cannot write the screenshot %1").arg(options.screenshot));
            code = kExitOutput;
        }
        if (!stopped) {
            stopped = true;
            if (code == kExitOk && options.runForSeconds)
                Report(control, clock.elapsed() / 1000.0);
            Stop(control);
        }
        exitCode = code;
        QApplication::exit(code);
    };

    QTimer::singleShot(0, &window, [&] {
        clock.start();
        QString refused;
        if (!Start(control, options, refused)) {
            Fail(refused);
            finish(kExitControlRefused);
        }
    });
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &window, [&] { Sample(control, clock.elapsed() / 1000.0); });
    sampler.start(kSampleIntervalMs);
    if (options.runForSeconds)
        QTimer::singleShot(static_cast<int>(*options.runForSeconds * 1000), &window, [&] { finish(kExitOk); });
    for (double at : options.screenshotTimes) {
        QTimer::singleShot(static_cast<int>(at * 1000), &window, [&, at] {
            const QString name = TimedScreenshotName(options.screenshot, at);
            if (!window.grab().save(name))
                Fail(QStringLiteral("cannot write the screenshot %1").arg(name));
        });
    }

    QApplication::exec();
    if (!stopped) {  // the window was closed
        stopped = true;
        Stop(control);
    }
    sampler.stop();
    instance.reset();  // the control, then its module
    return exitCode;
}

} // namespace kv::host
