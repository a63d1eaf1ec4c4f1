// The MPEG-4 display worker: pictures equal to what the decoder makes of the stream, drawn at
// the size decoded; the keeping factor N; the motion setup's every-third rule; capture.
#include "display_test_support.h"

#include "display/display_worker.h"
#include "mpeg4/stream_builder.h"
#include "stream/errors.h"
#include "stream/keeping_rules.h"
#include "ximage.h"

#include <gtest/gtest.h>

namespace kv::test {
namespace {

// Each case runs twice: with a sink that takes bitmaps only, and with one that lends rows to
// convert into.
class Mpeg4DisplayTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { sink.lendRows = GetParam(); }
    void TearDown() override { SetAsfVideoKeepFactor(kAsfVideoKeepFactorAtLoad); }

    std::unique_ptr<CMpeg4Display> Started(const ModuleProfile& profile, int width, int height,
                                           const std::vector<std::uint8_t>& config)
    {
        auto display = std::make_unique<CMpeg4Display>(profile, chain);
        display->SetSink(&sink);
        display->SetWindow(&window);
        display->SetExitCallback([this](int code) { exitCode = code; });
        EXPECT_TRUE(display->Open(width, height, config));
        EXPECT_TRUE(display->Start());
        return display;
    }

    CFrameChain chain;
    RecordingSink sink;
    RecordingWindow window;
    std::atomic<int> exitCode{-1};
};

TEST_P(Mpeg4DisplayTest, EveryPictureIsDrawnAsDecodedWithItsOwnHeader)
{
    const M4vStream stream = LoadM4v("camsim_320x240");
    ASSERT_GE(stream.frames.size(), 8u);
    const std::vector<std::vector<std::uint8_t>> frames(stream.frames.begin(), stream.frames.begin() + 8);
    const auto reference = ReferencePictures(kKavaroProfile, {stream.config, frames});

    auto display = Started(kKavaroProfile, 320, 240, stream.config);
    EXPECT_EQ(window.CountOf(WM_DISPLAY_OPENED), 1);
    EXPECT_TRUE(display->IsOpen());
    ASSERT_TRUE(DrawFrames(*display, chain, sink, frames, 8));
    const auto pictures = sink.Pictures();
    ASSERT_EQ(pictures.size(), 8u);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].header.size(), 40u);
        EXPECT_EQ(pictures[i].Width(), 320);
        EXPECT_EQ(pictures[i].Height(), 240);
        EXPECT_EQ(pictures[i].Bits(), 24);
        EXPECT_EQ(pictures[i].source, (FrameRect{0, 0, 320, 240}));
        EXPECT_EQ(pictures[i].destination, (FrameRect{225, 35, 320, 240}));
        EXPECT_TRUE(pictures[i].packed == reference[i]) << "picture " << i;
    }
    EXPECT_EQ(AsfVideoKeepFactor(), 36);
    EXPECT_EQ(sink.ShownFromRows(), GetParam() ? 8 : 0);
    EXPECT_TRUE(sink.LentRowsWellUsed());

    EXPECT_TRUE(display->RequestStop(2000));
    EXPECT_TRUE(display->IsOpen()) << "open until the player releases the decoder";
    display->Release();
    EXPECT_FALSE(display->IsOpen());
    EXPECT_EQ(exitCode, -1);
}

TEST_P(Mpeg4DisplayTest, TheFirstPictureOfEachRunSetsTheKeepingFactor)
{
    struct Case {
        const ModuleProfile& profile;
        const char* fixture;
        int n;
    };
    const Case cases[] = {{kKavaroProfile, "camsim_640x480", 12}, {kKavaroProfile, "mv4_352x288", 36},
                          {kMensiloProfile, "camsim_640x480", 6}, {kMensiloProfile, "camsim_320x240", 18}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.profile.name) + " " + c.fixture);
        const M4vStream stream = LoadM4v(c.fixture);
        ASSERT_GE(stream.frames.size(), 4u);
        SetAsfVideoKeepFactor(99);
        chain.Clear();
        auto display = Started(c.profile, 1, 1, stream.config);
        chain.Append(stream.frames[0], 0);
        ASSERT_TRUE(WaitFor([&] { return AsfVideoKeepFactor() != 99; }));
        EXPECT_EQ(AsfVideoKeepFactor(), c.n);

        // Later pictures of the run leave it alone; the next run's first sets it again.
        SetAsfVideoKeepFactor(99);
        chain.Append(stream.frames[1], 0);
        chain.Append(stream.frames[2], 0);
        ASSERT_TRUE(WaitFor([&] { return chain.Count() == 0; }));
        ASSERT_TRUE(display->RequestStop(2000));
        EXPECT_EQ(AsfVideoKeepFactor(), 99);
        display->Release();
        ASSERT_TRUE(display->Open(1, 1, stream.config));
        ASSERT_TRUE(display->Start());
        chain.Append(stream.frames[0], 0);
        ASSERT_TRUE(WaitFor([&] { return AsfVideoKeepFactor() != 99; }));
        EXPECT_EQ(AsfVideoKeepFactor(), c.n);
        ASSERT_TRUE(display->RequestStop(2000));
    }
}

