// Shared pieces of the widget tests: the application object and a parent window that
// records the messages its children post.
#pragma once

#include <QApplication>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "platform/ui/posted_message.h"

namespace kvtest {

inline QApplication* App()
{
    static QApplication* app = [] {
        static int argc = 1;
        static char name[] = "test_ui";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return app;
}

struct PostedRecord {
    int message;
    std::intptr_t wParam;
    std::intptr_t lParam;
};

class RecordingWindow : public QWidget {
public:
    RecordingWindow() { resize(400, 300); }
    std::vector<PostedRecord> posted;
    std::vector<QPoint> pressesAt;  // mouse presses that reached the window

    int Count(int message) const
    {
        int n = 0;
        for (const auto& r : posted)
            n += r.message == message;
        return n;
    }

protected:
    bool event(QEvent* e) override
    {
        if (auto* m = dynamic_cast<kv::ui::CPostedMessage*>(e)) {
            posted.push_back({m->Message(), m->WParam(), m->LParam()});
            return true;
        }
        return QWidget::event(e);
    }
    void mousePressEvent(QMouseEvent* e) override;
};

} // namespace kvtest
