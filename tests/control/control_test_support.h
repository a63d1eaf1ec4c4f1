// Shared pieces of the control tests: the application object and a scratch registry.
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>

#include <functional>

#include <filesystem>
#include <string>
#include <vector>

namespace kvtest {

QApplication* App();

// Points the registry at an empty file of its own for the lifetime of the object.
class ScratchRegistry {
public:
    ScratchRegistry();
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    const std::filesystem::path& Folder() const { return m_dir; }
    std::string StorePath() const { return (m_dir / "registry.reg").string(); }

private:
    std::filesystem::path m_dir;
};

// What a modal dialog showed: its title and the texts of its labels.
struct ModalSeen {
    QString title;
    QStringList texts;
};
// Runs open, which shows a modal dialog; reads the dialog once it is up and closes it.
ModalSeen ReadModalDialog(const std::function<void()>& open);

// Waits short enough for tests against the camera emulator (restored with
// kv::ModuleTimings().ResetToDefaults()).
void ShortenTimings();

// Every key below root, with its full path, in sorted order.
std::vector<std::string> AllKeysBelow(const std::string& root);

} // namespace kvtest
