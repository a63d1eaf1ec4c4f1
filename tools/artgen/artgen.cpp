// Draws the viewer's artwork: panel buttons, speaker, slider track and thumbs, pan/tilt pad
// buttons, the control icon, the two cursors, the three banners and the toolbox bitmap, in
// the three colour schemes, at the numbers and sizes the viewer looks them up by.
//
// Usage: artgen REPO_ROOT
// Writes REPO_ROOT/src/viewer/resources/art/..., REPO_ROOT/src/viewer/resources/kavaro_viewer.qrc
// and REPO_ROOT/docs/artwork-sheet.png.
//
// Button bitmaps are 8-bit with a palette and use magenta (255, 0, 255) as the colour
// that shows the background; the slider pictures are 24-bit.
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <QtMath>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const QColor kKey(255, 0, 255);

struct Scheme {
    QColor background;
    QColor text;
    QColor faceTop, faceBottom, border, ink;           // normal
    QColor hoverTop, hoverBottom, hoverBorder, hoverInk;  // hovered or pressed
    QColor groove, wedge, thumbA, thumbB, thumbActive;
};

const Scheme kSchemes[3] = {
    {QColor(230, 232, 237), QColor(60, 92, 156), QColor(255, 255, 255), QColor(203, 211, 228),
     QColor(120, 140, 180), QColor(60, 92, 156), QColor(255, 246, 220), QColor(250, 214, 150),
     QColor(214, 128, 30), QColor(150, 70, 10), QColor(150, 160, 185), QColor(60, 92, 156),
     QColor(250, 250, 252), QColor(170, 182, 210), QColor(250, 200, 120)},
    {QColor(75, 110, 182), QColor(235, 235, 235), QColor(118, 152, 216), QColor(58, 90, 160),
     QColor(200, 214, 240), QColor(245, 245, 245), QColor(150, 190, 250), QColor(80, 125, 210),
     QColor(255, 214, 90), QColor(255, 236, 140), QColor(40, 62, 110), QColor(220, 230, 250),
     QColor(240, 244, 252), QColor(150, 170, 215), QColor(255, 220, 120)},
    {QColor(38, 38, 38), QColor(235, 235, 235), QColor(88, 88, 88), QColor(50, 50, 50),
     QColor(120, 120, 120), QColor(225, 225, 225), QColor(104, 96, 84), QColor(60, 54, 46),
     QColor(255, 168, 40), QColor(255, 196, 80), QColor(16, 16, 16), QColor(200, 200, 200),
     QColor(200, 200, 200), QColor(110, 110, 110), QColor(255, 180, 60)},
};

enum class Depth { Bits4, Bits8, Bits24, Png, Jpeg };

struct Output {
    QString kind;  // bitmap, image, cursor
    int id;
    QString file;  // relative to src/viewer/resources
    QImage picture;
    int scheme;    // 0 for scheme-independent
    QString label;
};

std::vector<Output> g_outputs;
std::set<int> g_bitmapIds;

// ---------------------------------------------------------------- BMP writing

void Put16(std::vector<unsigned char>& b, int v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); }
void Put32(std::vector<unsigned char>& b, unsigned v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back((v >> (8 * i)) & 0xFF);
}

// Reduces colours until at most maxColours remain: precision per channel drops one bit at a
// time, except for the key colour, which must stay exact.
std::vector<QRgb> Palette(const QImage& img, int maxColours, std::map<QRgb, int>& index, int& shift)
{
    for (shift = 0; shift <= 7; ++shift) {
        std::set<QRgb> colours;
        const unsigned mask = (0xFFu << shift) & 0xFFu;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                QRgb c = img.pixel(x, y) & 0xFFFFFF;
                if (c != (kKey.rgb() & 0xFFFFFF))
                    c = ((qRed(c) & mask) << 16) | ((qGreen(c) & mask) << 8) | (qBlue(c) & mask);
                colours.insert(c);
            }
        if (static_cast<int>(colours.size()) <= maxColours) {
            std::vector<QRgb> pal(colours.begin(), colours.end());
            index.clear();
            for (int i = 0; i < static_cast<int>(pal.size()); ++i)
                index[pal[i]] = i;
            return pal;
        }
    }
    return {};
}