TEST_P(Mpeg4DisplayTest, MotionSetupDrawsEveryThirdAtTheOriginPostingNoOpening)
{
    const M4vStream stream = LoadM4v("camsim_320x240");
    const std::vector<std::vector<std::uint8_t>> frames(stream.frames.begin(), stream.frames.begin() + 10);
    const auto reference = ReferencePictures(kMensiloProfile, {stream.config, frames});

    auto display = Started(kMensiloProfile, 320, 240, stream.config);
    display->SetZoomPercent(200);
    EXPECT_EQ(window.CountOf(WM_DISPLAY_OPENED), 0);
    for (const auto& frame : frames)
        chain.Append(frame, 0);
    ASSERT_TRUE(WaitFor([&] { return chain.Count() == 0 && sink.Count() == 4; }));
    ASSERT_TRUE(display->RequestStop(2000));
    const auto pictures = sink.Pictures();
    ASSERT_EQ(pictures.size(), 4u) << "pictures 1, 4, 7 and 10 of the run";
    for (std::size_t k = 0; k < pictures.size(); ++k) {
        EXPECT_TRUE(pictures[k].packed == reference[3 * k]) << "drawn picture " << k;
        EXPECT_EQ(pictures[k].destination, (FrameRect{0, 0, 640, 480}));
    }

    // A new run counts from its own first picture.
    display->Release();
    ASSERT_TRUE(display->Open(320, 240, stream.config));
    ASSERT_TRUE(display->Start());
    chain.Append(frames[0], 0);
    ASSERT_TRUE(WaitFor([&] { return sink.Count() == 5; }));
}

TEST_P(Mpeg4DisplayTest, ViewSizeZoomSourceAndZoomPercent)
{
    const M4vStream stream = LoadM4v("camsim_640x480");
    auto display = Started(kKavaroProfile, 640, 480, stream.config);
    display->SetZoomPercent(50);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {stream.frames[0]}, 1));
    EXPECT_EQ(sink.Last().destination, (FrameRect{225, 35, 320, 240}));

    display->SetZoomPercent(200);
    display->SetViewSize(320, 240);
    display->SetZoomSource(160, 120, 320, 240);
    display->SetZoomActive(true);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {stream.frames[1]}, 2));
    EXPECT_EQ(sink.Last().destination, (FrameRect{225, 35, 640, 480}));
    EXPECT_EQ(sink.Last().source, (FrameRect{160, 120, 320, 240}));

    const int lent = sink.Lent();
    display->SetZoomPercent(0);
    chain.Append(stream.frames[2], 0);
    chain.Append(stream.frames[3], 0);
    ASSERT_TRUE(WaitFor([&] { return chain.Count() == 0; }));
    ASSERT_TRUE(display->RequestStop(2000));
    EXPECT_EQ(sink.Count(), 2) << "pictures at 0 % are not drawn";
    EXPECT_EQ(sink.Lent(), lent);
    EXPECT_TRUE(sink.LentRowsWellUsed());
}

