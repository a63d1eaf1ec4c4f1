#include "recording_events.h"
#include "streamgen.h"

#include "stream/debug_log.h"
#include "stream/frame_chain.h"
#include "stream/frame_text.h"
#include "stream/keeping_rules.h"
#include "stream/mjpg_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace kv {
namespace {

using streamgen::Bytes;
using streamgen::MjpgAudioChunk;
using streamgen::MjpgChunk;
using streamgen::MjpgHeaderFields;
using streamgen::MjpgVideoChunks;
using streamgen::PatternBytes;
using testing::RecordingMjpgEvents;

const std::string kBusyMessage =
    "Unable to connect to Camera - too many users already connected or\ndevice is busy. Please try again later.";

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// Two frames: the first in three chunks with an audio chunk between its chunks, the second
// in one chunk; then a second audio chunk.
struct SampleStream {
    Bytes bytes;
    Bytes frame1 = PatternBytes(2600, 11);
    Bytes frame2 = PatternBytes(700, 12);
    Bytes audio1 = PatternBytes(1920, 13);
    Bytes audio2 = PatternBytes(1920, 14);

    SampleStream()
    {
        const auto chunks = MjpgVideoChunks(frame1, 640, 480, 1001, "first frame", 1000);
        Append(bytes, chunks[0]);
        Append(bytes, MjpgAudioChunk(audio1, 4, 2001, "audio one"));
        Append(bytes, chunks[1]);
        Append(bytes, chunks[2]);
        Append(bytes, MjpgVideoChunks(frame2, 320, 240, 1002, "second frame", 4096)[0]);
        Append(bytes, MjpgAudioChunk(audio2, 5, 2002, "audio two"));
    }
};

void ExpectSampleParsed(const SampleStream& s, const RecordingMjpgEvents& ev)
{
    ASSERT_EQ(ev.video.size(), 2u);
    EXPECT_EQ(ev.video[0].data, s.frame1);
    EXPECT_EQ(ev.video[0].timestamp, 1001u);
    EXPECT_EQ(ev.video[0].text, "first frame");
    EXPECT_EQ(ev.video[1].data, s.frame2);
    EXPECT_EQ(ev.video[1].timestamp, 1002u);
    EXPECT_EQ(ev.video[1].text, "second frame");
    ASSERT_EQ(ev.audio.size(), 2u);
    EXPECT_EQ(ev.audio[0].data, s.audio1);
    EXPECT_EQ(ev.audio[0].timestamp, 2001u);
    EXPECT_EQ(ev.audio[0].text, "audio one");
    EXPECT_EQ(ev.audio[1].data, s.audio2);
    EXPECT_EQ(ev.audio[1].text, "audio two");
    // Display started once with the first chunk's size; audio asked once with the first code.
    ASSERT_EQ(ev.displayStarts.size(), 1u);
    EXPECT_EQ(ev.displayStarts[0][0], 640);
    EXPECT_EQ(ev.displayStarts[0][1], 480);
    EXPECT_EQ(ev.audioStarts, std::vector<std::uint16_t>{4});
}

TEST(MjpgParser, EverySplitOffsetAssemblesTheSameFrames)
{
    const SampleStream s;
    for (std::size_t cut = 0; cut <= s.bytes.size(); ++cut) {
        RecordingMjpgEvents ev;
        CMjpgParser parser(kKavaroProfile, ev);
        const std::span<const std::uint8_t> all(s.bytes);
        ASSERT_FALSE(parser.Feed(all.first(cut))) << cut;
        ASSERT_FALSE(parser.Feed(all.subspan(cut))) << cut;
        ExpectSampleParsed(s, ev);
        if (HasFatalFailure() || HasFailure()) {
            ADD_FAILURE() << "split at " << cut;
            return;
        }
    }
}

TEST(MjpgParser, BlocksOfAnySizeIncludingSingleBytes)
{
    const SampleStream s;
    for (std::size_t block : {std::size_t{1}, std::size_t{7}, std::size_t{47}, std::size_t{48},
                              std::size_t{49}, std::size_t{2048}}) {
        RecordingMjpgEvents ev;
        CMjpgParser parser(kKavaroProfile, ev);
        for (std::size_t at = 0; at < s.bytes.size(); at += block) {
            const std::size_t n = std::min(block, s.bytes.size() - at);
            ASSERT_FALSE(parser.Feed(std::span<const std::uint8_t>(s.bytes).subspan(at, n)));
        }
        ExpectSampleParsed(s, ev);
        EXPECT_FALSE(parser.FrameInProgress());
    }
}

TEST(MjpgParser, OneChunkFrameIsHandedOverAtOnce)
{
    const Bytes jpeg = streamgen::TinyJpeg();
    const Bytes chunk = MjpgVideoChunks(jpeg, 8, 8, 77, "one", 65535)[0];
    RecordingMjpgEvents ev;
    CMjpgParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(parser.Feed(chunk));
    ASSERT_EQ(ev.video.size(), 1u);
    EXPECT_EQ(ev.video[0].data, jpeg);
    EXPECT_EQ(ev.video[0].timestamp, 77u);
    EXPECT_FALSE(parser.FrameInProgress());
    EXPECT_TRUE(parser.DisplayStarted());
}

TEST(MjpgParser, FrameLargerThanItsFirstReservation)
{
    const Bytes frame = PatternBytes(1200 * 1024, 4);
    Bytes stream;
    for (const auto& c : MjpgVideoChunks(frame, 1024, 768, 1, "big", 65535))
        Append(stream, c);
    RecordingMjpgEvents ev;
    CMjpgParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(parser.Feed(stream));
    ASSERT_EQ(ev.video.size(), 1u);
    EXPECT_EQ(ev.video[0].data, frame);
}

TEST(MjpgParser, FrameTakesTimestampAndTextOfItsFirstChunk)
{
    const Bytes frame = PatternBytes(300, 5);
    auto chunks = MjpgVideoChunks(frame, 160, 120, 10, "first", 100);
    // Later chunks carry other values, and another size, which must not count.
    MjpgHeaderFields f;
    f.frameSize = 300;
    f.width = 999;
    f.height = 999;
    f.frameOffset = 100;
    f.chunkSize = 100;
    f.timestamp = 20;
    f.text = "second";
    chunks[1] = MjpgChunk(f, std::span<const std::uint8_t>(frame).subspan(100, 100));
    Bytes stream;
    for (const auto& c : chunks)
        Append(stream, c);
    RecordingMjpgEvents ev;
    CMjpgParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(parser.Feed(stream));
    ASSERT_EQ(ev.video.size(), 1u);
    EXPECT_EQ(ev.video[0].data, frame);
    EXPECT_EQ(ev.video[0].timestamp, 10u);
    EXPECT_EQ(ev.video[0].text, "first");
    EXPECT_EQ(ev.displayStarts.size(), 1u);
    EXPECT_EQ(ev.displayStarts[0][0], 160);
}

TEST(MjpgParser, TwentyCharacterTextWithoutNul)
{
    const Bytes chunk = MjpgVideoChunks(PatternBytes(10, 1), 8, 8, 1, "ABCDEFGHIJKLMNOPQRST", 100)[0];
    RecordingMjpgEvents ev;
    CMjpgParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(parser.Feed(chunk));
    ASSERT_EQ(ev.video.size(), 1u);
    EXPECT_EQ(ev.video[0].text, "ABCDEFGHIJKLMNOPQRST");
}

struct FailureCase {
    const char* name;
    Bytes stream;
    int code;
    std::string message;
};

Bytes WithHeader(MjpgHeaderFields f, std::size_t payload = 0)
{
    f.chunkSize = static_cast<std::uint16_t>(payload);
    return MjpgChunk(f, PatternBytes(payload, 9));
}

std::vector<FailureCase> FailureCases()
{
    std::vector<FailureCase> cases;
    MjpgHeaderFields good;
    good.frameSize = 100;

    {
        MjpgHeaderFields f = good;
        f.type = 3;
        f.tag = {'X', 'X', 'X', 'X'};  // a bad tag too: the type is checked first
        f.version = 9;
        cases.push_back({"type", WithHeader(f), 430, "Header type error."});
    }
    {
        MjpgHeaderFields f = good;
        f.type = 0;
        cases.push_back({"type zero", WithHeader(f), 430, "Header type error."});
    }
    {
        MjpgHeaderFields f = good;
        f.tag = {'M', 'J', 'P', 'g'};
        f.version = 9;  // the tag is checked before the version
        cases.push_back({"tag", WithHeader(f), 430, "Header tag error."});
    }
    {
        MjpgHeaderFields f = good;
        f.version = 2;
        cases.push_back({"version", WithHeader(f), 430, "Header version error."});
    }
    {
        MjpgHeaderFields f = good;
        f.type = 2;
        f.version = 0;
        cases.push_back({"audio version", WithHeader(f), 430, "Header version error."});
    }
    {
        MjpgHeaderFields f = good;
        f.frameOffset = 40;
        cases.push_back({"starts mid-frame", WithHeader(f, 60), 430, "Header frame begin offset location error."});
    }
    {
        MjpgHeaderFields f = good;
        Bytes s = WithHeader(f, 40);
        f.frameOffset = 50;  // 40 received
        Append(s, WithHeader(f, 50));
        cases.push_back({"offset gap", s, 430, "Header frame offset location error."});
    }
    {
        MjpgHeaderFields f = good;
        Bytes s = WithHeader(f, 40);
        f.frameOffset = 0;  // repeats the start while a frame is in progress
        Append(s, WithHeader(f, 40));
        cases.push_back({"offset repeated", s, 430, "Header frame offset location error."});
    }
    return cases;
}

TEST(MjpgParser, EachHeaderCheckFailsWithItsCodeAndText)
{
    for (const auto& c : FailureCases()) {
        for (const ModuleProfile* profile : {&kKavaroProfile, &kMensiloProfile}) {
            RecordingMjpgEvents ev;
            CMjpgParser parser(*profile, ev);
            const auto failure = parser.Feed(c.stream);
            ASSERT_TRUE(failure) << c.name;
            EXPECT_EQ(failure->Code(), c.code) << c.name;
            EXPECT_EQ(failure->Message(), c.message) << c.name;
            EXPECT_TRUE(ev.video.empty()) << c.name;
        }
    }
}

TEST(MjpgParser, FailureIsFinalUntilReset)
{
    MjpgHeaderFields f;
    f.version = 3;
    RecordingMjpgEvents ev;
    CMjpgParser parser(kKavaroProfile, ev);
    ASSERT_TRUE(parser.Feed(WithHeader(f)));
    const SampleStream s;
    const auto again = parser.Feed(s.bytes);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Message(), "Header version error.");
    EXPECT_TRUE(ev.video.empty());
    parser.Reset();
    ASSERT_FALSE(parser.Feed(s.bytes));
    ExpectSampleParsed(s, ev);
}

