#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QTest>

#include <chrono>
#include <cstring>
#include <span>
#include <set>
#include <thread>

#include "motion/resources/string_table.h"
#include "display/display_worker.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/posted_message.h"
#include "platform/ui/qt_frame_sink.h"
#include "platform/ui/window_timers.h"
#include "ui_test_support.h"
#include "viewer/resources/resources.h"
#include "viewer/resources/string_table.h"
#include "viewer/widgets/picture_decode.h"

namespace {

// Every bitmap the viewer looks up, with its size and bit depth.
struct BitmapSpec {
    std::vector<int> ids;
    int width, height, bits;
};

int BmpBits(int id)
{
    QFile f(QStringLiteral(":/kavaro/bitmap/%1.bmp").arg(id));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray b = f.readAll();
    if (b.size() < 30 || b[0] != 'B' || b[1] != 'M')
        return -2;
    return static_cast<unsigned char>(b[28]) | (static_cast<unsigned char>(b[29]) << 8);
}

} // namespace

TEST(Resources, EveryBitmapExistsAtItsSizeAndDepth)
{
    kvtest::App();
    const BitmapSpec bitmaps[] = {
        // panel buttons: zoom, zoom armed, capture, control, pan/tilt (hover and normal)
        {{503, 502, 505, 504, 511, 507, 508, 509, 510, 506, 577, 576, 575, 574, 541, 540, 547, 546, 561, 560,
          615, 614, 613, 612, 579, 578, 585, 584, 599, 598}, 38, 31, 8},
        {{534, 532, 535, 533, 559, 558, 557, 556, 597, 596, 595, 594}, 37, 25, 8},
        {{538, 573, 610}, 83, 28, 24},
        {{537, 539, 564, 565}, 10, 25, 24},
        {{602, 603}, 9, 25, 24},
        {{529, 525, 528, 524, 522, 520, 518, 514, 519, 515, 516, 517, 523, 521, 526, 527, 513, 512,
          566, 567, 571, 570, 563, 562, 553, 552, 549, 548, 551, 550, 555, 554, 569, 568, 543, 542,
          605, 604, 608, 609, 601, 600, 591, 590, 587, 586, 589, 588, 593, 592, 607, 606, 581, 580}, 35, 35, 8},
        {{531, 530, 545, 544, 583, 582}, 55, 25, 8},
        {{501}, 15, 15, 8},
        {{1}, 16, 15, 4},
    };
    std::set<int> seen;
    for (const auto& expected : bitmaps)
        for (int id : expected.ids) {
            SCOPED_TRACE(id);
            EXPECT_TRUE(seen.insert(id).second) << "listed twice";
            const QImage img = kv::viewer::LoadBitmapResource(id);
            ASSERT_FALSE(img.isNull());
            EXPECT_EQ(img.size(), QSize(expected.width, expected.height));
            EXPECT_EQ(BmpBits(id), expected.bits);
        }
    EXPECT_TRUE(kv::viewer::LoadBitmapResource(500).isNull());

    // Hover images differ visibly from their normal partners.
    const std::pair<int, int> pairs[] = {{503, 502}, {577, 576}, {615, 614}, {529, 525}, {597, 596}};
    for (auto [hover, normal] : pairs) {
        const QImage a = kv::viewer::LoadBitmapResource(hover).convertToFormat(QImage::Format_RGB32);
        const QImage b = kv::viewer::LoadBitmapResource(normal).convertToFormat(QImage::Format_RGB32);
        int differing = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                differing += a.pixel(x, y) != b.pixel(x, y);
        EXPECT_GT(differing, a.width() * a.height() / 4) << hover;
    }
}

TEST(Resources, ControlIconHasNoRimBlendedWithTheKeyColour)
{
    kvtest::App();
    // The icon is green and white on the magenta key. A rim pixel mixed with the key turns
    // mauve (red and blue above green) and shows as a tinted ring wherever the key is masked.
    const QImage icon = kv::viewer::LoadBitmapResource(kv::viewer::IDB_CONTROL_ICON).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(icon.isNull());
    const QRgb key = qRgb(255, 0, 255);
    int keyPixels = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x) {
            const QRgb c = icon.pixel(x, y) & 0xFFFFFF;
            if (c == (key & 0xFFFFFF)) {
                ++keyPixels;
                continue;
            }
            EXPECT_FALSE(qRed(c) > qGreen(c) && qBlue(c) > qGreen(c))
                << "(" << x << ", " << y << ") is " << qRed(c) << "," << qGreen(c) << "," << qBlue(c);
        }
    EXPECT_GT(keyPixels, 8);  // the corners show the background
    EXPECT_NE(icon.pixel(7, 0) & 0xFFFFFF, key & 0xFFFFFF);  // the disc reaches the edges
}