TEST_P(Mpeg4DisplayTest, TheConfigurationIsFedAgainUntilAPictureDecodes)
{
    const M4vStream stream = LoadM4v("q2_160x120");
    // Two frames that fail, the second one cut inside its picture header.
    const std::vector<std::uint8_t> junk(64, 0xFF);
    const std::vector<std::uint8_t> cut(stream.frames[0].begin(), stream.frames[0].begin() + 6);
    const std::vector<std::vector<std::uint8_t>> frames{junk, cut, stream.frames[0], stream.frames[1]};
    const auto reference = ReferencePictures(kKavaroProfile, {stream.config, frames});
    ASSERT_TRUE(reference[0].empty() && reference[1].empty() && !reference[2].empty());

    auto display = Started(kKavaroProfile, 160, 120, stream.config);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, frames, 2));
    const auto pictures = sink.Pictures();
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].Width(), 160);
    EXPECT_EQ(pictures[0].Height(), 120);
    EXPECT_TRUE(pictures[0].packed == reference[2]);
    EXPECT_TRUE(pictures[1].packed == reference[3]);
    EXPECT_FALSE(display->IsFinished()) << "frames that do not decode are skipped";
}

TEST_P(Mpeg4DisplayTest, PicturesLargerThanOpenedAreDrawnAtTheirDecodedSize)
{
    // The stream header said 160 by 120; the pictures are 1024 by 768.
    const M4vStream stream = LoadM4v("mpq_1024x768");
    const auto reference = ReferencePictures(kKavaroProfile, stream);
    auto display = Started(kKavaroProfile, 160, 120, stream.config);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, stream.frames, static_cast<int>(stream.frames.size())));
    const auto pictures = sink.Pictures();
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].Width(), 1024);
        EXPECT_EQ(pictures[i].Height(), 768);
        EXPECT_EQ(pictures[i].source, (FrameRect{0, 0, 1024, 768}));
        EXPECT_EQ(pictures[i].destination, (FrameRect{225, 35, 160, 120}));
        EXPECT_TRUE(pictures[i].packed == reference[i]) << i;
    }
    EXPECT_EQ(display->GetPictureSize().width, 160) << "the opened size stays the panel's";
}

TEST_P(Mpeg4DisplayTest, WithoutConfigurationTheEnlargedPictureFitsItsBuffers)
{
    // No layer header at all: the decoder puts out its largest picture doubled, 2048 x 1536.
    M4vStream stream = LoadM4v("mpq_1024x768");
    stream.config.clear();
    const auto reference = ReferencePictures(kKavaroProfile, stream);
    ASSERT_FALSE(reference.front().empty());
    auto display = Started(kKavaroProfile, 1024, 768, {});
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {stream.frames[0]}, 1));
    EXPECT_EQ(sink.Last().Width(), 2048);
    EXPECT_EQ(sink.Last().Height(), 1536);
    EXPECT_TRUE(sink.Last().packed == reference.front());
    EXPECT_EQ(AsfVideoKeepFactor(), 12);
}

TEST_P(Mpeg4DisplayTest, WidthsNotAMultipleOfFourGetAlignedRows)
{
    VolFields vol;
    vol.width = 18;  // 54 bytes a row, 56 aligned
    vol.height = 16;
    VopFields vop;
    vop.timeBits = TimeBits(vol.resolution);
    const int dc[6] = {40, 0, 0, 0, -20, 30};
    M4vStream stream{HeaderBytes(vol), {DcOnlyIntraVop(vop, 2, dc)}};  // two macroblocks cover 18
    const auto reference = ReferencePictures(kMensiloProfile, stream);
    ASSERT_FALSE(reference.front().empty());
    auto display = Started(kMensiloProfile, 18, 16, stream.config);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, stream.frames, 1));
    EXPECT_EQ(sink.Last().Width(), 18);
    EXPECT_TRUE(sink.Last().packed == reference.front());
}