QByteArray WriteBmp(const QImage& source, Depth depth)
{
    const QImage img = source.convertToFormat(QImage::Format_RGB32);
    const int w = img.width(), h = img.height();
    const int bits = depth == Depth::Bits4 ? 4 : depth == Depth::Bits8 ? 8 : 24;
    std::map<QRgb, int> index;
    int shift = 0;
    std::vector<QRgb> pal;
    if (bits < 24) {
        pal = Palette(img, 1 << bits, index, shift);
        pal.resize(1u << bits, 0);
    }
    const int stride = ((w * bits + 31) / 32) * 4;
    const unsigned paletteBytes = bits < 24 ? (1u << bits) * 4 : 0;
    const unsigned offset = 14 + 40 + paletteBytes;
    std::vector<unsigned char> b;
    b.push_back('B');
    b.push_back('M');
    Put32(b, offset + stride * h);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, w);
    Put32(b, h);
    Put16(b, 1);
    Put16(b, bits);
    Put32(b, 0);
    Put32(b, stride * h);
    Put32(b, 3780);
    Put32(b, 3780);
    Put32(b, bits < 24 ? (1u << bits) : 0);
    Put32(b, 0);
    for (QRgb c : pal) {
        b.push_back(qBlue(c));
        b.push_back(qGreen(c));
        b.push_back(qRed(c));
        b.push_back(0);
    }
    const unsigned mask = (0xFFu << shift) & 0xFFu;
    for (int y = h - 1; y >= 0; --y) {
        std::vector<unsigned char> row(stride, 0);
        for (int x = 0; x < w; ++x) {
            QRgb c = img.pixel(x, y) & 0xFFFFFF;
            if (bits == 24) {
                row[3 * x] = qBlue(c);
                row[3 * x + 1] = qGreen(c);
                row[3 * x + 2] = qRed(c);
                continue;
            }
            if (c != (kKey.rgb() & 0xFFFFFF))
                c = ((qRed(c) & mask) << 16) | ((qGreen(c) & mask) << 8) | (qBlue(c) & mask);
            const int i = index[c];
            if (bits == 8)
                row[x] = static_cast<unsigned char>(i);
            else
                row[x / 2] |= static_cast<unsigned char>(x % 2 == 0 ? i << 4 : i);
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}

// ---------------------------------------------------------------- drawing helpers

// A tile: rounded face with a vertical gradient; pixels outside the shape get the key.
QImage Tile(int w, int h, const Scheme& s, bool hover, double radius,
            const std::function<void(QPainter&, QRectF, QColor)>& icon)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(s.background);
    QPainterPath shape;
    const QRectF r(0.5, 0.5, w - 1.0, h - 1.0);
    shape.addRoundedRect(r, radius, radius);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, hover ? s.hoverTop : s.faceTop);
        g.setColorAt(1, hover ? s.hoverBottom : s.faceBottom);
        p.setPen(QPen(hover ? s.hoverBorder : s.border, hover ? 1.6 : 1.0));
        p.setBrush(g);
        p.drawPath(shape);
        if (hover) {
            // a soft inner glow so the hover state reads at a glance
            p.setPen(QPen(QColor(255, 255, 255, 90), 1.0));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1, radius - 1);
        }
        icon(p, r.adjusted(3, 3, -3, -3), hover ? s.hoverInk : s.ink);
    }
    // Everything the shape does not touch becomes the key colour.
    QImage coverage(w, h, QImage::Format_ARGB32);
    coverage.fill(Qt::transparent);
    {
        QPainter p(&coverage);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 1.6));
        p.setBrush(Qt::black);
        p.drawPath(shape);
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (qAlpha(coverage.pixel(x, y)) == 0)
                img.setPixel(x, y, kKey.rgb());
    return img;
}

