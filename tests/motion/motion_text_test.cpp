// The protocol as text: bodies byte for byte, the reading of replies, the view rounding.
#include <gtest/gtest.h>

#include <string>

#include "motion/protocol/motion_text.h"

using namespace kv::motion;

namespace {

AreaSettings SampleAreas()
{
    AreaSettings s;
    s.res = 1;  // a save sends 3 whatever was read
    for (int n = 0; n < 4; ++n) {
        DetectionWindow& w = s.windows[static_cast<std::size_t>(n)];
        w.enabled = n % 2;
        w.threshold = 250 + n;
        w.sensitivity = n;
        w.level = 99;  // never sent
        w.x1 = -n;
        w.y1 = 10 * n;
        w.x2 = 640 - n;
        w.y2 = 480;
    }
    return s;
}

int CountLines(const std::string& body)
{
    int lines = 0;
    for (std::size_t at = 0; (at = body.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    return lines;
}

} // namespace

TEST(MotionText, SaveAreasBodyIsExact)
{
    std::string expected = "COMMAND: MOT_SAVE_AREA\r\nRES: 3\r\n";
    for (int n = 0; n < 4; ++n) {
        const std::string a = "AREA" + std::to_string(n);
        expected += a + "EN: " + std::to_string(n % 2) + "\r\n" + a + "THD: " + std::to_string(250 + n) + "\r\n" + a +
                    "SENS: " + std::to_string(n) + "\r\n" + a + "X1: " + std::to_string(-n) + "\r\n" + a +
                    "Y1: " + std::to_string(10 * n) + "\r\n" + a + "X2: " + std::to_string(640 - n) + "\r\n" + a +
                    "Y2: 480\r\n";
    }
    expected += "\r\n";
    const std::string body = SaveAreasBody(SampleAreas());
    EXPECT_EQ(body, expected);
    EXPECT_EQ(CountLines(body), 31);
    EXPECT_NE(body.find("AREA0X1: 0\r\n"), std::string::npos);
    EXPECT_NE(body.find("AREA3X1: -3\r\n"), std::string::npos) << "negative numbers carry their sign, no padding";
}

TEST(MotionText, SaveViewBodyIsExact)
{
    ViewSettings v{7, 1, 16, 8, 624, 472};
    const std::string body = SaveViewBody(v);
    EXPECT_EQ(body,
              "COMMAND: MOT_SAVE_VIEW\r\nRES: 3\r\nVIEWEN: 1\r\nVIEWAREAX1: 16\r\nVIEWAREAY1: 8\r\n"
              "VIEWAREAX2: 624\r\nVIEWAREAY2: 472\r\n\r\n");
    EXPECT_EQ(CountLines(body), 8);
    EXPECT_EQ(kReadAreaBody, "COMMAND: MOT_READ_AREA\r\n\r\n");
    EXPECT_EQ(kReadViewBody, "COMMAND: MOT_READ_VIEW\r\n\r\n");
    EXPECT_EQ(kReleaseBody, "COMMAND: MOT_OCX_FREE\r\n\r\n");
}

TEST(MotionText, ReplyValueReadsUpToTheNextCarriageReturn)
{
    EXPECT_EQ(ReplyValue("RES: 2\r\n", "RES: "), 2);
    EXPECT_EQ(ReplyValue("x RES: 5\r\nRES: 6\r\n", "RES: "), 5) << "first occurrence";
    EXPECT_EQ(ReplyValue("RES:    -17abc\r", "RES: "), -17) << "blanks, sign, digits up to another character";
    EXPECT_EQ(ReplyValue("RES: \t+4\r", "RES: "), 4);
    EXPECT_EQ(ReplyValue("RES: abc\r", "RES: "), 0) << "no digits";
    EXPECT_EQ(ReplyValue("RES: \r", "RES: "), 0);
    EXPECT_EQ(ReplyValue("RES: 12 34\r", "RES: "), 12);
    EXPECT_EQ(ReplyValue("RES: 9\n1\r", "RES: "), 9);
    EXPECT_EQ(ReplyValue("res: 9\r", "RES: "), std::nullopt) << "keys are case-sensitive";
    EXPECT_EQ(ReplyValue("RES: 9", "RES: "), std::nullopt) << "a value without its CR is not taken";
    EXPECT_EQ(ReplyValue("RES:9\r", "RES: "), std::nullopt);
    EXPECT_EQ(ReplyValue("RES: 99999999999999999999\r", "RES: "), 2147483647);
    EXPECT_EQ(ReplyValue("RES: -2147483648\r", "RES: "), -2147483647 - 1);
    EXPECT_EQ(ReplyValue("RES: -99999999999999999999\r", "RES: "), -2147483647 - 1);
}

TEST(MotionText, ReadingKeepsWhatTheReplyDoesNotCarry)
{
    AreaSettings area = SampleAreas();
    ReadAreaReply("RES: 2\r\nAREA1EN: 0\r\nAREA1X1: 33\r\nAREA3Y2: 400", area);
    EXPECT_EQ(area.res, 2);
    EXPECT_EQ(area.windows[1].enabled, 0);
    EXPECT_EQ(area.windows[1].x1, 33);
    EXPECT_EQ(area.windows[1].threshold, 251) << "a missing key keeps the value last known";
    EXPECT_EQ(area.windows[3].y2, 480) << "a last line without CR is not taken";
    EXPECT_EQ(area.windows[0].level, 99) << "levels are never read";

    ViewSettings view{3, 1, 16, 8, 320, 240};
    ReadViewReply("RES: 1\r\nVIEWEN: 0\r\nVIEWAREAX2: 640\r\n", view);
    EXPECT_EQ(view.res, 3) << "the view reply's RES is not taken";
    EXPECT_EQ(view.enabled, 0);
    EXPECT_EQ(view.x1, 16);
    EXPECT_EQ(view.x2, 640);
    EXPECT_EQ(view.y2, 240);
}

TEST(MotionText, RepliesAndMarkers)
{
    const std::string both = "<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD><HTML><HEAD><TITLE>403 Forbidden";
    EXPECT_TRUE(AsksForAuthorization(both));
    EXPECT_TRUE(IsForbidden(both));
    EXPECT_FALSE(AsksForAuthorization("<html><head><title>401 Unauthorized"));
    EXPECT_TRUE(IsAccepted("junk MOT: OK\r\n"));
    EXPECT_FALSE(IsAccepted("MOT: ERROR\r\n"));

    const MotionAddresses a = MotionAddresses::FromBase("http://127.0.0.1:8080");
    EXPECT_EQ(a.settings, "http://127.0.0.1:8080/ocxparser.cgi");
    EXPECT_EQ(a.snapshot, "http://127.0.0.1:8080/snap.jpg");
    EXPECT_EQ(a.mjpeg, "http://127.0.0.1:8080/img/mjpeg.cgi");
    EXPECT_EQ(a.mpeg4, "http://127.0.0.1:8080/img/video.asf");
    EXPECT_EQ(ZoomPercentForResolution(1), 400);
    EXPECT_EQ(ZoomPercentForResolution(2), 200);
    EXPECT_EQ(ZoomPercentForResolution(3), 100);
    EXPECT_EQ(ZoomPercentForResolution(0), 100);
}

TEST(MotionText, ViewRoundingHalfGoesUp)
{
    EXPECT_EQ(RoundViewRect({23, 3, 24, 475}), (AreaRect{16, 0, 32, 472}));
    EXPECT_EQ(RoundViewRect({7, 4, 8, 476}), (AreaRect{0, 8, 16, 480}));
    EXPECT_EQ(RoundViewRect({640, 480, 632, 0}), (AreaRect{640, 480, 640, 0}));
    EXPECT_EQ(RoundToMultiple(-9, 16), -16);
    EXPECT_EQ(RoundToMultiple(-8, 16), 0);
    EXPECT_EQ(RoundToMultiple(2147483647, 16), 2147483632) << "no overflow at the top";
}