TEST_P(Mpeg4DisplayTest, CaptureCopiesAreTheDrawnPictureAndItsEnlargedPreview)
{
    const M4vStream stream = LoadM4v("q2_160x120");
    auto display = Started(kKavaroProfile, 160, 120, stream.config);
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {stream.frames[0]}, 1));
    display->RequestCapture();
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {stream.frames[1]}, 2));
    ASSERT_TRUE(WaitFor([&] { return !display->CaptureRequested(); }));
    const std::unique_ptr<CxImage> full = display->TakeFullCopy();
    const std::unique_ptr<CxImage> preview = display->TakePreviewCopy();
    ASSERT_TRUE(full && full->IsValid() && preview && preview->IsValid());

    EXPECT_EQ(sink.ShownFromRows(), GetParam() ? 1 : 0) << "the captured picture comes as a bitmap";
    const std::vector<std::uint8_t>& drawn = sink.Last().packed;
    EXPECT_EQ(full->GetWidth(), 160u);
    EXPECT_EQ(full->GetHeight(), 120u);
    EXPECT_TRUE(std::equal(drawn.begin() + 40, drawn.end(), static_cast<const std::uint8_t*>(full->GetDIB()) + 40));
    EXPECT_EQ(preview->GetWidth(), 320u);
    EXPECT_EQ(preview->GetHeight(), 240u);
    int wrong = 0;
    for (int b = 0; b < 120; ++b)
        for (int a = 0; a < 160; ++a) {
            const auto source = PixelAt(drawn, a, b);
            wrong += !std::equal(source.begin(), source.end(), preview->RowPointer(239 - 2 * b) + 6 * a);
        }
    EXPECT_EQ(wrong, 0) << "even preview pixels are the source's own";
}

TEST_P(Mpeg4DisplayTest, OpenWaitsForTheOldRunAndReleaseLeavesARunningDecoderAlone)
{
    const M4vStream stream = LoadM4v("q2_160x120");
    auto display = Started(kKavaroProfile, 160, 120, stream.config);
    EXPECT_FALSE(display->Open(160, 120, stream.config)) << "still running";
    display->Release();
    EXPECT_TRUE(display->IsOpen());
    ASSERT_TRUE(DrawFrames(*display, chain, sink, {stream.frames[0]}, 1));
    ASSERT_TRUE(display->RequestStop(2000));
    display->Release();
    EXPECT_FALSE(display->IsOpen());
    chain.Append(stream.frames[1], 0);
    ASSERT_TRUE(display->Start());  // never opened again: frames are passed over
    ASSERT_TRUE(WaitFor([&] { return chain.Count() == 0; }));
    ASSERT_TRUE(display->RequestStop(2000));
    EXPECT_EQ(sink.Count(), 1);
}

INSTANTIATE_TEST_SUITE_P(Sink, Mpeg4DisplayTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Rows" : "Dib"; });

} // namespace
} // namespace kv::test

namespace kv::test {
namespace {

// Failures inside a worker end it with the code of their kind, for both workers.
TEST(DisplayWorkerFailures, ExceptionsEndTheWorkerWithTheirResultCode)
{
    const std::vector<std::uint8_t> jpeg = ReadDataFile("image/color.jpg");
    const M4vStream stream = LoadM4v("q2_160x120");
    struct Case {
        std::function<void()> raise;
        int code;
    };
    const Case cases[] = {
        {[] { throw std::bad_alloc(); }, 100},
        {[] { throw CFileException("disk"); }, 400},
        {[] { throw CInternetException("net"); }, 800},
        {[] { throw std::runtime_error("other"); }, 800},
        {[] { throw 7; }, 800},
    };
    for (const Case& c : cases) {
        for (bool mpeg4 : {false, true}) {
            CFrameChain chain;
            RecordingSink sink;
            sink.onPresent = c.raise;
            std::atomic<int> code{-1};
            std::unique_ptr<CDisplayWorker> worker;
            if (mpeg4)
                worker = std::make_unique<CMpeg4Display>(kKavaroProfile, chain);
            else
                worker = std::make_unique<CMJpegDisplay>(kKavaroProfile, chain);
            worker->SetSink(&sink);
            worker->SetExitCallback([&code](int result) { code = result; });
            ASSERT_TRUE(worker->Open(160, 120, mpeg4 ? std::span<const std::uint8_t>(stream.config) : std::span<const std::uint8_t>()));
            ASSERT_TRUE(worker->Start());
            chain.Append(mpeg4 ? stream.frames[0] : jpeg, 0);
            ASSERT_TRUE(WaitFor([&] { return code.load() != -1; }));
            EXPECT_EQ(code, c.code) << (mpeg4 ? "MPEG-4" : "Motion-JPEG");
            EXPECT_TRUE(WaitFor([&] { return worker->IsFinished(); }));
            if (!mpeg4) {
                EXPECT_FALSE(worker->IsOpen());
            }
            worker->Release();
        }
    }
}

} // namespace
} // namespace kv::test
