#include "ui_test_support.h"

#include <QMouseEvent>

namespace kvtest {

void RecordingWindow::mousePressEvent(QMouseEvent* e)
{
    pressesAt.push_back(e->position().toPoint());
}

} // namespace kvtest