TEST(Resources, BannersCursorsAndMissingNumbers)
{
    kvtest::App();
    const std::pair<int, int> banners[] = {{301, 650}, {302, 330}, {303, 170}};
    for (auto [id, width] : banners) {
        const QByteArray bytes = kv::viewer::LoadImageResource(id);
        ASSERT_GT(bytes.size(), 4);
        EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);  // a JPEG file
        EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
        const QImage picture = kv::viewer::DecodeJpegPicture(bytes);
        EXPECT_EQ(picture.size(), QSize(width, 36)) << id;
    }
    EXPECT_TRUE(kv::viewer::LoadImageResource(304).isEmpty());
    EXPECT_TRUE(kv::viewer::DecodeJpegPicture(QByteArray("\xFF\xD8 not really", 14)).isNull());

    for (int id : {kv::viewer::IDC_HAND, kv::viewer::IDC_ZOOM}) {
        const auto cursor = kv::viewer::LoadCursorResource(id);
        ASSERT_TRUE(cursor.has_value()) << id;
        EXPECT_EQ(cursor->pixmap().size(), QSize(32, 32));
    }
    EXPECT_FALSE(kv::viewer::LoadCursorResource(236).has_value());
}

TEST(StringTables, TextsAreExactAndLanguagesChooseThem)
{
    using namespace kv::viewer;
    EXPECT_STREQ(LoadString(1003), "This user doesn't have control right.");
    EXPECT_STREQ(LoadString(1004), "After a while,\nplease access again.");
    EXPECT_STREQ(LoadString(1006), "Protected object. This object is protected.");
    EXPECT_STREQ(LoadString(1007), "Can not connect.");
    EXPECT_STREQ(LoadString(1010), " Digital zoom");
    EXPECT_STREQ(LoadString(1024), "Realm:          Orvel Network Camera");
    EXPECT_EQ(std::strlen("Realm:") + 10, std::string(LoadString(1024)).find('O'));
    EXPECT_STREQ(LoadString(1025), "Can not connect");
    EXPECT_EQ(LoadString(1002), nullptr);
    std::set<int> ids;
    for (const auto& e : StringTable())
        EXPECT_TRUE(ids.insert(e.id).second) << e.id;

    // Languages 1..3 read the table, anything else keeps the template.
    EXPECT_STREQ(TextForLanguage(1, IDS_REALM, "Mode"), "Realm:          Orvel Network Camera");
    EXPECT_STREQ(TextForLanguage(3, IDS_PASSWORD_CAPTION, dialog104::kCaption), "Enter Network Password");
    EXPECT_STREQ(TextForLanguage(0, IDS_REALM, "Mode"), "Mode");
    EXPECT_STREQ(TextForLanguage(4, IDS_PASSWORD_CAPTION, dialog104::kCaption), "Input Internet Password");
    EXPECT_STREQ(TemplateTextOf(dialog104::Texts(), 230), "Mode");
    EXPECT_STREQ(TemplateTextOf(dialog102::Texts(), 204), " Pan/Tilt");

    EXPECT_STREQ(kv::motion::LoadString(201), "Can not connect !");
    EXPECT_STREQ(kv::motion::LoadString(203), "Device is busy, please try again later.");
    EXPECT_STREQ(kv::motion::LoadString(204), "Protected object. This object is protected.");
    EXPECT_STREQ(kv::motion::TemplateTextOf(kv::motion::dialog201::Texts(), 219), "Slider2");
}

TEST(QtLayer, DialogUnitsConvertAtOneAndAHalfByOneAndFiveEighths)
{
    EXPECT_EQ(kv::ui::DluToPixelX(580), 870);
    EXPECT_EQ(kv::ui::DluToPixelY(400), 650);
    EXPECT_EQ(kv::ui::DluToPixelX(205), 308);  // 307.5 rounds up
    EXPECT_EQ(kv::ui::DluToPixelY(119), 193);  // 193.375
    EXPECT_EQ(kv::ui::DluToPixelX(-3), -5);    // halves away from zero
    EXPECT_EQ(kv::ui::DluRect(47, 95, 50, 14), QRect(71, 154, 75, 23));
}

