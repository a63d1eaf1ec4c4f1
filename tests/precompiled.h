// Headers that nearly every test file parses, compiled once for all test programs. Parsing
// GoogleTest and the Qt widget headers again for each file was most of a clean build.
// QTest stays out: its headers depend on a per-program build directory macro, which would
// make the one compiled copy unusable for every program but one.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if defined(QT_WIDGETS_LIB)
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#endif
