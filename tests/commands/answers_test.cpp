// The camera's text answers: the Inquiry answer read by position, and util.cgi's answer
// that the frame-rate list comes from.
#include <gtest/gtest.h>

#include "viewer/commands/answer_text.h"
#include "viewer/commands/frame_rate_answer.h"
#include "viewer/commands/inquiry_parser.h"

using kv::viewer::ExclusiveControlState;
using kv::viewer::ParseInquiry;
using Strings = std::vector<std::string>;

namespace {

ExclusiveControlState Parsed(std::string_view body, bool expected = true)
{
    ExclusiveControlState state;
    EXPECT_EQ(ParseInquiry(body, state), expected) << body;
    return state;
}

} // namespace

TEST(InquiryAnswer, ModeOffAlone)
{
    const auto s = Parsed("Exclusive Mode: Off\r\n");
    EXPECT_EQ(s.m_sExclusiveMode, "Off");
    EXPECT_EQ(s.m_nRemainTime, 0);
    EXPECT_EQ(s.m_nWaitingTime, 0);
    EXPECT_TRUE(s.m_presetDescriptions.empty());
}

TEST(InquiryAnswer, TimedControlWithTwoPresets)
{
    const auto s = Parsed("Exclusive Mode: On\r\nRemain Time: 30\r\nWaiting Time: 0\r\n"
                          "Preset Description1: Gate\r\nPreset Description3: Hall\r\n");
    EXPECT_EQ(s.m_sExclusiveMode, "On");
    EXPECT_EQ(s.m_nRemainTime, 30);
    EXPECT_EQ(s.m_nWaitingTime, 0);
    EXPECT_EQ(s.m_presetDescriptions, (Strings{"Gate", "Hall"}));
    EXPECT_EQ(s.m_presetNumbers, (Strings{"1", "3"}));
}

TEST(InquiryAnswer, DescriptionsKeepTheirSpacesAndMayBeEmpty)
{
    // An empty description still takes a list item; a key directly followed by CR LF is
    // read as empty, not past its line.
    const auto s = Parsed("Exclusive Mode: Off\r\nPreset Description2:\r\nPreset Description5: Back door \r\n");
    EXPECT_EQ(s.m_presetDescriptions, (Strings{"", "Back door "}));
    EXPECT_EQ(s.m_presetNumbers, (Strings{"2", "5"}));
}

TEST(InquiryAnswer, ValuesAreTakenByPositionNotByKey)
{
    // Waiting before Remain: the first value after the mode lands in the remaining time,
    // and no "Waiting Time:" is left for the second one.
    const auto s = Parsed("Exclusive Mode: On\r\nWaiting Time: 7\r\nRemain Time: 40\r\n");
    EXPECT_EQ(s.m_nRemainTime, 7);
    EXPECT_EQ(s.m_nWaitingTime, 0);

    // A preset line before "Remain Time:" is read as the remaining time ("Gate": 0) and is
    // gone for the preset list.
    const auto t = Parsed("Exclusive Mode: On\r\nPreset Description1: Gate\r\nRemain Time: 9\r\n");
    EXPECT_EQ(t.m_nRemainTime, 0);
    EXPECT_EQ(t.m_nWaitingTime, 0);
    EXPECT_TRUE(t.m_presetDescriptions.empty());
}

TEST(InquiryAnswer, LastLineWithoutLineEndRunsToTheEnd)
{
    const auto s = Parsed("Exclusive Mode: On\r\nRemain Time: 12");
    EXPECT_EQ(s.m_nRemainTime, 12);
    const auto t = Parsed("Exclusive Mode: Off\r\nPreset Description4: Yard");
    EXPECT_EQ(t.m_presetDescriptions, (Strings{"Yard"}));
    const auto u = Parsed("Exclusive Mode: On");
    EXPECT_EQ(u.m_sExclusiveMode, "On");
}

