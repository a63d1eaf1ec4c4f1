// The Motion-JPEG display worker: frames from the chain decoded and drawn where the panel
// says, grey pictures included; a frame that does not decode ends it with 430; capture.
#include "display_test_support.h"
#include "../image/image_test_util.h"

#include "display/display_worker.h"
#include "stream/debug_log.h"
#include "stream/errors.h"
#include "ximage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <unistd.h>

namespace kv::test {
namespace {

// Each case runs twice: with a sink that takes bitmaps only, and with one that lends rows to
// decode into.
class MJpegDisplayTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        sink.lendRows = GetParam();
        // CTest runs the tests of this fixture as separate processes side by side: one file each.
        m_log = std::filesystem::path(::testing::TempDir()) /
                ("display_mjpeg_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log");
        std::filesystem::remove(m_log);
        SetLogPath(m_log.string());
    }
    void TearDown() override
    {
        SetLogPath({});
        std::filesystem::remove(m_log);
    }

    // A worker of this profile, opened at width by height and started.
    std::unique_ptr<CMJpegDisplay> Started(const ModuleProfile& profile, int width, int height)
    {
        auto display = std::make_unique<CMJpegDisplay>(profile, chain);
        display->SetSink(&sink);
        display->SetWindow(&window);
        display->SetExitCallback([this](int code) { exitCode = code; });
        EXPECT_TRUE(display->Open(width, height, {}));
        EXPECT_TRUE(display->Start());
        return display;
    }

    int LogLines() const
    {
        std::ifstream in(m_log);
        int n = 0;
        for (std::string line; std::getline(in, line);)
            n += line.find("motion-jpeg display Video Frame finished") != std::string::npos;
        return n;
    }

    CFrameChain chain;
    RecordingSink sink;
    RecordingWindow window;
    std::atomic<int> exitCode{-1};
    const std::vector<std::uint8_t> colour = ReadDataFile("image/color.jpg");  // 64 x 48
    const std::vector<std::uint8_t> grey = ReadDataFile("image/grey.jpg");

private:
    std::filesystem::path m_log;
};

TEST_P(MJpegDisplayTest, DrawsEachFrameAsDecodedAtThePanelPosition)
{
    auto display = Started(kKavaroProfile, 64, 48);
    EXPECT_EQ(window.CountOf(WM_DISPLAY_OPENED), 1);
    EXPECT_TRUE(display->IsOpen());
    EXPECT_EQ(display->GetPictureSize().width, 64);
    EXPECT_EQ(display->GetViewSize().height, 48);

    ASSERT_TRUE(DrawFrames(*display, chain, sink, {colour, colour, colour}, 3));
    const std::vector<std::uint8_t> expected = ReadDataFile("image/color.rgb");
    for (const PresentedPicture& p : sink.Pictures()) {
        EXPECT_EQ(p.Bits(), 24);
        EXPECT_EQ(p.header.size(), 40u) << "no palette for a colour picture";
        EXPECT_EQ(p.source, (FrameRect{0, 0, 64, 48}));
        EXPECT_EQ(p.destination, (FrameRect{225, 35, 64, 48}));
        EXPECT_EQ(TopDownRgbOf(p.packed), expected);
    }
    EXPECT_TRUE(display->RequestStop(2000));
    EXPECT_FALSE(display->IsOpen());
    EXPECT_EQ(exitCode, -1) << "a requested stop reports nothing";
    EXPECT_EQ(chain.Count(), 0u);
    EXPECT_EQ(LogLines(), 3);
    EXPECT_EQ(sink.ShownFromRows(), GetParam() ? 3 : 0);
    EXPECT_TRUE(sink.LentRowsWellUsed());
}

TEST_P(MJpegDisplayTest, GreyFramesReachTheSinkWithTheirPalette)
{
    auto display = Started(kKavaroProfile, 64, 48);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {grey}, 1));
    const PresentedPicture p = sink.Last();
    if (GetParam()) {
        EXPECT_EQ(sink.ShownFromRows(), 1) << "grey is widened to the window's pixels as it is decoded";
    } else {
        EXPECT_EQ(p.Bits(), 8);
        EXPECT_EQ(p.header.size(), 40u + 256u * 4u);
    }
    const std::vector<std::uint8_t> expected = ReadDataFile("image/grey.gray");
    const std::vector<std::uint8_t> rgb = TopDownRgbOf(p.packed);
    ASSERT_EQ(rgb.size(), expected.size() * 3);
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(rgb[3 * i], expected[i]) << i;
}

