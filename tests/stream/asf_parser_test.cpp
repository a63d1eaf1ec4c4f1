#include "recording_events.h"
#include "streamgen.h"

#include "stream/asf_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace kv {
namespace {

using namespace streamgen;
using testing::RecordingAsfEvents;

constexpr std::uint32_t kPacket = 256;

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

AsfHeaderOptions Options(bool audio)
{
    AsfHeaderOptions o;
    o.packetSize = kPacket;
    o.video = AsfVideoFormat{352, 288, {0x00, 0x00, 0x01, 0xB0, 0x03}};
    if (audio)
        o.audio = AsfAudioFormat{4};
    return o;
}

// Feeds the stream in the reads a player makes; returns the failure if any, and requires
// that every byte was used otherwise.
std::optional<CPlayerException> FeedStream(CAsfParser& parser, const Bytes& stream)
{
    std::size_t consumed = 0;
    auto failure = parser.FeedAvailable(stream, consumed);
    if (!failure) {
        EXPECT_EQ(consumed, stream.size());
    }
    return failure;
}

void ExpectFailure(const Bytes& stream, int code, const std::string& messagePart,
                   const ModuleProfile& profile = kKavaroProfile)
{
    RecordingAsfEvents ev;
    CAsfParser parser(profile, ev);
    const auto failure = FeedStream(parser, stream);
    ASSERT_TRUE(failure) << messagePart;
    EXPECT_EQ(failure->Code(), code) << failure->Message();
    EXPECT_NE(failure->Message().find(messagePart), std::string::npos) << failure->Message();
    EXPECT_EQ(parser.CurrentStage(), CAsfParser::Stage::Failed);
}

TEST(AsfParser, PlayerReadPatternAndStreamStarts)
{
    const Bytes header = AsfHeader(Options(true));
    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    EXPECT_EQ(parser.NextReadSize(), 30u);
    ASSERT_FALSE(parser.Feed(std::span<const std::uint8_t>(header).first(30)));
    const std::size_t rest = parser.NextReadSize();
    EXPECT_EQ(rest, AsfHeaderObjects(Options(true)).size());
    ASSERT_FALSE(parser.Feed(std::span<const std::uint8_t>(header).subspan(30, rest)));
    EXPECT_EQ(parser.NextReadSize(), 50u);
    EXPECT_FALSE(parser.InPacketMode());
    ASSERT_FALSE(parser.Feed(std::span<const std::uint8_t>(header).subspan(30 + rest)));
    EXPECT_TRUE(parser.InPacketMode());
    EXPECT_EQ(parser.PacketSize(), kPacket);
    EXPECT_EQ(parser.NextReadSize(), kPacket);
    ASSERT_EQ(ev.videoStarts.size(), 1u);
    EXPECT_EQ(ev.videoStarts[0][0], 352);
    EXPECT_EQ(ev.videoStarts[0][1], 288);
    EXPECT_EQ(ev.videoConfig, (Bytes{0x00, 0x00, 0x01, 0xB0, 0x03}));
    EXPECT_EQ(ev.audioStarts, std::vector<std::uint16_t>{4});
    EXPECT_TRUE(parser.AudioEnabled());

    // A short read is a read failure.
    const auto failure = parser.Feed(Bytes(kPacket - 1));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), 400);
    EXPECT_EQ(failure->Message(), "data reading error.");
}

TEST(AsfParser, UnknownHeaderObjectsAreSkipped)
{
    AsfHeaderOptions o = Options(false);
    o.extraObjects.push_back(AsfObject(Guid{1, 2, 3}, PatternBytes(40, 1)));
    o.extraObjects.push_back(AsfObject(Guid{4, 5, 6}, {}));
    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(FeedStream(parser, AsfHeader(o)));
    EXPECT_TRUE(parser.InPacketMode());
    EXPECT_EQ(ev.videoStarts.size(), 1u);
}