TEST(MjpgParser, ChunkCarryingTheFramePastItsSizeIsRejected)
{
    MjpgHeaderFields f;
    f.frameSize = 100;
    Bytes s = WithHeader(f, 60);
    f.frameOffset = 60;
    Append(s, WithHeader(f, 41));
    RecordingMjpgEvents ev;
    CMjpgParser parser(kKavaroProfile, ev);
    const auto failure = parser.Feed(s);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), 430);
    EXPECT_NE(failure->Message().find("past the end of its frame"), std::string::npos);

    // A single chunk larger than its frame, and a frame size nobody could mean.
    for (const auto& [frameSize, payload] : {std::pair<std::uint32_t, std::size_t>{10, 11},
                                             {0, 1},
                                             {kMjpgMaxFrameSize + 1, 0}}) {
        MjpgHeaderFields g;
        g.frameSize = frameSize;
        RecordingMjpgEvents ev2;
        CMjpgParser p2(kKavaroProfile, ev2);
        const auto f2 = p2.Feed(WithHeader(g, payload));
        ASSERT_TRUE(f2) << frameSize;
        EXPECT_EQ(f2->Code(), 430);
        EXPECT_TRUE(ev2.displayStarts.empty());
    }
}

TEST(MjpgParser, ErrorPagesInTheFirstBlockInTheViewerOnly)
{
    const std::string busy = "HTTP junk<HTML><HEAD><TITLE>503 Service Temporarily Overloaded</TITLE></HEAD></HTML>";
    const std::string auth = "<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD><BODY>no</BODY></HTML>";
    const auto bytes = [](const std::string& s) { return Bytes(s.begin(), s.end()); };

    for (const auto& [page, code, message] :
         {std::tuple{busy, 310, kBusyMessage}, std::tuple{auth, 300, std::string("User name or password error.")}}) {
        RecordingMjpgEvents ev;
        CMjpgParser viewer(kKavaroProfile, ev);
        const auto failure = viewer.Feed(bytes(page));
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Code(), code);
        EXPECT_EQ(failure->Message(), message);

        // The motion setup makes no such test: the page fails later as a broken header.
        CMjpgParser motion(kMensiloProfile, ev);
        const auto later = motion.Feed(bytes(page));
        ASSERT_TRUE(later);
        EXPECT_EQ(later->Code(), 430);
    }

    // Only the first 255 bytes of the first block count.
    RecordingMjpgEvents ev;
    CMjpgParser late(kKavaroProfile, ev);
    const auto failure = late.Feed(bytes(std::string(240, ' ') + auth));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), 430);

    CMjpgParser secondBlock(kKavaroProfile, ev);
    ASSERT_FALSE(secondBlock.Feed(MjpgVideoChunks(PatternBytes(300, 1), 8, 8, 1, "", 300)[0]));
    const auto inLaterBlock = secondBlock.Feed(bytes(auth));
    ASSERT_TRUE(inLaterBlock);
    EXPECT_EQ(inLaterBlock->Code(), 430);  // a header error, not 300
}