TEST_P(MJpegDisplayTest, ViewSizeAndZoomSourceShapeTheDrawKavaroIgnoresZoomPercent)
{
    auto display = Started(kKavaroProfile, 64, 48);
    display->SetViewSize(640, 480);
    display->SetZoomSource(16, 12, 32, 24);
    display->SetZoomActive(true);
    display->SetZoomPercent(50);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {colour}, 1));
    EXPECT_EQ(sink.Last().source, (FrameRect{16, 12, 32, 24}));
    EXPECT_EQ(sink.Last().destination, (FrameRect{225, 35, 640, 480}));

    display->SetZoomActive(false);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {colour}, 2));
    EXPECT_EQ(sink.Last().source, (FrameRect{0, 0, 64, 48}));
}

TEST_P(MJpegDisplayTest, MotionSetupDrawsAtTheOriginWithItsZoomPercent)
{
    auto display = Started(kMensiloProfile, 64, 48);
    EXPECT_EQ(window.CountOf(WM_DISPLAY_OPENED), 1);
    display->SetZoomPercent(400);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {colour}, 1));
    EXPECT_EQ(sink.Last().destination, (FrameRect{0, 0, 256, 192}));
    EXPECT_EQ(LogLines(), 0) << "the motion setup keeps no log";
}

TEST_P(MJpegDisplayTest, AFrameThatDoesNotDecodeEndsTheWorkerWith430)
{
    auto display = Started(kKavaroProfile, 64, 48);
    const std::vector<std::uint8_t> notJpeg(500, 0x5A);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {colour, notJpeg, colour}, 1));
    ASSERT_TRUE(WaitFor([&] { return display->IsFinished(); }));
    EXPECT_EQ(exitCode, 430);
    EXPECT_FALSE(display->IsOpen());
    EXPECT_EQ(sink.Count(), 1);
    EXPECT_EQ(chain.Count(), 1u) << "the frame after the bad one waits for the next run";

    // An empty frame is no picture either.
    chain.Clear();
    exitCode = -1;
    ASSERT_TRUE(display->Open(64, 48, {}));
    ASSERT_TRUE(display->Start());
    chain.Append({}, 0);
    ASSERT_TRUE(WaitFor([&] { return display->IsFinished(); }));
    EXPECT_EQ(exitCode, 430);

    // A frame whose header is whole but whose tables are missing fails once its rows are
    // lent: they go back unshown, and what was drawn stays.
    exitCode = -1;
    ASSERT_TRUE(display->Open(64, 48, {}));
    ASSERT_TRUE(display->Start());
    chain.Append(WithoutQuantTables(colour), 0);
    ASSERT_TRUE(WaitFor([&] { return display->IsFinished(); }));
    EXPECT_EQ(exitCode, 430);
    EXPECT_EQ(sink.Count(), 1);
    EXPECT_EQ(sink.DroppedRows(), GetParam() ? 1 : 0);
    EXPECT_TRUE(sink.LentRowsWellUsed());
}

TEST_P(MJpegDisplayTest, CaptureKeepsAFullCopyAtThePictureSizeAndAPreview)
{
    auto display = Started(kKavaroProfile, 64, 48);
    EXPECT_EQ(display->TakeFullCopy(), nullptr);
    display->RequestCapture();
    EXPECT_TRUE(display->CaptureRequested());
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {colour}, 1));
    ASSERT_TRUE(WaitFor([&] { return !display->CaptureRequested(); }));
    std::unique_ptr<CxImage> full = display->TakeFullCopy();
    std::unique_ptr<CxImage> preview = display->TakePreviewCopy();
    ASSERT_TRUE(full && full->IsValid());
    ASSERT_TRUE(preview && preview->IsValid());
    EXPECT_EQ(display->TakeFullCopy(), nullptr) << "handed over once";

    EXPECT_EQ(sink.Lent(), 0) << "a capture takes the bitmap's way";
    const std::vector<std::uint8_t>& drawn = sink.Last().packed;
    EXPECT_EQ(full->GetWidth(), 64u);
    EXPECT_EQ(full->GetHeight(), 48u);
    EXPECT_EQ(full->GetBpp(), 24);
    const auto* fullPixels = static_cast<const std::uint8_t*>(full->GetDIB()) + 40;
    EXPECT_TRUE(std::equal(drawn.begin() + 40, drawn.end(), fullPixels));

    // 64 to 320 samples x = i / 5: every fifth preview pixel is a source pixel.
    EXPECT_EQ(preview->GetWidth(), 320u);
    EXPECT_EQ(preview->GetHeight(), 240u);
    for (int b = 0; b < 48; b += 7)
        for (int a = 0; a < 64; a += 9) {
            const std::uint8_t* row = preview->RowPointer(239 - 5 * b);
            const auto source = PixelAt(drawn, a, b);
            EXPECT_TRUE(std::equal(source.begin(), source.end(), row + 15 * a)) << a << "," << b;
        }
}

