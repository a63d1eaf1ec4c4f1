// The call contract of decoder_create / decoder_decode / decoder_destroy: record fields,
// header handling, output sizes, refusals and failures.
#include "stream_builder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kv::test {
namespace {

constexpr uint8_t kGuard = 0xEE;

int MbCount(int w, int h) { return ((w + 15) / 16) * ((h + 15) / 16); }

std::vector<uint8_t> FirstUnit(const VolFields& vol, const int (&diffs)[6] = {0, 0, 0, 0, 0, 0})
{
    VopFields v;
    v.timeBits = TimeBits(vol.resolution);
    return Concat(HeaderBytes(vol), DcOnlyIntraVop(v, MbCount(vol.width, vol.height), diffs));
}

TEST(DecoderCreate, RecordStartsAtTheModuleMaximumWithAllFlagsSet)
{
    for (const ModuleProfile* p : {&kKavaroProfile, &kMensiloProfile}) {
        DecoderPtr d = MakeDecoder(*p);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->width, p->decoderMaxWidth);
        EXPECT_EQ(d->height, p->decoderMaxHeight);
        EXPECT_EQ(d->upscaleOutput, 1);
        EXPECT_EQ(d->postFilter, 1);
        EXPECT_EQ(d->expectHeaders, 1);
    }
    SetActiveProfileForTesting(kMensiloProfile);
    auto* exported = reinterpret_cast<DECODER*>(decoder_create());
    SetActiveProfileForTesting(kKavaroProfile);
    ASSERT_NE(exported, nullptr);
    EXPECT_EQ(exported->width, 640);
    EXPECT_EQ(decoder_destroy(exported), 0);
    EXPECT_EQ(decoder_destroy(nullptr), -1);
}

TEST(DecoderDecode, BadArgumentsFailWithoutTouchingAnything)
{
    DecoderPtr d = MakeDecoder();
    std::vector<uint8_t> out(16);
    const uint8_t in[4] = {0, 0, 1, 0xB6};
    int len = 4;
    EXPECT_EQ(decoder_decode(nullptr, out.data(), in, &len), 1);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(decoder_decode(d.get(), out.data(), in, nullptr), 1);
    len = -1;
    EXPECT_EQ(decoder_decode(d.get(), out.data(), in, &len), 1);
    EXPECT_EQ(len, 4);
    len = 4;
    EXPECT_EQ(decoder_decode(d.get(), nullptr, in, &len), 1);
    EXPECT_EQ(d->expectHeaders, 1);
}

TEST(DecoderDecode, FirstCallOf640x480SetsTheGeometryAndWrites460800Bytes)
{
    DecoderPtr d = MakeDecoder();
    VolFields vol;
    vol.width = 640;
    vol.height = 480;
    const auto unit = FirstUnit(vol);
    std::vector<uint8_t> out(6 * 640 * 480, kGuard);
    int len = 0;
    ASSERT_EQ(Decode(d.get(), out, unit, &len), 0);
    EXPECT_EQ(len, static_cast<int>(unit.size()));
    EXPECT_EQ(d->width, 640);
    EXPECT_EQ(d->height, 480);
    EXPECT_EQ(d->upscaleOutput, 0);
    EXPECT_EQ(d->expectHeaders, 0);
    // A DC-only picture whose differences are all 0 predicts every block from 1024: grey 128.
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 460800, [](uint8_t v) { return v == 128; }));
    EXPECT_TRUE(std::all_of(out.begin() + 460800, out.end(), [](uint8_t v) { return v == kGuard; }));
}

TEST(DecoderDecode, GeometryCoversPartialMacroblocks)
{
    struct Case {
        int w, h, cols, rows;
    } cases[] = {{160, 120, 10, 8}, {176, 144, 11, 9}, {200, 150, 13, 10}};
    for (const Case& c : cases) {
        DecoderPtr d = MakeDecoder();
        VolFields vol;
        vol.width = c.w;
        vol.height = c.h;
        std::vector<uint8_t> out(6 * c.w * c.h, kGuard);
        ASSERT_EQ(Decode(d.get(), out, FirstUnit(vol)), 0) << c.w << "x" << c.h;
        EXPECT_EQ(Inner(d.get()).MacroblockColumns(), c.cols);
        EXPECT_EQ(Inner(d.get()).MacroblockRows(), c.rows);
        const size_t bytes = static_cast<size_t>(c.w) * c.h + 2 * (c.w / 2) * (c.h / 2);
        EXPECT_EQ(out[bytes - 1], 128);
        EXPECT_EQ(out[bytes], kGuard);
    }
}

TEST(DecoderDecode, TimeIncrementWidthFollowsTheResolution)
{
    for (auto [resolution, bits] : {std::pair{30, 5}, {30000, 15}, {16, 4}, {1, 1}, {65535, 16}}) {
        DecoderPtr d = MakeDecoder();
        VolFields vol;
        vol.resolution = resolution;
        std::vector<uint8_t> out(6 * 160 * 120);
        // The VOP is written with that many bits: any other width would misread the picture.
        ASSERT_EQ(Decode(d.get(), out, FirstUnit(vol, {-28, 0, 0, 0, 0, 0})), 0) << resolution;
        EXPECT_EQ(Inner(d.get()).TimeIncrementBits(), bits);
        EXPECT_EQ(out[0], 100);
    }
}