TEST(QtLayer, MessagesPostedFromAnotherThreadArriveAndStopAfterTheWindowDies)
{
    kvtest::App();
    auto window = std::make_unique<kvtest::RecordingWindow>();
    kv::ui::CQtMessageTarget target(window.get());
    std::thread worker([&] {
        target.PostMessage(kv::WM_DISPLAY_OPENED, 0, 0);
        target.PostMessage(kv::WM_PLAYER_RESULT, 310, 0);
    });
    worker.join();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(window->posted.size(), 2u);
    EXPECT_EQ(window->posted[0].message, 0x1B01);
    EXPECT_EQ(window->posted[1].message, 0x1B00);
    EXPECT_EQ(window->posted[1].wParam, 310);

    window.reset();
    EXPECT_FALSE(target.IsAttached());
    std::thread late([&] { target.PostMessage(kv::WM_AUDIO_OPENED, 0, 0); });  // dropped, not a crash
    late.join();
    QCoreApplication::sendPostedEvents();
}

TEST(QtLayer, WindowTimersTickByIdAndRestart)
{
    kvtest::App();
    QObject owner;
    std::vector<int> ticks;
    kv::ui::CWindowTimers timers(&owner, [&](int id) { ticks.push_back(id); });
    timers.SetTimer(1005, 20);
    timers.SetTimer(1001, 1000);
    QTest::qWait(110);
    EXPECT_GE(std::count(ticks.begin(), ticks.end(), 1005), 2);
    EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 1001), 0);
    EXPECT_TRUE(timers.KillTimer(1005));
    EXPECT_FALSE(timers.KillTimer(1005));
    EXPECT_FALSE(timers.IsRunning(1005));
    EXPECT_TRUE(timers.IsRunning(1001));
    EXPECT_FALSE(timers.KillTimer(42));
}

namespace {

// A 2x2 24-bit picture, bottom-up: bottom row blue, green; top row red, white.
std::vector<std::uint8_t> TwoByTwoDib()
{
    std::vector<std::uint8_t> dib(40 + 2 * 8, 0);
    auto put32 = [&](int at, std::int32_t v) { std::memcpy(&dib[at], &v, 4); };
    put32(0, 40);
    put32(4, 2);
    put32(8, 2);
    dib[12] = 1;
    dib[14] = 24;
    const std::uint8_t rows[2][6] = {{255, 0, 0, 0, 255, 0}, {0, 0, 255, 255, 255, 255}};
    std::memcpy(&dib[40], rows[0], 6);
    std::memcpy(&dib[48], rows[1], 6);
    return dib;
}

kv::DibView ViewOf(const std::vector<std::uint8_t>& block, std::size_t headerBytes)
{
    const std::span<const std::uint8_t> all(block);
    return {all.first(headerBytes), all.subspan(headerBytes)};
}

// An indexed picture: header, palette (blue, green, red triples), rows as given.
std::vector<std::uint8_t> IndexedDib(int width, int height, int bits, const std::vector<QColor>& palette,
                                     const std::vector<std::uint8_t>& rows)
{
    std::vector<std::uint8_t> dib(40, 0);
    auto put32 = [&](int at, std::int32_t v) { std::memcpy(&dib[at], &v, 4); };
    put32(0, 40);
    put32(4, width);
    put32(8, height);
    dib[12] = 1;
    dib[14] = static_cast<std::uint8_t>(bits);
    put32(32, static_cast<std::int32_t>(palette.size()));
    for (const QColor& c : palette)
        dib.insert(dib.end(), {static_cast<std::uint8_t>(c.blue()), static_cast<std::uint8_t>(c.green()),
                               static_cast<std::uint8_t>(c.red()), 0});
    dib.insert(dib.end(), rows.begin(), rows.end());
    return dib;
}

// A widget that paints its sink, as the panels do.
class SinkWidget : public QWidget {
public:
    SinkWidget() : sink(this) { resize(100, 80); }
    kv::ui::CQtFrameSink sink;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        sink.Paint(p);
        ++paints;
    }
};

} // namespace