TEST_P(MJpegDisplayTest, CaptureResizesToTheOpenedSizeAndServesGreyPictures)
{
    // The stream said 32 by 24; the full copy is made at that size.
    auto display = Started(kKavaroProfile, 32, 24);
    display->RequestCapture();
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {colour}, 1));
    ASSERT_TRUE(WaitFor([&] { return !display->CaptureRequested(); }));
    std::unique_ptr<CxImage> full = display->TakeFullCopy();
    ASSERT_TRUE(full && full->IsValid());
    EXPECT_EQ(full->GetWidth(), 32u);
    EXPECT_EQ(full->GetHeight(), 24u);
    const std::vector<std::uint8_t>& drawn = sink.Last().packed;
    const auto source = PixelAt(drawn, 2 * 5, 2 * 7);
    EXPECT_TRUE(std::equal(source.begin(), source.end(), full->RowPointer(23 - 7) + 3 * 5));

    // A grey picture is captured too, as 24-bit colour.
    display->RequestCapture();
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {grey}, 2));
    ASSERT_TRUE(WaitFor([&] { return !display->CaptureRequested(); }));
    full = display->TakeFullCopy();
    std::unique_ptr<CxImage> preview = display->TakePreviewCopy();
    ASSERT_TRUE(full && full->IsValid() && preview && preview->IsValid());
    EXPECT_EQ(full->GetBpp(), 24);
    const std::uint8_t greyTopLeft = ReadDataFile("image/grey.gray")[0];
    EXPECT_EQ(preview->RowPointer(239)[0], greyTopLeft);
    EXPECT_EQ(preview->RowPointer(239)[2], greyTopLeft);
}

TEST_P(MJpegDisplayTest, ZoomPercentIsClampedAndZeroDrawsNothing)
{
    auto display = Started(kMensiloProfile, 64, 48);
    display->SetZoomPercent(100000);
    EXPECT_EQ(display->ZoomPercent(), CDisplayWorker::kMaxZoomPercent);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {colour}, 1));
    EXPECT_EQ(sink.Last().destination, (FrameRect{0, 0, 64 * 8, 48 * 8}));

    display->SetZoomPercent(-5);
    EXPECT_EQ(display->ZoomPercent(), 0);
    display->RequestCapture();
    chain.Append(colour, 0);
    ASSERT_TRUE(WaitFor([&] { return !display->CaptureRequested(); })) << "a capture is still served";
    ASSERT_TRUE(WaitFor([&] { return chain.Count() == 0; }));
    EXPECT_EQ(sink.Count(), 1) << "nothing drawn at 0 %";
    EXPECT_FALSE(display->IsFinished());

    // Without a capture, pictures at 0 % are still decoded (a bad one would end the run),
    // into rows of the worker's own.
    const int lent = sink.Lent();
    chain.Append(colour, 0);
    ASSERT_TRUE(WaitFor([&] { return chain.Count() == 0; }));
    chain.Append(std::vector<std::uint8_t>(64, 0x5A), 0);
    ASSERT_TRUE(WaitFor([&] { return display->IsFinished(); }));
    EXPECT_EQ(exitCode, 430);
    EXPECT_EQ(sink.Count(), 1);
    EXPECT_EQ(sink.Lent(), lent);
    EXPECT_TRUE(sink.LentRowsWellUsed());
}

INSTANTIATE_TEST_SUITE_P(Sink, MJpegDisplayTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Rows" : "Dib"; });

} // namespace
} // namespace kv::test