TEST(AsfParser, VideoObjectAcrossTwoPacketsWithAudioBetween)
{
    Bytes stream = AsfHeader(Options(true));
    const Bytes frame = PatternBytes(400, 1);
    const Bytes g726 = PatternBytes(100, 2);
    AsfPacketWriter writer(kPacket);
    writer.AddVideoObject(frame, 4000, true);
    writer.AddAudioObject(g726, 4001);
    writer.AddVideoObject(PatternBytes(30, 3), 4040, false);
    ASSERT_EQ(writer.Flush(stream), 3u);  // video part, then audio + video rest, ...

    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(FeedStream(parser, stream));
    ASSERT_EQ(ev.video.size(), 2u);
    EXPECT_EQ(ev.video[0].data, frame);
    EXPECT_EQ(ev.video[0].timestamp, 4000u);
    EXPECT_TRUE(ev.video[0].keyFrame);
    EXPECT_EQ(ev.video[1].timestamp, 4040u);
    EXPECT_FALSE(ev.video[1].keyFrame);
    ASSERT_EQ(ev.audio.size(), 1u);
    EXPECT_EQ(ev.audio[0].data, g726);
    EXPECT_EQ(ev.audio[0].timestamp, 4001u);
    std::string order = ev.order;
    std::erase(order, 'T');  // zero padding after a completing payload reads as empty text
    EXPECT_EQ(order, "AVV");
}

TEST(AsfParser, ManyObjectsAnyPacketSize)
{
    for (std::uint32_t packetSize : {33u, 100u, 1024u, 4100u}) {
        const Bytes big = PatternBytes(packetSize == 4100u ? 1200 * 1024 : 0, 77);
        AsfHeaderOptions o = Options(true);
        o.packetSize = packetSize;
        Bytes stream = AsfHeader(o);
        AsfPacketWriter writer(packetSize);
        std::vector<Bytes> frames;
        for (std::uint32_t i = 0; i < 20; ++i) {
            frames.push_back(PatternBytes(1 + i * 397 % 5000, i));
            writer.AddVideoObject(frames.back(), i, i % 5 == 0);
            writer.AddAudioObject(PatternBytes(240, 100 + i), 1000 + i);
        }
        if (!big.empty()) {
            frames.push_back(big);  // larger than the first reservation
            writer.AddVideoObject(big, 99, false);
        }
        writer.Flush(stream);
        RecordingAsfEvents ev;
        CAsfParser parser(kKavaroProfile, ev);
        ASSERT_FALSE(FeedStream(parser, stream)) << packetSize;
        ASSERT_EQ(ev.video.size(), frames.size()) << packetSize;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(ev.video[i].data, frames[i]);
            EXPECT_EQ(ev.video[i].keyFrame, i % 5 == 0 && i < 20);
        }
        EXPECT_EQ(ev.audio.size(), 20u);
    }
}

TEST(AsfParser, NoAudioStreamOrAudioRefusedMeansNoAudioFrames)
{
    const Bytes frame = PatternBytes(300, 1);
    const auto streamWith = [&](bool audioInHeader) {
        Bytes s = AsfHeader(Options(audioInHeader));
        AsfPacketWriter writer(kPacket);
        writer.AddAudioObject(PatternBytes(500, 9), 1);  // long, so a continuation is skipped too
        writer.AddVideoObject(frame, 2, true);
        writer.AddAudioObject(PatternBytes(100, 8), 3);
        writer.Flush(s);
        return s;
    };
    {
        RecordingAsfEvents ev;
        CAsfParser parser(kKavaroProfile, ev);
        ASSERT_FALSE(FeedStream(parser, streamWith(false)));
        EXPECT_TRUE(ev.audioStarts.empty());
        EXPECT_FALSE(parser.AudioEnabled());
        EXPECT_TRUE(ev.audio.empty());
        ASSERT_EQ(ev.video.size(), 1u);
        EXPECT_EQ(ev.video[0].data, frame);
    }
    {
        RecordingAsfEvents ev;
        ev.audioStartResult = false;
        CAsfParser parser(kKavaroProfile, ev);
        ASSERT_FALSE(FeedStream(parser, streamWith(true)));
        EXPECT_EQ(ev.audioStarts.size(), 1u);
        EXPECT_TRUE(ev.audio.empty());
        EXPECT_EQ(ev.video.size(), 1u);
    }
    {
        // The motion setup ignores the audio stream properties and discards audio payloads.
        RecordingAsfEvents ev;
        CAsfParser parser(kMensiloProfile, ev);
        ASSERT_FALSE(FeedStream(parser, streamWith(true)));
        EXPECT_TRUE(ev.audioStarts.empty());
        EXPECT_TRUE(ev.audio.empty());
        EXPECT_EQ(ev.video.size(), 1u);
    }
}