TEST(QtLayer, FrameSinkPaintsTheNewestPictureAndRefusesMalformedBlocks)
{
    kvtest::App();
    QWidget widget;
    widget.resize(100, 80);
    kv::ui::CQtFrameSink sink(&widget);
    const std::vector<std::uint8_t> dib = TwoByTwoDib();

    std::thread worker([&] { EXPECT_TRUE(sink.Present(ViewOf(dib, 40), {0, 0, 2, 2}, {10, 10, 20, 20})); });
    worker.join();
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(sink.HasFrame());
    QImage canvas(100, 80, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter p(&canvas);
        EXPECT_TRUE(sink.Paint(p));
    }
    EXPECT_EQ(canvas.pixelColor(12, 12), QColor(Qt::red));    // top-left
    EXPECT_EQ(canvas.pixelColor(12, 27), QColor(Qt::blue));   // bottom-left
    EXPECT_EQ(canvas.pixelColor(27, 27), QColor(Qt::green));  // bottom-right
    EXPECT_EQ(canvas.pixelColor(5, 5), QColor(Qt::black));

    std::vector<std::uint8_t> shortBlock(dib.begin(), dib.end() - 1);
    EXPECT_FALSE(sink.Present(ViewOf(shortBlock, 40), {0, 0, 2, 2}, {0, 0, 2, 2}));
    std::vector<std::uint8_t> noPalette = dib;
    noPalette[14] = 8;  // an 8-bit picture whose palette is not there
    EXPECT_FALSE(sink.Present(ViewOf(noPalette, 40), {0, 0, 2, 2}, {0, 0, 2, 2}));
    std::vector<std::uint8_t> sixteen = dib;
    sixteen[14] = 16;
    EXPECT_FALSE(sink.Present(ViewOf(sixteen, 40), {0, 0, 2, 2}, {0, 0, 2, 2}));
    std::vector<std::uint8_t> huge = dib;
    const std::int32_t wide = 0x7FFFFFFF;
    std::memcpy(&huge[4], &wide, 4);
    EXPECT_FALSE(sink.Present(ViewOf(huge, 40), {0, 0, 2, 2}, {0, 0, 2, 2}));
    EXPECT_FALSE(sink.Present(ViewOf(dib, 40), {0, 0, 2, 2}, {0, 0, 0, 2})) << "empty destination";
    EXPECT_EQ(sink.LastDestination(), QRect(10, 10, 20, 20));  // the good picture stays
    sink.Clear();
    EXPECT_FALSE(sink.HasFrame());
}

