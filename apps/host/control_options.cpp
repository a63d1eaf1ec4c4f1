#include "host/control_options.h"

namespace kv::host {

namespace {

QString StreamPath(const QString& frameType)
{
    return frameType == QLatin1String("mpeg") ? QStringLiteral("img/video.asf") : QStringLiteral("img/mjpeg.cgi");
}

bool ParseInt(const QString& text, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}

} // namespace

QList<QCommandLineOption> ViewerOptionList()
{
    return {
        {QStringLiteral("pan-tilt"), QStringLiteral("\"on\" offers the camera-control buttons"), QStringLiteral("on|off")},
        {QStringLiteral("frame-rate"), QStringLiteral("pictures a second asked of a Motion-JPEG camera, or \"Fast\""),
         QStringLiteral("RATE")},
        {QStringLiteral("color"), QStringLiteral("colour scheme 1 to 3 (default 1)"), QStringLiteral("N")},
        {QStringLiteral("language"), QStringLiteral("1 to 3 take the texts of the string table (default 1)"),
         QStringLiteral("N")},
    };
}

bool ReadViewerOptions(const QCommandLineParser& parser, const CommonOptions& common, ViewerOptions& viewer,
                       QString& error)
{
    viewer.sourceUrl = ViewerSourceUrl(common.url, common.frameType);
    viewer.cameraAddress = ViewerCameraAddress(viewer.sourceUrl, common.frameType);
    viewer.panTilt = parser.value(QStringLiteral("pan-tilt"));
    viewer.frameRate = parser.value(QStringLiteral("frame-rate"));
    for (auto [name, target] : {std::pair{"color", &viewer.color}, std::pair{"language", &viewer.language}}) {
        const QString option = QString::fromLatin1(name);
        if (parser.isSet(option) && !ParseInt(parser.value(option), *target)) {
            error = QStringLiteral("--%1 takes a whole number, not \"%2\"").arg(option, parser.value(option));
            return false;
        }
    }
    return true;
}

QString ViewerSourceUrl(const QString& url, const QString& frameType)
{
    const QString path = StreamPath(frameType);
    if (url.contains(path))
        return url;
    return url.endsWith(QLatin1Char('/')) ? url + path : url + QLatin1Char('/') + path;
}

QString ViewerCameraAddress(const QString& sourceUrl, const QString& frameType)
{
    const qsizetype at = sourceUrl.indexOf(StreamPath(frameType));
    return at < 0 ? sourceUrl : sourceUrl.left(at);
}

bool ParseMode(const QString& text, short& mode)
{
    if (text == QLatin1String("1") || text == QLatin1String("2")) {
        mode = static_cast<short>(text.toInt());
        return true;
    }
    return false;
}

QString MotionBaseUrl(const QString& url)
{
    QString base = url;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

} // namespace kv::host