TEST(AsfParser, BusyPageAndForeignHeader)
{
    const std::string busy = "<HTML><HEAD><TITLE>503 Service Temporarily Overloaded</TITLE>";
    Bytes page(busy.begin(), busy.end());
    ExpectFailure(page, 310,
                  "Unable to connect to Camera - too many users already connected or\ndevice is busy. Please try again later.");

    const std::string auth = "<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD></HTML>";
    RecordingAsfEvents ev;
    CAsfParser parser(kMensiloProfile, ev);
    const auto failure = FeedStream(parser, Bytes(auth.begin(), auth.end()));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), 300);
    EXPECT_EQ(failure->Message(), "User name or password error");
}

Bytes HeaderThenPacket(const AsfRawPacket& packet, bool audio = true)
{
    Bytes s = AsfHeader(Options(audio));
    Append(s, AsfPacket(kPacket, packet));
    return s;
}

TEST(AsfParser, UnknownStreamNumber)
{
    AsfRawPacket packet;
    packet.payloads.push_back({.streamByte = 0x03, .objectSize = 4, .data = {1, 2, 3, 4}});
    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    const auto failure = FeedStream(parser, HeaderThenPacket(packet));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), 420);
    EXPECT_EQ(failure->Message(), "Bad StreamNo: 3");

    packet.payloads[0].streamByte = 0xFF;
    CAsfParser parser2(kKavaroProfile, ev);
    EXPECT_EQ(FeedStream(parser2, HeaderThenPacket(packet))->Message(), "Bad StreamNo: 255");
}

TEST(AsfParser, OverfilledObjects)
{
    // A second starting payload is fine; a continuation adding more than announced is not.
    AsfRawPacket packet;
    packet.payloads.push_back({.streamByte = 0x01, .objectSize = 6, .data = {1, 2, 3, 4}});
    packet.payloads.push_back({.streamByte = 0x01, .offset = 0, .replicatedLength = 0, .data = {5, 6, 7}});
    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    auto failure = FeedStream(parser, HeaderThenPacket(packet));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), 430);
    EXPECT_EQ(failure->Message(), "nVideoFrameSize > nVideoTotalFrameSize");

    for (auto& p : packet.payloads)
        p.streamByte = 0x02;
    CAsfParser parser2(kKavaroProfile, ev);
    failure = FeedStream(parser2, HeaderThenPacket(packet));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code(), 430);
    EXPECT_EQ(failure->Message(), "nAudioFrameSize > nAudioTotalFrameSize");

    // In the motion setup the audio payloads are discarded before any check.
    CAsfParser parser3(kMensiloProfile, ev);
    EXPECT_FALSE(FeedStream(parser3, HeaderThenPacket(packet)));
    EXPECT_TRUE(ev.video.empty());
}

TEST(AsfParser, PayloadOutsideItsObjectIsRejectedBeforeCopying)
{
    AsfRawPacket packet;
    packet.payloads.push_back({.streamByte = 0x01, .objectSize = 10, .data = {1, 2}});
    packet.payloads.push_back({.streamByte = 0x01, .offset = 9, .replicatedLength = 0, .data = {3, 4}});
    ExpectFailure(HeaderThenPacket(packet), 430, "outside its video object");
    packet.payloads[1].offset = 0xFFFFFFFF;
    ExpectFailure(HeaderThenPacket(packet), 430, "outside its video object");
}

