#include "control_test_support.h"

#include "core/timings.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QDialog>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <atomic>

namespace kvtest {

QApplication* App()
{
    static QApplication* app = [] {
        static int argc = 1;
        static char name[] = "test_control";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return app;
}

ScratchRegistry::ScratchRegistry()
{
    static std::atomic<int> serial{0};
    m_dir = std::filesystem::temp_directory_path() /
            ("kv-control-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
    kv::registry::SetStorePathForTesting(StorePath());
}

ScratchRegistry::~ScratchRegistry()
{
    kv::registry::SetStorePathForTesting({});
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

ModalSeen ReadModalDialog(const std::function<void()>& open)
{
    ModalSeen seen;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen.title = dialog->windowTitle();
        for (QLabel* label : dialog->findChildren<QLabel*>())
            if (!label->text().isEmpty())
                seen.texts << label->text();
        dialog->accept();
    });
    open();
    return seen;
}

void ShortenTimings()
{
    kv::Timings& t = kv::ModuleTimings();
    t.openSettleMs = 10;
    t.connectSettleMs = 10;
    t.stopSleepMs = 20;
    t.getSettleMs = 0;
    t.getWatchdogMs = 3000;
    t.consumerStopMs = 1000;
    t.playerStopMs = 5000;
    t.panelStopSleepMs = 10;
    t.viewSizeSleepMs = 0;
    t.motionStopSleepMs = 5;
    t.motionRestartSleepMs = 5;
    t.motionReloadSleepMs = 5;
    t.snapshotSleepMs = 5;
}

std::vector<std::string> AllKeysBelow(const std::string& root)
{
    std::vector<std::string> keys;
    std::vector<std::string> pending{root};
    while (!pending.empty()) {
        const std::string key = pending.back();
        pending.pop_back();
        for (const std::string& child : kv::registry::SubKeys(key)) {
            keys.push_back(key + "\\" + child);
            pending.push_back(key + "\\" + child);
        }
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

} // namespace kvtest