QPen InkPen(QColor c, double width) { return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

void Magnifier(QPainter& p, QRectF r, QColor ink, bool plus)
{
    const double side = std::min(r.width(), r.height());
    const QPointF c(r.center().x() - side * 0.12, r.center().y() - side * 0.12);
    const double rad = side * 0.30;
    p.setPen(InkPen(ink, 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, rad, rad);
    p.setPen(InkPen(ink, 3.6));
    const QPointF a(c.x() + rad * 0.72, c.y() + rad * 0.72);
    p.drawLine(a, QPointF(c.x() + rad * 1.75, c.y() + rad * 1.75));
    if (plus) {
        p.setPen(InkPen(ink, 1.8));
        p.drawLine(QPointF(c.x() - rad * 0.5, c.y()), QPointF(c.x() + rad * 0.5, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - rad * 0.5), QPointF(c.x(), c.y() + rad * 0.5));
    }
}

void Camera(QPainter& p, QRectF r, QColor ink)
{
    const QRectF body(r.left() + 2, r.top() + r.height() * 0.30, r.width() - 4, r.height() * 0.58);
    p.setPen(InkPen(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body, 2.5, 2.5);
    QPainterPath hump;
    hump.moveTo(body.left() + body.width() * 0.30, body.top());
    hump.lineTo(body.left() + body.width() * 0.38, body.top() - r.height() * 0.14);
    hump.lineTo(body.left() + body.width() * 0.62, body.top() - r.height() * 0.14);
    hump.lineTo(body.left() + body.width() * 0.70, body.top());
    p.drawPath(hump);
    const QPointF lens = body.center() + QPointF(0, 0.5);
    const double rad = body.height() * 0.32;
    p.drawEllipse(lens, rad, rad);
    p.setBrush(ink);
    p.drawEllipse(lens, rad * 0.45, rad * 0.45);
    p.drawRect(QRectF(body.right() - 5, body.top() + 2, 2.5, 2));
}

void Joystick(QPainter& p, QRectF r, QColor ink)
{
    const QPointF base(r.center().x(), r.bottom() - 3);
    p.setPen(InkPen(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(base.x() - r.width() * 0.34, base.y() - 3, r.width() * 0.68, 5), 2, 2);
    p.setPen(InkPen(ink, 2.4));
    const QPointF top(r.center().x() + 2, r.top() + r.height() * 0.28);
    p.drawLine(QPointF(base.x(), base.y() - 3), top);
    p.setBrush(ink);
    p.setPen(InkPen(ink, 1.0));
    p.drawEllipse(top, 3.6, 3.6);
}

void Arrow(QPainter& p, QPointF centre, double angleDeg, double length, double head, QColor ink, double width)
{
    p.save();
    p.translate(centre);
    p.rotate(angleDeg);
    p.setPen(InkPen(ink, width));
    p.drawLine(QPointF(-length / 2, 0), QPointF(length / 2 - head * 0.6, 0));
    QPolygonF tip;
    tip << QPointF(length / 2, 0) << QPointF(length / 2 - head, -head * 0.7) << QPointF(length / 2 - head, head * 0.7);
    p.setBrush(ink);
    p.setPen(InkPen(ink, 1.0));
    p.drawPolygon(tip);
    p.restore();
}

void FourWay(QPainter& p, QRectF r, QColor ink)
{
    const QPointF c = r.center();
    const double d = std::min(r.width(), r.height()) * 0.5;
    for (int i = 0; i < 4; ++i) {
        const double a = i * 90.0;
        const QPointF off(d * 0.62 * std::cos(qDegreesToRadians(a)), d * 0.62 * std::sin(qDegreesToRadians(a)));
        Arrow(p, c + off, a, d * 0.75, 5.5, ink, 1.8);
    }
    p.setBrush(ink);
    p.setPen(Qt::NoPen);
    p.drawEllipse(c, 2.2, 2.2);
}

void Speaker(QPainter& p, QRectF r, QColor ink, bool on)
{
    const double h = r.height();
    const double x0 = r.left() + r.width() * 0.18;
    const double cy = r.center().y();
    QPolygonF body;
    body << QPointF(x0, cy - h * 0.17) << QPointF(x0 + h * 0.25, cy - h * 0.17)
         << QPointF(x0 + h * 0.58, cy - h * 0.42) << QPointF(x0 + h * 0.58, cy + h * 0.42)
         << QPointF(x0 + h * 0.25, cy + h * 0.17) << QPointF(x0, cy + h * 0.17);
    p.setPen(InkPen(ink, 1.0));
    p.setBrush(ink);
    p.drawPolygon(body);
    const double xs = x0 + h * 0.58 + 3;
    p.setBrush(Qt::NoBrush);
    if (on) {
        p.setPen(InkPen(ink, 1.5));
        for (int i = 0; i < 3; ++i) {
            const double rad = 3.0 + i * 3.2;
            p.drawArc(QRectF(xs - rad, cy - rad, 2 * rad, 2 * rad), -50 * 16, 100 * 16);
        }
    } else {
        p.setPen(InkPen(QColor(220, 40, 40), 2.0));
        const double s = h * 0.24;
        p.drawLine(QPointF(xs + 1, cy - s), QPointF(xs + 1 + 2 * s, cy + s));
        p.drawLine(QPointF(xs + 1, cy + s), QPointF(xs + 1 + 2 * s, cy - s));
    }
}

void House(QPainter& p, QRectF r, QColor ink)
{
    const QPointF c = r.center();
    const double s = std::min(r.width(), r.height()) * 0.36;
    QPolygonF roof;
    roof << QPointF(c.x() - s * 1.1, c.y() - s * 0.05) << QPointF(c.x(), c.y() - s * 1.05)
         << QPointF(c.x() + s * 1.1, c.y() - s * 0.05);
    p.setPen(InkPen(ink, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(roof);
    p.drawRect(QRectF(c.x() - s * 0.72, c.y() - s * 0.1, s * 1.44, s * 1.05));
    p.setBrush(ink);
    p.drawRect(QRectF(c.x() - s * 0.2, c.y() + s * 0.35, s * 0.4, s * 0.6));
}

void Text(QPainter& p, QRectF r, QColor ink, const QString& text, int pixelSize)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(true);
    p.setFont(f);
    p.setPen(ink);
    p.drawText(r, Qt::AlignCenter, text);
}

void Add(const QString& kind, int id, const QString& ext, const QImage& img, int scheme, const QString& label)
{
    if (kind == QLatin1String("bitmap")) {
        if (!g_bitmapIds.insert(id).second) {
            std::fprintf(stderr, "bitmap %d drawn twice\n", id);
            std::exit(2);
        }
    }
    g_outputs.push_back({kind, id, QStringLiteral("art/%1/%2.%3").arg(kind).arg(id).arg(ext), img, scheme, label});
}

// ---------------------------------------------------------------- the artwork

struct PairIds {
    int hover, normal;
};

void PanelButtons(int si, const Scheme& s)
{
    struct Def {
        const char* label;
        PairIds ids[3];
        std::function<void(QPainter&, QRectF, QColor)> icon;
    };
    const Def defs[] = {
        {"zoom", {{503, 502}, {577, 576}, {615, 614}}, [](QPainter& p, QRectF r, QColor c) { Magnifier(p, r, c, false); }},
        {"zoom armed", {{505, 504}, {575, 574}, {613, 612}}, [](QPainter& p, QRectF r, QColor c) { Magnifier(p, r, c, true); }},
        {"capture", {{511, 507}, {541, 540}, {579, 578}}, Camera},
        {"control", {{508, 509}, {547, 546}, {585, 584}}, Joystick},
        {"pan/tilt", {{510, 506}, {561, 560}, {599, 598}}, FourWay},
    };
    for (const auto& d : defs) {
        Add("bitmap", d.ids[si].hover, "bmp", Tile(38, 31, s, true, 6, d.icon), si + 1, QString::fromLatin1(d.label) + " hover");
        Add("bitmap", d.ids[si].normal, "bmp", Tile(38, 31, s, false, 6, d.icon), si + 1, QString::fromLatin1(d.label));
    }
    const PairIds on[3] = {{534, 532}, {559, 558}, {597, 596}};
    const PairIds off[3] = {{535, 533}, {557, 556}, {595, 594}};
    auto onIcon = [](QPainter& p, QRectF r, QColor c) { Speaker(p, r, c, true); };
    auto offIcon = [](QPainter& p, QRectF r, QColor c) { Speaker(p, r, c, false); };
    Add("bitmap", on[si].hover, "bmp", Tile(37, 25, s, true, 5, onIcon), si + 1, "speaker on hover");
    Add("bitmap", on[si].normal, "bmp", Tile(37, 25, s, false, 5, onIcon), si + 1, "speaker on");
    Add("bitmap", off[si].hover, "bmp", Tile(37, 25, s, true, 5, offIcon), si + 1, "speaker off hover");
    Add("bitmap", off[si].normal, "bmp", Tile(37, 25, s, false, 5, offIcon), si + 1, "speaker off");
}

void Slider(int si, const Scheme& s)
{
    const int channelIds[3] = {538, 573, 610};
    const PairIds thumbIds[3] = {{537, 539}, {564, 565}, {602, 603}};  // thumb / active thumb
    QImage track(83, 28, QImage::Format_RGB32);
    track.fill(s.background);
    {
        QPainter p(&track);
        p.setRenderHint(QPainter::Antialiasing);
        // a wedge that grows to the right: louder is bigger
        QPolygonF wedge;
        wedge << QPointF(4, 21) << QPointF(80, 21) << QPointF(80, 7);
        QColor w = s.wedge;
        w.setAlpha(90);
        p.setPen(Qt::NoPen);
        p.setBrush(w);
        p.drawPolygon(wedge);
        p.setPen(QPen(s.groove, 1));
        p.setBrush(s.groove);
        p.drawRoundedRect(QRectF(3, 13, 77, 3), 1.5, 1.5);
        p.setPen(QPen(s.wedge, 1));
        for (int i = 0; i <= 4; ++i) {
            const double x = 7 + i * 17.25;
            p.drawLine(QPointF(x, 23), QPointF(x, 25.5));
        }
    }
    Add("bitmap", channelIds[si], "bmp", track, si + 1, "volume track");
    const int tw = si == 2 ? 9 : 10;
    for (int active = 0; active < 2; ++active) {
        QImage thumb(tw, 25, QImage::Format_RGB32);
        thumb.fill(s.background);
        QPainter p(&thumb);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, tw, 0);
        g.setColorAt(0, active ? s.thumbActive.lighter(120) : s.thumbA);
        g.setColorAt(1, active ? s.thumbActive.darker(130) : s.thumbB);
        p.setPen(QPen(active ? s.hoverBorder : s.border, 1));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(0.5, 0.5, tw - 1, 24), 2.5, 2.5);
        p.setPen(QPen(active ? s.hoverInk : s.groove, 1));
        for (int y = 9; y <= 15; y += 3)
            p.drawLine(QPointF(2.5, y + 0.5), QPointF(tw - 2.5, y + 0.5));
        p.end();
        Add("bitmap", active ? thumbIds[si].normal : thumbIds[si].hover, "bmp", thumb, si + 1,
            active ? "thumb active" : "thumb");
    }
}

void PadButtons(int si, const Scheme& s)
{
    struct Def {
        const char* label;
        PairIds ids[3];
        double angle;  // -1: home
    };
    const Def defs[] = {
        {"up", {{529, 525}, {566, 567}, {605, 604}}, -90},
        {"up-right", {{528, 524}, {571, 570}, {608, 609}}, -45},
        {"right", {{522, 520}, {563, 562}, {601, 600}}, 0},
        {"down-right", {{518, 514}, {553, 552}, {591, 590}}, 45},
        {"down", {{519, 515}, {549, 548}, {587, 586}}, 90},
        {"down-left", {{516, 517}, {551, 550}, {589, 588}}, 135},
        {"left", {{523, 521}, {555, 554}, {593, 592}}, 180},
        {"up-left", {{526, 527}, {569, 568}, {607, 606}}, -135},
        {"home", {{513, 512}, {543, 542}, {581, 580}}, -1},
    };
    for (const auto& d : defs) {
        const double angle = d.angle;
        auto icon = [angle](QPainter& p, QRectF r, QColor c) {
            if (angle == -1)
                House(p, r, c);
            else
                Arrow(p, r.center(), angle, std::min(r.width(), r.height()) * 0.78, 9.0, c, 3.0);
        };
        Add("bitmap", d.ids[si].hover, "bmp", Tile(35, 35, s, true, 7, icon), si + 1, QString::fromLatin1(d.label) + " hover");
        Add("bitmap", d.ids[si].normal, "bmp", Tile(35, 35, s, false, 7, icon), si + 1, QString::fromLatin1(d.label));
    }
    const PairIds ok[3] = {{531, 530}, {545, 544}, {583, 582}};
    auto okIcon = [](QPainter& p, QRectF r, QColor c) { Text(p, r, c, QStringLiteral("OK"), 13); };
    Add("bitmap", ok[si].hover, "bmp", Tile(55, 25, s, true, 6, okIcon), si + 1, "pad OK hover");
    Add("bitmap", ok[si].normal, "bmp", Tile(55, 25, s, false, 6, okIcon), si + 1, "pad OK");
}

void ControlIcon()
{
    // Drawn smooth on a transparent ground, then made two-level: a pixel is either the key
    // or an icon colour at full strength. Blending the rim with the key itself would leave
    // mauve pixels wherever the panel masks the key.
    QImage art(15, 15, QImage::Format_ARGB32_Premultiplied);
    art.fill(Qt::transparent);
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(0.5, 0.5, 14, 14);
    p.setPen(QPen(QColor(20, 110, 40), 1));
    p.setBrush(QColor(60, 190, 80));
    p.drawEllipse(disc);
    QPainterPath inside;
    inside.addEllipse(disc);
    p.setClipPath(inside);
    Joystick(p, QRectF(2, 1.5, 11, 12), QColor(255, 255, 255));
    p.end();
    const QImage straight = art.convertToFormat(QImage::Format_ARGB32);  // colours without the coverage
    QImage img(15, 15, QImage::Format_RGB32);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x) {
            const QRgb c = straight.pixel(x, y);
            img.setPixel(x, y, qAlpha(c) >= 128 ? qRgb(qRed(c), qGreen(c), qBlue(c)) : kKey.rgb());
        }
    Add("bitmap", 501, "bmp", img, 0, "control icon");
}

void Toolbox()
{
    QImage img(16, 15, QImage::Format_RGB32);
    img.fill(QColor(192, 192, 192));
    QPainter p(&img);
    p.setPen(QColor(0, 0, 0));
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(1, 4, 13, 8);
    p.drawRect(4, 2, 5, 2);
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(5, 5, 5, 5);
    p.setPen(QColor(255, 255, 0));
    p.drawPoint(12, 6);
    p.end();
    Add("bitmap", 1, "bmp", img, 0, "toolbox");
}

QImage Cursor(bool zoom)
{
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    if (zoom) {
        p.setPen(QPen(Qt::white, 4.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(11, 11), 7.5, 7.5);
        p.drawLine(QPointF(16.5, 16.5), QPointF(26, 26));
        p.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawEllipse(QPointF(11, 11), 7.5, 7.5);
        p.setPen(QPen(Qt::black, 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16.8, 16.8), QPointF(25.5, 25.5));
        p.setPen(QPen(Qt::black, 1.6));
        p.drawLine(QPointF(7.5, 11), QPointF(14.5, 11));
        p.drawLine(QPointF(11, 7.5), QPointF(11, 14.5));
    } else {
        // a pointing hand: index finger up, three folded fingers, thumb at the side
        QPainterPath hand;
        hand.moveTo(9, 2.5);
        hand.cubicTo(10.5, 1, 12.5, 1, 13, 2.5);
        hand.lineTo(13, 11);
        hand.lineTo(19.5, 12);
        hand.cubicTo(22, 12.5, 23, 14, 23, 16);
        hand.lineTo(22, 23);
        hand.cubicTo(21.5, 26, 20, 27.5, 17, 27.5);
        hand.lineTo(12, 27.5);
        hand.cubicTo(10, 27.5, 9, 26.5, 8, 25);
        hand.lineTo(3.5, 18);
        hand.cubicTo(2.5, 16, 4.5, 14.5, 6, 15.5);
        hand.lineTo(9, 18);
        hand.closeSubpath();
        p.setPen(QPen(Qt::black, 1.3));
        p.setBrush(Qt::white);
        p.drawPath(hand);
        p.setPen(QPen(Qt::black, 1.0));
        for (double x : {15.0, 18.0})
            p.drawLine(QPointF(x, 12.5), QPointF(x, 17));
    }
    p.end();
    return img;
}

QImage Banner(int width)
{
    QImage img(width, 36, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width, 36);
    g.setColorAt(0, QColor(24, 24, 24));
    g.setColorAt(0.6, QColor(48, 48, 52));
    g.setColorAt(1, QColor(30, 30, 34));
    p.fillRect(img.rect(), g);
    p.setPen(QPen(QColor(255, 168, 40), 1));
    p.drawLine(0, 35, width, 35);
    // The panel puts its speaker button and volume slider over the banner's first 133 pixels,
    // so the mark and the words start to the right of them.
    constexpr double kFreeLeft = 140;
    p.setPen(QPen(QColor(255, 180, 60), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(kFreeLeft + 14, 18), 11, 11);
    p.setBrush(QColor(255, 180, 60));
    p.drawEllipse(QPointF(kFreeLeft + 14, 18), 4.5, 4.5);
    if (width >= 330) {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setBold(true);
        f.setPixelSize(17);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 2);
        p.setFont(f);
        p.setPen(QColor(235, 235, 235));
        p.drawText(QRectF(kFreeLeft + 32, 0, 120, 36), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("KAVARO"));
    }
    if (width >= 650) {
        QFont small(QStringLiteral("DejaVu Sans"));
        small.setPixelSize(12);
        p.setFont(small);
        p.setPen(QColor(170, 170, 170));
        p.drawText(QRectF(kFreeLeft + 160, 0, width - kFreeLeft - 170, 36), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("live view  \u00b7  pan / tilt  \u00b7  capture  \u00b7  audio"));
    }
    p.end();
    return img;
}

// ---------------------------------------------------------------- output

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QImage ShowKey(const QImage& img, QColor background)
{
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            if ((out.pixel(x, y) & 0xFFFFFF) == (kKey.rgb() & 0xFFFFFF))
                out.setPixel(x, y, background.rgb());
    return out;
}

QImage Sheet()
{
    const int scale = 2;
    const int cellW = 130;
    const int columns = 8;
    std::vector<QImage> blocks;
    QFont label(QStringLiteral("DejaVu Sans"));
    label.setPixelSize(11);
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(16);
    title.setBold(true);
    for (int scheme = 0; scheme <= 3; ++scheme) {
        std::vector<const Output*> items;
        for (const auto& o : g_outputs)
            if (o.scheme == scheme && o.kind != QLatin1String("image"))
                items.push_back(&o);
        if (scheme == 0)
            for (const auto& o : g_outputs)
                if (o.kind == QLatin1String("image"))
                    items.push_back(&o);
        const QColor bg = scheme == 0 ? QColor(200, 200, 200) : kSchemes[scheme - 1].background;
        const QColor fg = scheme == 0 ? QColor(20, 20, 20) : kSchemes[scheme - 1].text;
        std::vector<std::pair<QRect, const Output*>> placed;
        int x = 10, y = 40, rowMax = 0;
        for (const Output* o : items) {
            const bool wide = o->picture.width() * scale > cellW - 10;
            const int w = wide ? o->picture.width() + 20 : cellW;
            const int h = (wide ? o->picture.height() : o->picture.height() * scale) + 30;
            if (x + w > columns * cellW) {
                x = 10;
                y += rowMax + 10;
                rowMax = 0;
            }
            placed.push_back({QRect(x, y, w, h), o});
            x += w + 8;
            rowMax = std::max(rowMax, h);
        }
        QImage block(columns * cellW + 20, y + rowMax + 20, QImage::Format_RGB32);
        block.fill(bg);
        QPainter p(&block);
        p.setPen(fg);
        p.setFont(title);
        p.drawText(10, 26, scheme == 0 ? QStringLiteral("Scheme-independent: control icon, toolbox, cursors, banners")
                                       : QStringLiteral("Colour scheme %1").arg(scheme));
        p.setFont(label);
        for (const auto& [r, o] : placed) {
            const bool wide = o->picture.width() * scale > cellW - 10;
            const QImage shown = ShowKey(o->picture, bg);
            const QSize size = wide ? shown.size() : shown.size() * scale;
            p.drawImage(QRect(r.topLeft() + QPoint(5, 2), size), shown);
            p.drawText(QRect(r.left(), r.top() + size.height() + 4, r.width(), 24), Qt::AlignLeft | Qt::AlignTop,
                       QStringLiteral("%1 %2").arg(o->id).arg(o->label));
        }
        p.end();
        blocks.push_back(block);
    }
    int height = 0, width = 0;
    for (const auto& b : blocks) {
        height += b.height();
        width = std::max(width, b.width());
    }
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    int y = 0;
    for (const auto& b : blocks) {
        p.drawImage(0, y, b);
        y += b.height();
    }
    return sheet;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen REPO_ROOT\n");
        return 1;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString res = root + QStringLiteral("/src/viewer/resources/");

    for (int si = 0; si < 3; ++si) {
        PanelButtons(si, kSchemes[si]);
        Slider(si, kSchemes[si]);
        PadButtons(si, kSchemes[si]);
    }
    ControlIcon();
    Toolbox();
    Add("cursor", 234, "png", Cursor(false), 0, "hand cursor");
    Add("cursor", 235, "png", Cursor(true), 0, "zoom cursor");
    Add("image", 301, "jpg", Banner(650), 0, "banner 650");
    Add("image", 302, "jpg", Banner(330), 0, "banner 330");
    Add("image", 303, "jpg", Banner(170), 0, "banner 170");

    const std::set<int> twentyFourBit = {538, 573, 610, 537, 539, 564, 565, 602, 603};
    QDir(res + QStringLiteral("art")).removeRecursively();
    bool ok = true;
    for (const auto& o : g_outputs) {
        QByteArray bytes;
        if (o.kind == QLatin1String("bitmap")) {
            const Depth d = o.id == 1 ? Depth::Bits4 : twentyFourBit.count(o.id) ? Depth::Bits24 : Depth::Bits8;
            bytes = WriteBmp(o.picture, d);
        } else {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            o.picture.save(&buffer, o.kind == QLatin1String("cursor") ? "PNG" : "JPG",
                           o.kind == QLatin1String("cursor") ? -1 : 92);
        }
        ok = WriteFile(res + o.file, bytes) && ok;
    }

    QString qrc;
    QTextStream out(&qrc);
    out << "<!-- Written by tools/artgen; do not edit by hand. -->\n<RCC>\n  <qresource prefix=\"/kavaro\">\n";
    std::vector<QString> files;
    for (const auto& o : g_outputs)
        files.push_back(o.file);
    std::sort(files.begin(), files.end());
    for (const auto& f : files)
        out << "    <file alias=\"" << QString(f).remove(0, 4) << "\">" << f << "</file>\n";
    out << "  </qresource>\n</RCC>\n";
    ok = WriteFile(res + QStringLiteral("kavaro_viewer.qrc"), qrc.toUtf8()) && ok;

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    Sheet().save(&buffer, "PNG");
    ok = WriteFile(root + QStringLiteral("/docs/artwork-sheet.png"), png) && ok;
    std::printf("%zu pictures written\n", g_outputs.size());
    return ok ? 0 : 1;
}
