// Pieces shared by the command tests: acting on modal windows as a user would, and
// opening a saved picture as another program would.
#pragma once

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "ximage.h"

namespace kvtest {

// Acts on the next modal window that opens (a message box, a dialog), from the event loop
// that runs it.
inline void OnNextModal(std::function<void(QWidget*)> act, QWidget* notThis = nullptr)
{
    // Each look schedules the next one itself; a function that held itself would never be
    // freed.
    QTimer::singleShot(10, [act = std::move(act), notThis]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != notThis)
            act(modal);
        else
            OnNextModal(std::move(act), notThis);
    });
}

// Opens the file as another program would: ImageMagick's identify when installed,
// otherwise our own decoder. Gives "WIDTHxHEIGHT FORMAT".
inline std::string Identify(const QString& path)
{
    const QString identify = QStandardPaths::findExecutable(QStringLiteral("identify"));
    if (!identify.isEmpty()) {
        QProcess p;
        p.start(identify, {QStringLiteral("-format"), QStringLiteral("%wx%h %m"), path});
        if (p.waitForFinished(20000) && p.exitCode() == 0)
            return p.readAllStandardOutput().trimmed().toStdString();
        return "identify failed";
    }
    CxImage image;
    if (!image.Decode(QFile::encodeName(path).constData(), CXIMAGE_FORMAT_UNKNOWN))
        return "undecodable";
    return std::to_string(image.GetWidth()) + "x" + std::to_string(image.GetHeight()) +
           (image.GetType() == CXIMAGE_FORMAT_JPG ? " JPEG" : " BMP");
}

} // namespace kvtest
