// The host side of the viewer benchmarks: what a camera page and its browser would be. It
// starts the Qt application (offscreen unless asked otherwise), runs the window thread's
// event loop for a while, reads the command line, and keeps the viewer's log out of the
// user's state folder.
#pragma once

#include <QApplication>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kvbench {

// "--name value" pairs; "--flag" alone reads as "on".
class Args {
public:
    Args(int argc, char** argv);
    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    std::string Text(const std::string& name, const std::string& fallback) const;
    double Number(const std::string& name, double fallback) const;
    // Names given that are not in known: misspelt options.
    std::vector<std::string> Unknown(const std::vector<std::string>& known) const;

private:
    std::map<std::string, std::string> m_values;
};

// Chooses the platform before the application exists: offscreen unless onscreen is asked
// and a display is there. The audio device is the null one unless KAVARO_AUDIO says else.
void PrepareEnvironment(bool onscreen);

// A fresh folder under the temporary directory; the viewer's log goes there too.
std::filesystem::path MakeWorkFolder(const std::string& name);

// Runs the window thread's events for ms milliseconds, as the host's message loop would.
void RunEvents(int ms);
// Runs them until condition holds (checked every checkMs) or timeoutMs pass.
bool RunEventsUntil(const std::function<bool()>& condition, int timeoutMs, int checkMs = 20);

// The window that holds the control, sized to the panel and shown.
std::unique_ptr<QWidget> MakeHostWindow();

// Median, 99th percentile and maximum of a sample (nearest rank); zeros when empty.
struct Spread {
    double median = 0;
    double p99 = 0;
    double max = 0;
};
Spread SpreadOf(std::vector<double> values);

} // namespace kvbench