TEST(MjpgParser, AudioStartedOnceAndItsOutcomeDecides)
{
    const Bytes g726 = PatternBytes(1920, 2);
    Bytes stream;
    Append(stream, MjpgAudioChunk(g726, 3, 1, "a"));
    Append(stream, MjpgAudioChunk(g726, 5, 2, "b"));
    Append(stream, MjpgVideoChunks(PatternBytes(50, 3), 8, 8, 3, "v", 100)[0]);

    RecordingMjpgEvents refused;
    refused.audioStartResult = false;
    CMjpgParser parser(kKavaroProfile, refused);
    ASSERT_FALSE(parser.Feed(stream));
    EXPECT_EQ(refused.audioStarts, std::vector<std::uint16_t>{3});
    EXPECT_TRUE(refused.audio.empty());
    EXPECT_EQ(refused.video.size(), 1u);  // the skipped audio payload did not disturb the walk
    EXPECT_TRUE(parser.AudioAttempted());
    EXPECT_FALSE(parser.AudioStarted());

    // A new connection tries again.
    parser.Reset();
    refused.audioStartResult = true;
    ASSERT_FALSE(parser.Feed(stream));
    EXPECT_EQ(refused.audioStarts, (std::vector<std::uint16_t>{3, 3}));
    EXPECT_EQ(refused.audio.size(), 2u);

    RecordingMjpgEvents motion;
    CMjpgParser motionParser(kMensiloProfile, motion);
    ASSERT_FALSE(motionParser.Feed(stream));
    EXPECT_TRUE(motion.audioStarts.empty());
    EXPECT_TRUE(motion.audio.empty());
    EXPECT_EQ(motion.video.size(), 1u);
}