TEST(DecoderDecode, HeadersAreOnlyReadOnTheFirstSuccessfulCall)
{
    DecoderPtr d = MakeDecoder();
    std::vector<uint8_t> out(6 * 160 * 120);
    const VolFields vol;
    ASSERT_EQ(Decode(d.get(), out, FirstUnit(vol)), 0);
    // Headers again on a later call: a VOP start code is required.
    int len = 0;
    EXPECT_EQ(Decode(d.get(), out, FirstUnit(vol), &len), 1);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(d->expectHeaders, 0);
}

TEST(DecoderDecode, FailedFirstCallKeepsExpectingHeaders)
{
    DecoderPtr d = MakeDecoder();
    std::vector<uint8_t> out(6 * 160 * 120);
    const VolFields vol;
    auto unit = FirstUnit(vol);
    // Cut inside the picture: the headers parse, the picture runs out.
    std::vector<uint8_t> cut(unit.begin(), unit.begin() + static_cast<long>(unit.size() / 2));
    int len = 0;
    EXPECT_EQ(Decode(d.get(), out, cut, &len), 1);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(d->expectHeaders, 1);
    // An unknown start code in the header loop fails the same way.
    EXPECT_EQ(Decode(d.get(), out, {0, 0, 1, 0xB7, 0, 0, 1, 0xB6}), 1);
    EXPECT_EQ(d->expectHeaders, 1);
    EXPECT_EQ(Decode(d.get(), out, {0x12, 0x34, 0x56, 0x78}), 1);
    EXPECT_EQ(Decode(d.get(), out, unit), 0);
    EXPECT_EQ(d->expectHeaders, 0);
}

TEST(DecoderDecode, GroupOfVopAndUserDataHeadersArePassedOver)
{
    DecoderPtr d = MakeDecoder();
    std::vector<uint8_t> out(6 * 160 * 120);
    const VolFields vol;
    BitWriter extra;
    extra.StartCode(0xB2);
    for (char c : std::string("camera"))
        extra.Put(static_cast<uint8_t>(c), 8);
    extra.StartCode(0xB3);
    extra.Put(0x12345, 18 + 2);
    extra.Stuff();
    VopFields v;
    const auto vop = DcOnlyIntraVop(v, MbCount(160, 120));
    const auto first = Concat(Concat(HeaderBytes(vol), extra.Bytes()), vop);
    ASSERT_EQ(Decode(d.get(), out, first), 0);
    // A later access unit that starts with a group-of-VOP header.
    BitWriter gov;
    gov.StartCode(0xB3);
    gov.Put(0, 20);
    gov.Stuff();
    EXPECT_EQ(Decode(d.get(), out, Concat(gov.Bytes(), vop)), 0);
}

TEST(DecoderDecode, VolOutsideTheFixedLayoutIsRefused)
{
    struct Case {
        const char* what;
        void (*change)(VolFields&);
    } cases[] = {
        {"object layer identifier", [](VolFields& f) { f.objectLayerId = true; }},
        {"extended aspect ratio", [](VolFields& f) { f.aspect = 15; }},
        {"control parameters", [](VolFields& f) { f.controlParameters = true; }},
        {"binary shape", [](VolFields& f) { f.shape = 1; }},
        {"fixed VOP rate", [](VolFields& f) { f.fixedRate = true; }},
        {"interlaced", [](VolFields& f) { f.interlaced = true; }},
        {"OBMC", [](VolFields& f) { f.obmcDisable = false; }},
        {"sprites", [](VolFields& f) { f.sprite = true; }},
        {"not 8 bits", [](VolFields& f) { f.not8Bit = true; }},
        {"intra matrix", [](VolFields& f) { f.quantType = 1, f.loadIntraMatrix = true; }},
        {"inter matrix", [](VolFields& f) { f.quantType = 1, f.loadInterMatrix = true; }},
        {"complexity estimation", [](VolFields& f) { f.complexityDisable = false; }},
        {"data partitioning", [](VolFields& f) { f.dataPartitioned = true; }},
        {"scalability", [](VolFields& f) { f.scalability = true; }},
        {"zero width", [](VolFields& f) { f.width = 0; }},
    };
    for (const Case& c : cases) {
        DecoderPtr d = MakeDecoder();
        std::vector<uint8_t> out(6 * 1024 * 768);
        VolFields vol;
        c.change(vol);
        EXPECT_EQ(Decode(d.get(), out, FirstUnit(vol)), 1) << c.what;
        EXPECT_EQ(d->expectHeaders, 1) << c.what;
        EXPECT_EQ(d->upscaleOutput, 1) << c.what;
        // The stream's pictures are not decoded with a layout the decoder did not accept.
        EXPECT_EQ(Decode(d.get(), out, DcOnlyIntraVop(VopFields{}, 80)), 1) << c.what;
        EXPECT_EQ(Decode(d.get(), out, FirstUnit(VolFields{})), 0) << c.what;
    }
}