TEST(AsfParser, OutOfOrderPayloadsAreWrittenInPlace)
{
    AsfRawPacket packet;
    packet.payloads.push_back({.streamByte = 0x01, .offset = 3, .objectSize = 6, .presentationTime = 9, .data = {4, 5, 6}});
    packet.payloads.push_back({.streamByte = 0x81, .offset = 0, .replicatedLength = 0, .data = {1, 2, 3}});
    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(FeedStream(parser, HeaderThenPacket(packet)));
    ASSERT_EQ(ev.video.size(), 1u);
    EXPECT_EQ(ev.video[0].data, (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(ev.video[0].timestamp, 9u);
    EXPECT_TRUE(ev.video[0].keyFrame);  // the completing payload's bit counts
}

TEST(AsfParser, ContinuationWithoutAnObjectInProgressIsDropped)
{
    AsfRawPacket packet;
    packet.payloads.push_back({.streamByte = 0x01, .offset = 100, .replicatedLength = 0, .data = {1, 2, 3}});
    packet.payloads.push_back({.streamByte = 0x02, .offset = 100, .replicatedLength = 0, .data = {1, 2, 3}});
    packet.payloads.push_back({.streamByte = 0x01, .objectSize = 2, .data = {7, 8}});
    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(FeedStream(parser, HeaderThenPacket(packet)));
    ASSERT_EQ(ev.video.size(), 1u);
    EXPECT_EQ(ev.video[0].data, (Bytes{7, 8}));
    EXPECT_TRUE(ev.audio.empty());
}

TEST(AsfParser, NewObjectAbandonsTheUnfinishedOne)
{
    AsfRawPacket packet;
    packet.payloads.push_back({.streamByte = 0x01, .objectSize = 10, .presentationTime = 1, .data = {1, 2}});
    packet.payloads.push_back({.streamByte = 0x01, .objectSize = 2, .presentationTime = 2, .data = {3, 4}});
    packet.payloads.push_back({.streamByte = 0x01, .offset = 2, .replicatedLength = 0, .data = {5}});
    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(FeedStream(parser, HeaderThenPacket(packet)));  // the stray continuation is dropped
    ASSERT_EQ(ev.video.size(), 1u);
    EXPECT_EQ(ev.video[0].data, (Bytes{3, 4}));
    EXPECT_EQ(ev.video[0].timestamp, 2u);
}

TEST(AsfParser, PaddingPrefixTextAndLevels)
{
    AsfPacketWriter writer(kPacket, true);
    writer.AddVideoObject(PatternBytes(300, 1), 1, true, AsfPaddingPrefix{{10, 20, 30, 40}, "Cam text"});
    writer.AddVideoObject(PatternBytes(50, 2), 2, false, AsfPaddingPrefix{{1, 2, 3, 4}, "ABCDEFGHIJKLMNOPQRSTUVWX"});
    Bytes stream = AsfHeader(Options(true));
    writer.Flush(stream);

    RecordingAsfEvents viewer;
    CAsfParser viewerParser(kKavaroProfile, viewer);
    ASSERT_FALSE(FeedStream(viewerParser, stream));
    EXPECT_EQ(viewer.texts, (std::vector<std::string>{"Cam text", "ABCDEFGHIJKLMNOPQRST"}));
    EXPECT_TRUE(viewer.levels.empty());
    EXPECT_EQ(viewer.order, "TVTV");  // the text comes with, and before, its frame

    RecordingAsfEvents motion;
    CAsfParser motionParser(kMensiloProfile, motion);
    ASSERT_FALSE(FeedStream(motionParser, stream));
    ASSERT_EQ(motion.levels.size(), 2u);
    EXPECT_EQ(motion.levels[0], (std::array<std::uint8_t, 4>{10, 20, 30, 40}));
    EXPECT_EQ(motion.levels[1], (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
    EXPECT_TRUE(motion.texts.empty());
}

TEST(AsfParser, PaddingPrefixOnlyAfterACompletingPayloadAndInsideThePacket)
{
    const Bytes prefix = AsfPaddingPrefixBytes({{9, 9, 9, 9}, "never"});
    // Not completing: no text, no levels.
    AsfRawPacket partial;
    partial.payloads.push_back({.streamByte = 0x01, .objectSize = 100, .data = {1, 2}});
    partial.tail = prefix;
    for (const ModuleProfile* profile : {&kKavaroProfile, &kMensiloProfile}) {
        RecordingAsfEvents ev;
        CAsfParser parser(*profile, ev);
        ASSERT_FALSE(FeedStream(parser, HeaderThenPacket(partial)));
        EXPECT_TRUE(ev.texts.empty());
        EXPECT_TRUE(ev.levels.empty());
    }

    // Padding length below 24: no text in the viewer; at 4 the motion setup reads levels.
    AsfRawPacket small;
    small.paddingLength = 4;
    small.payloads.push_back({.streamByte = 0x01, .objectSize = 2, .data = {1, 2}});
    small.tail = prefix;
    {
        RecordingAsfEvents ev;
        CAsfParser parser(kKavaroProfile, ev);
        ASSERT_FALSE(FeedStream(parser, HeaderThenPacket(small)));
        EXPECT_TRUE(ev.texts.empty());
        EXPECT_EQ(ev.video.size(), 1u);
        RecordingAsfEvents mv;
        CAsfParser motion(kMensiloProfile, mv);
        ASSERT_FALSE(FeedStream(motion, HeaderThenPacket(small)));
        ASSERT_EQ(mv.levels.size(), 1u);
        EXPECT_EQ(mv.levels[0][0], 9);
        small.paddingLength = 3;
        RecordingAsfEvents mv3;
        CAsfParser motion3(kMensiloProfile, mv3);
        ASSERT_FALSE(FeedStream(motion3, HeaderThenPacket(small)));
        EXPECT_TRUE(mv3.levels.empty());
    }

    // A completing payload that ends near the packet end: the claimed padding does not fit.
    AsfRawPacket tight;
    tight.paddingLength = 200;
    const std::size_t dataLength = kPacket - 14 - 17 - 10;
    tight.payloads.push_back({.streamByte = 0x01, .objectSize = static_cast<std::uint32_t>(dataLength),
                              .data = Bytes(dataLength, 0x41)});
    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    ASSERT_FALSE(FeedStream(parser, HeaderThenPacket(tight)));
    EXPECT_EQ(ev.video.size(), 1u);
    EXPECT_TRUE(ev.texts.empty());
}

TEST(AsfParser, HeaderRejections)
{
    const Bytes objects = AsfHeaderObjects(Options(true));
    const auto header = [&](const Bytes& objs, std::uint64_t size, std::uint32_t count) {
        Bytes s = AsfHeaderPrefix(size, count);
        Append(s, objs);
        Append(s, AsfDataObjectHeader(0));
        return s;
    };
    const std::uint32_t count = 3;

    // Larger than the 1024-byte header buffer, or too small to hold any object.
    ExpectFailure(AsfHeaderPrefix(30 + 1025, count), 430, "ASF header size");
    ExpectFailure(AsfHeaderPrefix(29, count), 430, "ASF header size");
    ExpectFailure(AsfHeaderPrefix(0xFFFFFFFFFFFFFFFFull, count), 430, "ASF header size");
    ExpectFailure(AsfHeaderPrefix(30 + 23, 1), 430, "ASF header size");

    // More objects announced than the header holds.
    ExpectFailure(header(objects, 30 + objects.size(), count + 1), 430, "runs past the end of the header");
    // An object whose size runs past the header, or is smaller than its own head.
    {
        Bytes objs = objects;
        PokeU32(objs, 16, static_cast<std::uint32_t>(objects.size() + 1));
        ExpectFailure(header(objs, 30 + objs.size(), count), 430, "does not fit the header");
        PokeU32(objs, 16, 23);
        ExpectFailure(header(objs, 30 + objs.size(), count), 430, "does not fit the header");
        PokeU32(objs, 16, 0);
        ExpectFailure(header(objs, 30 + objs.size(), count), 430, "does not fit the header");
    }
    // The walk uses the low 32 bits of the size.
    {
        Bytes objs = objects;
        PokeU32(objs, 20, 1);
        RecordingAsfEvents ev;
        CAsfParser parser(kKavaroProfile, ev);
        EXPECT_FALSE(FeedStream(parser, header(objs, 30 + objs.size(), count)));
    }

    // Packet sizes: over the staging buffer, below the packet prefix, or missing.
    for (std::uint32_t bad : {4101u, 13u, 0u, 0xFFFFFFFFu}) {
        AsfHeaderOptions o = Options(true);
        o.packetSize = bad;
        ExpectFailure(AsfHeader(o), 430, "packet size");
    }
    {
        AsfHeaderOptions o = Options(true);
        o.packetSize = 14;  // the smallest accepted: a packet without payloads
        RecordingAsfEvents ev;
        CAsfParser parser(kKavaroProfile, ev);
        EXPECT_FALSE(FeedStream(parser, AsfHeader(o)));
    }

    // Video format size below 40, or configuration bytes running past the object.
    const std::size_t video = AsfFilePropertiesObject(kPacket).size();
    {
        Bytes objs = objects;
        PokeU32(objs, video + 89, 39);
        ExpectFailure(header(objs, 30 + objs.size(), count), 430, "below 40");
        PokeU32(objs, video + 89, 40 + 6);
        ExpectFailure(header(objs, 30 + objs.size(), count), 430, "runs past its stream properties object");
        PokeU32(objs, video + 89, 0xFFFFFFFF);
        ExpectFailure(header(objs, 30 + objs.size(), count), 430, "runs past its stream properties object");
    }
    // Objects too short for the fields read from them.
    {
        const Bytes fileProps = AsfFilePropertiesObject(kPacket);
        Bytes shortFile = AsfObject(kAsfFilePropertiesObject, Bytes(fileProps.begin() + 24, fileProps.begin() + 95));
        ExpectFailure(header(shortFile, 30 + shortFile.size(), 1), 430, "file properties object too short");
        const Bytes videoObject = AsfVideoStreamObject({});
        Bytes shortVideo = AsfObject(kAsfStreamPropertiesObject, Bytes(videoObject.begin() + 24, videoObject.begin() + 128));
        ExpectFailure(header(shortVideo, 30 + shortVideo.size(), 1), 430, "video stream properties object too short");
        const Bytes audioObject = AsfAudioStreamObject({});
        Bytes shortAudio = AsfObject(kAsfStreamPropertiesObject, Bytes(audioObject.begin() + 24, audioObject.begin() + 95));
        ExpectFailure(header(shortAudio, 30 + shortAudio.size(), 1), 430, "audio stream properties object too short");
        Bytes shortStream = AsfObject(kAsfStreamPropertiesObject, Bytes(10));
        ExpectFailure(header(shortStream, 30 + shortStream.size(), 1), 430, "stream properties object too short");
    }
}

TEST(AsfParser, NothingStartsForARejectedHeader)
{
    AsfHeaderOptions o = Options(true);
    o.packetSize = 5000;
    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    ASSERT_TRUE(FeedStream(parser, AsfHeader(o)));
    EXPECT_TRUE(ev.videoStarts.empty());
    EXPECT_TRUE(ev.audioStarts.empty());
}

TEST(AsfParser, PacketRejections)
{
    const auto payload = [](std::uint8_t replicated, Bytes data) {
        return AsfRawPayload{.streamByte = 0x01, .replicatedLength = replicated, .objectSize = 1000, .data = std::move(data)};
    };
    {
        AsfRawPacket packet;
        packet.payloads.push_back(payload(5, {1, 2}));
        ExpectFailure(HeaderThenPacket(packet), 430, "replicated data length 5");
    }
    {
        // Payload length past the packet end.
        AsfRawPacket packet;
        packet.payloads.push_back(payload(8, {1, 2}));
        packet.payloads[0].lengthField = kPacket - 14 - 17 + 1;
        ExpectFailure(HeaderThenPacket(packet), 430, "runs past the end of its packet");
    }
    {
        // More payloads announced than the packet holds; the walk reaches the zero fill and
        // then the end of the packet.
        AsfRawPacket packet;
        packet.payloadCount = 63;
        packet.payloads.push_back(payload(8, Bytes(kPacket - 14 - 17 - 5)));
        packet.tail = {0x01, 0, 0, 0, 0};
        ExpectFailure(HeaderThenPacket(packet), 430, "runs past the end of its packet");
    }
    // Every cut of a payload head at the packet end.
    for (std::size_t room = 1; room < 17; ++room) {
        AsfRawPacket packet;
        packet.payloadCount = 2;
        const std::size_t fill = kPacket - 14 - 17 - room;
        packet.payloads.push_back({.streamByte = 0x01, .objectSize = 5000, .data = Bytes(fill)});
        packet.tail = {0x01, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        packet.tail.resize(room);
        ExpectFailure(HeaderThenPacket(packet), 430, "payload 2 runs past the end of its packet");
    }
    {
        AsfRawPacket packet;
        packet.payloads.push_back({.streamByte = 0x01, .objectSize = kAsfMaxMediaObjectSize + 1, .data = {1}});
        ExpectFailure(HeaderThenPacket(packet), 430, "media object size");
    }
}

TEST(AsfParser, PacketReadErrorTextPerModule)
{
    for (const auto& [profile, text] : {std::pair{&kKavaroProfile, "data reading error."},
                                        std::pair{&kMensiloProfile, "data reading error4."}}) {
        RecordingAsfEvents ev;
        CAsfParser parser(*profile, ev);
        ASSERT_FALSE(FeedStream(parser, AsfHeader(Options(false))));
        const auto failure = parser.Feed(Bytes(3));
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->Code(), 400);
        EXPECT_EQ(failure->Message(), text);
    }
}

TEST(AsfParser, ResetStartsAConnectionAfresh)
{
    RecordingAsfEvents ev;
    CAsfParser parser(kKavaroProfile, ev);
    ASSERT_TRUE(FeedStream(parser, Bytes(30, 'x')));
    parser.Reset();
    EXPECT_EQ(parser.NextReadSize(), 30u);
    Bytes stream = AsfHeader(Options(true));
    AsfPacketWriter writer(kPacket);
    writer.AddVideoObject(PatternBytes(10, 1), 1, true);
    writer.Flush(stream);
    ASSERT_FALSE(FeedStream(parser, stream));
    EXPECT_EQ(ev.video.size(), 1u);
}

} // namespace
} // namespace kv
