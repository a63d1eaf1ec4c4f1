// Where a captured picture goes and in which format: the save dialog's filters, and the
// rule that a name typed without extension gets the selected filter's one. A name that has
// an extension keeps it, and the selected filter alone decides the format.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

namespace kv::viewer {

inline constexpr const char kCaptureSaveTitle[] = "Save picture as a Bitmap (BMP/JPG) file";
inline constexpr const char kBmpFilter[] = "BMP File (*.bmp)";
inline constexpr const char kJpgFilter[] = "JPG File (*.jpg)";

enum CaptureFilter : int { kFilterBmp = 0, kFilterJpg = 1 };

struct ChosenFile {
    QString path;
    int filterIndex = kFilterBmp;
};

struct CaptureTarget {
    QString path;
    std::uint32_t format = 0;  // CxImage format code: 1 BMP, 2 JPEG
};

// Path and format for what the save dialog returned.
CaptureTarget ResolveCaptureTarget(const ChosenFile& chosen);

// Asks where to save; nothing when cancelled. Tests replace it.
using CaptureFileChooser = std::function<std::optional<ChosenFile>(QWidget* parent)>;

// The file-save dialog: the two filters, the title, no initial name, overwrite question on.
// The selected filter's extension is the dialog's default suffix, so the overwrite question
// asks about the name that will really be written.
std::optional<ChosenFile> ChooseCaptureFile(QWidget* parent);

} // namespace kv::viewer