TEST(InquiryAnswer, TruncatedAndOddLinesStayInsideTheText)
{
    EXPECT_EQ(Parsed("Exclusive Mode:").m_sExclusiveMode, "");
    EXPECT_EQ(Parsed("Exclusive Mode:\r").m_sExclusiveMode, "");
    EXPECT_EQ(Parsed("Exclusive Mode: On\r").m_sExclusiveMode, "On");
    // A line end before the first colon gives an empty value and moves on.
    const auto s = Parsed("junk\r\nExclusive Mode: On\r\nRemain Time: 5\r\n");
    EXPECT_EQ(s.m_sExclusiveMode, "");
    EXPECT_EQ(s.m_nRemainTime, 0);  // "On" was read for it
    // Numbers: blanks and a sign are read, anything else stops the number.
    EXPECT_EQ(Parsed("Exclusive Mode: On\r\nRemain Time:  -4s\r\n").m_nRemainTime, -4);
    EXPECT_EQ(Parsed("Exclusive Mode: On\r\nRemain Time: 99999999999999\r\n").m_nRemainTime, 2147483647);
}

TEST(InquiryAnswer, AnswersWithoutTheModeChangeNothing)
{
    ExclusiveControlState state;
    state.m_sExclusiveMode = "On";
    state.m_nRemainTime = 3;
    for (const char* body : {"", "PT: Max User\r\n", "PT: Access Deny\r\n", "Exclusive mode: On\r\n",
                             "<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD></HTML>"}) {
        EXPECT_FALSE(ParseInquiry(body, state)) << body;
        EXPECT_EQ(state.m_sExclusiveMode, "On");
        EXPECT_EQ(state.m_nRemainTime, 3);
    }
}

TEST(InquiryAnswer, PresetsAreAppendedInNumberOrderOnly)
{
    // All eight in order; then two out of order: preset 3 is found, but its value is read
    // from the line that comes first (preset 5's), and that line is gone for preset 5.
    std::string body = "Exclusive Mode: Off\r\n";
    for (int n = 1; n <= 8; ++n)
        body += "Preset Description" + std::to_string(n) + ": P" + std::to_string(n) + "\r\n";
    const auto all = Parsed(body);
    EXPECT_EQ(all.m_presetNumbers, (Strings{"1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_EQ(all.m_presetDescriptions.back(), "P8");

    const auto s = Parsed("Exclusive Mode: Off\r\nPreset Description5: Five\r\nPreset Description3: Three\r\n");
    EXPECT_EQ(s.m_presetNumbers, (Strings{"3"}));
    EXPECT_EQ(s.m_presetDescriptions, (Strings{"Five"}));
}

TEST(FrameRateAnswer, MaximumAfterTheLastSemicolonWithoutTheLastCharacter)
{
    using kv::viewer::MaxFrameRateOf;
    EXPECT_EQ(MaxFrameRateOf("mpeg;on;15\n"), 15);
    EXPECT_EQ(MaxFrameRateOf("jpeg;off;12\n"), 12);
    EXPECT_EQ(MaxFrameRateOf("jpeg;off;30"), 3);  // no closing character: a digit goes
    EXPECT_EQ(MaxFrameRateOf("25\n"), 25);        // no ";": the whole rest
    EXPECT_EQ(MaxFrameRateOf(""), 0);
    EXPECT_EQ(MaxFrameRateOf("x"), 0);
    EXPECT_EQ(MaxFrameRateOf("a;b;\n"), 0);
}

TEST(FrameRateAnswer, ListHoldsTheFixedRatesUpToTheMaximum)
{
    using kv::viewer::FrameRateItems;
    EXPECT_EQ(FrameRateItems(15), (Strings{"15 fps", "10 fps", "8 fps", "6 fps", "5 fps", "4 fps", "3 fps",
                                           "2 fps", "1 fps"}));
    EXPECT_EQ(FrameRateItems(30).size(), 12u);
    EXPECT_EQ(FrameRateItems(30).front(), "30 fps");
    EXPECT_EQ(FrameRateItems(3), (Strings{"3 fps", "2 fps", "1 fps"}));
    EXPECT_EQ(FrameRateItems(1), (Strings{"1 fps"}));
    for (int notInSet : {0, 12, 7, 31, -5, 60})
        EXPECT_TRUE(FrameRateItems(notInSet).empty()) << notInSet;
}

TEST(AnswerText, LeadingDecimal)
{
    using kv::viewer::LeadingDecimal;
    EXPECT_EQ(LeadingDecimal("42abc"), 42);
    EXPECT_EQ(LeadingDecimal(" \t+7"), 7);
    EXPECT_EQ(LeadingDecimal("-"), 0);
    EXPECT_EQ(LeadingDecimal("abc"), 0);
    EXPECT_EQ(LeadingDecimal("-99999999999"), -2147483647 - 1);
}
