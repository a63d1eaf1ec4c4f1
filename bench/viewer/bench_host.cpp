#include "bench_host.h"

#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "stream/debug_log.h"
#include "viewer/panel/viewer_panel.h"

namespace kvbench {

Args::Args(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name.rfind("--", 0) != 0)
            continue;
        name = name.substr(2);
        if (i + 1 < argc && std::string(argv[i + 1]).rfind("--", 0) != 0)
            m_values[name] = argv[++i];
        else
            m_values[name] = "on";
    }
}

std::string Args::Text(const std::string& name, const std::string& fallback) const
{
    const auto it = m_values.find(name);
    return it == m_values.end() ? fallback : it->second;
}

double Args::Number(const std::string& name, double fallback) const
{
    const auto it = m_values.find(name);
    if (it == m_values.end())
        return fallback;
    char* end = nullptr;
    const double value = std::strtod(it->second.c_str(), &end);
    return end && *end == '\0' ? value : fallback;
}

std::vector<std::string> Args::Unknown(const std::vector<std::string>& known) const
{
    std::vector<std::string> unknown;
    for (const auto& [name, value] : m_values)
        if (std::find(known.begin(), known.end(), name) == known.end())
            unknown.push_back(name);
    return unknown;
}

void PrepareEnvironment(bool onscreen)
{
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!onscreen || ((!display || !*display) && (!wayland || !*wayland)))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("KAVARO_AUDIO", "null", 0);
}

std::filesystem::path MakeWorkFolder(const std::string& name)
{
    const auto folder = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    kv::SetLogPath((folder / "errlog.txt").string());
    return folder;
}

void RunEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(std::max(ms, 0), &loop, &QEventLoop::quit);
    loop.exec();
}

bool RunEventsUntil(const std::function<bool()>& condition, int timeoutMs, int checkMs)
{
    if (condition())
        return true;
    QEventLoop loop;
    bool met = false;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition()) {
            met = true;
            loop.quit();
        }
    });
    check.start(checkMs);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return met || condition();
}

std::unique_ptr<QWidget> MakeHostWindow()
{
    auto host = std::make_unique<QWidget>();
    host->resize(kv::viewer::CViewerPanel::kWidth, kv::viewer::CViewerPanel::kHeight);
    host->show();
    return host;
}

Spread SpreadOf(std::vector<double> values)
{
    Spread spread;
    if (values.empty())
        return spread;
    std::sort(values.begin(), values.end());
    auto rank = [&](double share) {
        const auto index = static_cast<std::size_t>(std::ceil(share * static_cast<double>(values.size())));
        return values[std::clamp<std::size_t>(index, 1, values.size()) - 1];
    };
    spread.median = rank(0.5);
    spread.p99 = rank(0.99);
    spread.max = values.back();
    return spread;
}

} // namespace kvbench
