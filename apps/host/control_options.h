// The hosts' own options: the rest of each control's SetSource arguments.
#pragma once

#include "host/host_program.h"

#include <QCommandLineParser>
#include <QString>

namespace kv::host {

struct ViewerOptions {
    QString sourceUrl;      // what SetSource gets: the address with the stream path of the kind
    QString cameraAddress;  // the address without the stream path (the window's title)
    QString panTilt;
    QString frameRate;
    int color = 1;
    int language = 1;
};

QList<QCommandLineOption> ViewerOptionList();
bool ReadViewerOptions(const QCommandLineParser& parser, const CommonOptions& common, ViewerOptions& viewer,
                       QString& error);

// The camera page passes the stream's address ("http://cam/img/mjpeg.cgi"); a plain camera
// address gets the stream path of the kind appended.
QString ViewerSourceUrl(const QString& url, const QString& frameType);
QString ViewerCameraAddress(const QString& sourceUrl, const QString& frameType);

// The motion host's mode option.
bool ParseMode(const QString& text, short& mode);
// The base address the motion control appends its paths to: no trailing "/".
QString MotionBaseUrl(const QString& url);

} // namespace kv::host
