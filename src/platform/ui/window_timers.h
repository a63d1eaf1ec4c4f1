// Window timers keyed by number, as a window's timers are: starting an id that runs
// already restarts it with the new interval, and every tick calls the owner with the id.
#pragma once

#include <QObject>

#include <functional>
#include <map>

class QTimer;

namespace kv::ui {

class CWindowTimers : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(int id)>;

    explicit CWindowTimers(QObject* owner, Handler onTimer = {});
    ~CWindowTimers() override;

    void SetHandler(Handler onTimer) { m_onTimer = std::move(onTimer); }
    void SetTimer(int id, int intervalMs);
    bool KillTimer(int id);  // false when no timer of that id ran
    bool IsRunning(int id) const;
    void KillAll();

private:
    Handler m_onTimer;
    std::map<int, QTimer*> m_timers;
};

} // namespace kv::ui