TEST(DecoderDecode, PicturesLargerThanTheModuleMaximumFailEveryCall)
{
    DecoderPtr mensilo = MakeDecoder(kMensiloProfile);
    DecoderPtr kavaro = MakeDecoder(kKavaroProfile);
    std::vector<uint8_t> out(6 * 1024 * 768, kGuard);
    VolFields vol;
    vol.width = 1024;
    vol.height = 768;
    const auto unit = FirstUnit(vol);
    EXPECT_EQ(Decode(mensilo.get(), out, unit), 1);
    EXPECT_EQ(mensilo->width, 640);
    EXPECT_EQ(mensilo->expectHeaders, 1);
    EXPECT_EQ(Decode(mensilo.get(), out, DcOnlyIntraVop(VopFields{}, MbCount(1024, 768))), 1);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t v) { return v == kGuard; }));
    EXPECT_EQ(Decode(kavaro.get(), out, unit), 0);

    vol.width = 1040;
    EXPECT_EQ(Decode(kavaro.get(), out, FirstUnit(vol)), 1); // a later call: no headers read
    DecoderPtr fresh = MakeDecoder(kKavaroProfile);
    EXPECT_EQ(Decode(fresh.get(), out, FirstUnit(vol)), 1);
    vol.width = 640;
    vol.height = 784;
    EXPECT_EQ(Decode(fresh.get(), out, FirstUnit(vol)), 1);
    EXPECT_EQ(fresh->expectHeaders, 1);
}

TEST(DecoderDecode, WithoutVolTheOutputIsEnlargedToTwiceTheSize)
{
    // A first call that carries no VOL decodes at the module maximum and enlarges.
    DecoderPtr d = MakeDecoder(kKavaroProfile);
    d->postFilter = 0;
    const size_t total = 6 * 1024 * 768;
    std::vector<uint8_t> out(total + 64, kGuard);
    VopFields v;
    v.timeBits = 1; // no resolution known yet
    const auto vop = DcOnlyIntraVop(v, MbCount(1024, 768), {-28, 100, 0, 0, 0, 0});
    ASSERT_EQ(Decode(d.get(), out, vop), 0);
    EXPECT_EQ(d->upscaleOutput, 1);
    EXPECT_EQ(d->width, 1024);
    EXPECT_EQ(d->height, 768);
    EXPECT_EQ(out[total - 1], 128);
    EXPECT_EQ(out[total], kGuard);
    // Y is 2048 wide: source samples 0-7 are 100 (block 0), 8-15 are 200 (block 1). Even
    // samples copy the source; each new sample uses the taps -1, 9, 9, -1 over four sources.
    EXPECT_EQ(out[0], 100);
    EXPECT_EQ(out[11], 100);                        // 100 100 100 100
    EXPECT_EQ(out[13], (-100 + 900 + 900 - 200 + 8) >> 4);   // 100 100 100 200: 94
    EXPECT_EQ(out[14], 100);
    EXPECT_EQ(out[15], (-100 + 900 + 1800 - 200 + 8) >> 4);  // 100 100 200 200: 150
    EXPECT_EQ(out[16], 200);
    EXPECT_EQ(out[17], (-100 + 1800 + 1800 - 200 + 8) >> 4); // 100 200 200 200: 206
    EXPECT_EQ(out[2048 * 15 + 15], 150);
    // U follows the 2048x1536 luma plane, 1024 wide.
    EXPECT_EQ(out[2048 * 1536], 128);
}

TEST(DecoderDecode, SkippedPicturesRepeatThePreviousOne)
{
    DecoderPtr d = MakeDecoder();
    std::vector<uint8_t> first(6 * 160 * 120), out(6 * 160 * 120);
    ASSERT_EQ(Decode(d.get(), first, FirstUnit(VolFields{}, {-28, 72, 0, 0, 10, -10})), 0);
    const size_t bytes = 160 * 120 * 3 / 2;
    for (int type : {2, 3}) {
        BitWriter w;
        VopFields v;
        v.type = type;
        WriteVopHeader(w, v);
        w.Put(0x2A, 7); // whatever follows is not read
        w.Stuff();
        std::fill(out.begin(), out.end(), 0);
        ASSERT_EQ(Decode(d.get(), out, w.Bytes()), 0) << type;
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(bytes), first.begin())) << type;
    }
    BitWriter w;
    VopFields v;
    v.type = 1;
    v.coded = false;
    WriteVopHeader(w, v);
    w.Stuff();
    int len = 0;
    ASSERT_EQ(Decode(d.get(), out, w.Bytes(), &len), 0);
    EXPECT_EQ(len, static_cast<int>(w.Bytes().size()));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(bytes), first.begin()));
}

} // namespace
} // namespace kv::test