TEST(QtLayer, FrameSinkShowsGreyAndPalettePictures)
{
    kvtest::App();
    // Grey Motion-JPEG frames decode to 8 bits with a grey ramp.
    std::vector<QColor> ramp;
    for (int i = 0; i < 256; ++i)
        ramp.emplace_back(i, i, i);
    const std::vector<std::uint8_t> grey = IndexedDib(2, 2, 8, ramp, {10, 20, 0, 0, 200, 250, 0, 0});
    QWidget widget;
    kv::ui::CQtFrameSink sink(&widget);
    ASSERT_TRUE(sink.Present(ViewOf(grey, 40 + 1024), {0, 0, 2, 2}, {0, 0, 2, 2}));
    const QImage shown = sink.LastImage();
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(200, 200, 200));  // top row is stored last
    EXPECT_EQ(shown.pixelColor(1, 0), QColor(250, 250, 250));
    EXPECT_EQ(shown.pixelColor(0, 1), QColor(10, 10, 10));

    // 4 bits, high nibble first; an index past the palette is black.
    const std::vector<QColor> three{Qt::red, Qt::green, Qt::blue};
    const std::vector<std::uint8_t> four = IndexedDib(3, 1, 4, three, {0x21, 0x70, 0, 0});
    const QImage fourImage = kv::ui::ImageFromDib(ViewOf(four, 40 + 12));
    ASSERT_FALSE(fourImage.isNull());
    EXPECT_EQ(fourImage.pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(fourImage.pixelColor(1, 0), QColor(Qt::green));
    EXPECT_EQ(fourImage.pixelColor(2, 0), QColor(Qt::black));

    // 1 bit, leftmost pixel in the high bit.
    const std::vector<std::uint8_t> one = IndexedDib(3, 1, 1, {Qt::black, Qt::white}, {0xA0, 0, 0, 0});
    const QImage oneImage = kv::ui::ImageFromDib(ViewOf(one, 40 + 8));
    ASSERT_FALSE(oneImage.isNull());
    EXPECT_EQ(oneImage.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(oneImage.pixelColor(1, 0), QColor(Qt::black));
    EXPECT_EQ(oneImage.pixelColor(2, 0), QColor(Qt::white));
}

TEST(QtLayer, TwentyFourBitRowsOfEveryWidthConvertPixelForPixel)
{
    // Rows go four pixels at a time with a remainder: widths 1 to 9 cover every split, and
    // every byte differs, so a byte taken from the wrong place shows.
    for (int width = 1; width <= 9; ++width) {
        SCOPED_TRACE(width);
        const int height = 3;
        const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
        std::vector<std::uint8_t> dib(40 + stride * height, 0);
        auto put32 = [&](int at, std::int32_t v) { std::memcpy(&dib[at], &v, 4); };
        put32(0, 40);
        put32(4, width);
        put32(8, height);
        dib[12] = 1;
        dib[14] = 24;
        for (std::size_t i = 40; i < dib.size(); ++i)
            dib[i] = static_cast<std::uint8_t>(i * 7 + 3);
        const QImage image = kv::ui::ImageFromDib(ViewOf(dib, 40));
        ASSERT_EQ(image.size(), QSize(width, height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* bgr = dib.data() + 40 + (height - 1 - y) * stride + x * 3;  // bottom-up
                EXPECT_EQ(image.pixel(x, y), qRgb(bgr[2], bgr[1], bgr[0])) << x << "," << y;
            }
    }
}

TEST(QtLayer, FrameSinkTakesHeaderAndPixelsFromSeparateBuffersAndKeepsNothingOfThem)
{
    kvtest::App();
    // The MPEG-4 worker hands its own header and its RGB buffer: two blocks.
    const std::vector<std::uint8_t> dib = TwoByTwoDib();
    std::vector<std::uint8_t> header(dib.begin(), dib.begin() + 40);
    std::vector<std::uint8_t> pixels(dib.begin() + 40, dib.end());
    QWidget widget;
    kv::ui::CQtFrameSink sink(&widget);
    ASSERT_TRUE(sink.Present({header, pixels}, {0, 0, 2, 2}, {0, 0, 2, 2}));
    std::fill(pixels.begin(), pixels.end(), 0x55);  // the worker reuses its buffers at once
    std::fill(header.begin(), header.end(), 0);
    const QImage shown = sink.LastImage();
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(shown.pixelColor(1, 1), QColor(Qt::green));
}

// Rows lent to a worker: shown as presented pictures are, handed back without a trace, one
// buffer out at a time, and never the memory of a picture the window still holds.
TEST(QtLayer, FrameSinkLendsRowsToDecodeIntoAndShowsThemAsPresented)
{
    kvtest::App();
    QWidget widget;
    kv::ui::CQtFrameSink sink(&widget);
    const auto fill = [](const kv::PixelBuffer32& rows, std::uint32_t value) {
        for (int y = 0; y < rows.height; ++y)
            std::fill_n(rows.Row(y), rows.width, value);
    };

    kv::PixelBuffer32 rows = sink.BeginPicture(3, 2);
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows.width, 3);
    EXPECT_GE(rows.stride, 12u);
    EXPECT_FALSE(sink.BeginPicture(3, 2)) << "one buffer out at a time";
    fill(rows, 0xFFFF0000u);
    rows.Row(1)[2] = 0xFF0000FFu;
    EXPECT_TRUE(sink.EndPicture(true, {0, 0, 3, 2}, {10, 10, 30, 20}));
    EXPECT_FALSE(sink.EndPicture(true, {0, 0, 3, 2}, {10, 10, 30, 20})) << "nothing is out";
    const QImage held = sink.LastImage();  // as the window holds a picture while painting it
    EXPECT_EQ(held.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(held.pixelColor(2, 1), QColor(Qt::blue));
    EXPECT_EQ(sink.LastDestination(), QRect(10, 10, 30, 20));

    // Pictures written meanwhile never go into the held one's memory.
    for (int i = 0; i < 3; ++i) {
        rows = sink.BeginPicture(3, 2);
        ASSERT_TRUE(rows);
        EXPECT_NE(rows.bits, held.constBits());
        fill(rows, 0xFF00FF00u);
        EXPECT_TRUE(sink.EndPicture(true, {0, 0, 3, 2}, {10, 10, 30, 20}));
    }
    EXPECT_EQ(held.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(sink.LastImage().pixelColor(0, 0), QColor(Qt::green));

    // Handed back unshown: what was shown stays, and so do its rectangles.
    rows = sink.BeginPicture(5, 5);
    ASSERT_TRUE(rows);
    fill(rows, 0xFF0000FFu);
    EXPECT_FALSE(sink.EndPicture(false, {0, 0, 5, 5}, {0, 0, 5, 5}));
    EXPECT_EQ(sink.LastImage().pixelColor(0, 0), QColor(Qt::green));
    EXPECT_EQ(sink.LastDestination(), QRect(10, 10, 30, 20));
    // An empty destination shows nothing either.
    ASSERT_TRUE(sink.BeginPicture(3, 2));
    EXPECT_FALSE(sink.EndPicture(true, {0, 0, 3, 2}, {0, 0, 0, 2}));
    EXPECT_EQ(sink.LastDestination(), QRect(10, 10, 30, 20));

    // Sizes a picture cannot have are refused without a buffer going out.
    EXPECT_FALSE(sink.BeginPicture(0, 2));
    EXPECT_FALSE(sink.BeginPicture(3, -1));
    EXPECT_FALSE(sink.BeginPicture(kv::kMaxDibSide + 1, 2));
    EXPECT_TRUE(sink.BeginPicture(3, 2));
    EXPECT_FALSE(sink.EndPicture(false, {}, {}));
}

TEST(QtLayer, FrameSinkNeverQueuesPicturesBehindASlowWindow)
{
    kvtest::App();
    SinkWidget widget;
    widget.show();
    QCoreApplication::processEvents();
    const int paintsBefore = widget.paints;

    // The window thread is busy (processes nothing) while a worker presents 60 pictures.
    std::vector<std::uint8_t> dib = TwoByTwoDib();
    std::thread worker([&] {
        for (int i = 0; i < 60; ++i) {
            dib[40] = static_cast<std::uint8_t>(i);  // bottom-left blue channel numbers the picture
            EXPECT_TRUE(widget.sink.Present(ViewOf(dib, 40), {0, 0, 2, 2}, {0, 0, 20, 20}));
        }
    });
    worker.join();  // it never waited for the window
    EXPECT_EQ(widget.sink.PresentedCount(), 60);
    EXPECT_EQ(widget.paints, paintsBefore);

    // When the window gets round to it, it paints once, the newest picture.
    QTest::qWait(50);
    EXPECT_EQ(widget.sink.PaintedCount(), widget.paints - paintsBefore);
    EXPECT_LE(widget.paints - paintsBefore, 2);
    EXPECT_GE(widget.paints - paintsBefore, 1);
    EXPECT_EQ(widget.grab().toImage().pixelColor(2, 17).blue(), 59);
}

TEST(QtLayer, DisplayWorkerKeepsDrawingIntoTheSinkWhileTheWindowIsBusy)
{
    kvtest::App();
    SinkWidget widget;
    widget.show();
    QCoreApplication::processEvents();
    const int paintsBefore = widget.paints;

    auto read = [](const char* name) {
        QFile f(QStringLiteral(KV_TEST_DATA_DIR "/image/") + name);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray b = f.readAll();
        return std::vector<std::uint8_t>(b.begin(), b.end());
    };
    kv::CFrameChain chain;
    kv::CMJpegDisplay display(kv::kMensiloProfile, chain);  // draws at (0, 0), keeps no log
    display.SetSink(&widget.sink);
    ASSERT_TRUE(display.Open(64, 48, {}));
    ASSERT_TRUE(display.Start());
    for (int i = 0; i < 9; ++i)
        chain.Append(read("color.jpg"), 0);
    chain.Append(read("grey.jpg"), 0);

    // The window thread does not run its loop; the worker still takes every frame.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (widget.sink.PresentedCount() < 10 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(widget.sink.PresentedCount(), 10);
    EXPECT_EQ(chain.Count(), 0u);
    EXPECT_EQ(widget.paints, paintsBefore);
    EXPECT_TRUE(display.RequestStop(2000));

    QTest::qWait(50);
    EXPECT_GE(widget.paints - paintsBefore, 1);
    EXPECT_LE(widget.paints - paintsBefore, 2) << "one paint for ten pictures, not ten";
    const QImage shown = widget.grab().toImage();
    const QColor c = shown.pixelColor(10, 10);
    EXPECT_TRUE(c.red() == c.green() && c.green() == c.blue()) << "the newest picture is the grey one";
}