// The player's part: completed frames go through the keeping rule, which sets the text.
class ChainPlayer : public RecordingMjpgEvents {
public:
    void OnVideoFrame(std::vector<std::uint8_t>&& frame, std::uint32_t timestamp, const std::string& text) override
    {
        KeepMjpgVideoFrame(videoChain, currentText, std::move(frame), timestamp, text);
    }
    CFrameChain videoChain;
    CurrentFrameText currentText;
};

TEST(MjpgParser, FrameTextChangesOnlyWithCompletedFrames)
{
    SetLogPath(::testing::TempDir() + "mjpg_text_test.log");
    ChainPlayer player;
    CMjpgParser parser(kKavaroProfile, player);
    const auto a = MjpgVideoChunks(PatternBytes(200, 1), 8, 8, 1, "frame A", 100);
    const auto b = MjpgVideoChunks(PatternBytes(200, 2), 8, 8, 2, "frame B", 100);
    ASSERT_FALSE(parser.Feed(a[0]));
    EXPECT_EQ(player.currentText.Get(), "");
    ASSERT_FALSE(parser.Feed(a[1]));
    EXPECT_EQ(player.currentText.Get(), "frame A");
    ASSERT_FALSE(parser.Feed(b[0]));
    ASSERT_FALSE(parser.Feed(std::span<const std::uint8_t>(b[1]).first(60)));
    EXPECT_EQ(player.currentText.Get(), "frame A");
    ASSERT_FALSE(parser.Feed(std::span<const std::uint8_t>(b[1]).subspan(60)));
    EXPECT_EQ(player.currentText.Get(), "frame B");
    EXPECT_EQ(player.videoChain.Count(), 2u);
}

TEST(MjpgParser, EmptyChunksAndFrames)
{
    // A zero-length audio chunk is one (empty) audio frame; a zero-size video frame completes
    // at its header.
    Bytes stream = MjpgAudioChunk({}, 4, 5, "");
    Append(stream, MjpgVideoChunks({}, 8, 8, 6, "", 100)[0]);
    RecordingMjpgEvents ev;
    CMjpgParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(parser.Feed(stream));
    ASSERT_EQ(ev.audio.size(), 1u);
    EXPECT_TRUE(ev.audio[0].data.empty());
    ASSERT_EQ(ev.video.size(), 1u);
    EXPECT_TRUE(ev.video[0].data.empty());
    EXPECT_FALSE(parser.FrameInProgress());
}

} // namespace
} // namespace kv
