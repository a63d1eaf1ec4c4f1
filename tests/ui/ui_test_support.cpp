#include "ui_test_support.h"

#include <QMouseEvent>

namespace kvtest {

void RecordingWindow::mousePressEvent(QMouseEvent* e)
{
    pressesAt.push_back(e->position().toPoint());
}

} // namespace kvtest

// The font library keeps a few caches for the life of the process, which the leak checker
// of sanitizer builds would report; they are not ours.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
