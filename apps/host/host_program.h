// What both hosts share: the common options, finding and registering the module, creating
// the control by its ProgID, showing it in a window titled with the camera's address, the
// timed and offscreen runs with their screenshots, answering the control's dialogs, and one
// line on stderr with a non-zero exit when something cannot start.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace kv::host {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitControlRefused = 1;   // the control did not accept the source
inline constexpr int kExitBadOption = 2;
inline constexpr int kExitNoModule = 3;         // module missing, not loadable, not registrable
inline constexpr int kExitUnreachable = 4;      // nothing answers at the camera's address
inline constexpr int kExitOutput = 5;           // a screenshot could not be written

struct CommonOptions {
    QString url;
    QString frameType;
    QString user;
    QString password;
    bool haveCredentials = false;
    bool offscreen = false;
    std::optional<double> runForSeconds;
    QString screenshot;
    std::vector<double> screenshotTimes;  // seconds after the start, ascending
    QString modulePath;                   // empty: look beside the build or the installation
};

// The screenshot written at `seconds` for --screenshot-at: "<stem>-<seconds>s.<suffix>".
QString TimedScreenshotName(const QString& screenshot, double seconds);

class CHostProgram {
public:
    virtual ~CHostProgram() = default;

    // Parses, checks and runs; returns the exit code.
    int Main(int argc, char** argv);

    // Parsing alone (no window system needed), for --help and for tests: nullopt and a
    // one-line message in error when the options are not usable; helpRequested is set for
    // --help.
    std::optional<CommonOptions> ParseOptions(const QStringList& arguments, bool& helpRequested, QString& error);
    QString HelpText() const;

protected:
    // The host's name, module file, ProgID and one-line description.
    virtual const char* ProgramName() const = 0;
    virtual const char* ModuleFileName() const = 0;
    virtual const char* ProgId() const = 0;
    virtual const char* Description() const = 0;
    // Options of its own (besides the common ones) and reading them; false with a message
    // when one is not usable.
    virtual QList<QCommandLineOption> OwnOptions() const = 0;
    virtual bool ReadOptions(const QCommandLineParser& parser, CommonOptions& common, QString& error) = 0;
    // The address a connection is tried to before the control is made, and the one shown
    // in the window's title.
    virtual QString ProbeUrl(const CommonOptions& options) const = 0;
    virtual QString CameraAddress(const CommonOptions& options) const = 0;
    // Drives the control's automation methods; false with a message when the control
    // refused.
    virtual bool Start(QWidget* control, const CommonOptions& options, QString& error) = 0;
    // Called at the end of a timed run, before the control is stopped: a report, if any.
    virtual void Report(QWidget* control, double seconds) { (void)control; (void)seconds; }
    // Called once a while during a run (sampling for the report).
    virtual void Sample(QWidget* control, double seconds) { (void)control; (void)seconds; }
    // Ends what Start began (StopPlay).
    virtual void Stop(QWidget* control) = 0;

    void Fail(const QString& message) const;  // "<program>: <message>" on stderr
    void Note(const QString& message) const;

private:
    int Run(const CommonOptions& options, const std::string& module);
};

} // namespace kv::host
