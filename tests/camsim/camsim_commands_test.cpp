// The camera's command interfaces, credentials and refusal pages as camsim answers them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "camsim_process.h"

using camsim::CamsimProcess;

namespace {

std::string BasicAuth(const std::string& user, const std::string& password)
{
    return "Authorization: Basic " + camsim::Base64Encode(user + ":" + password) + "\r\n";
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

TEST(CamsimCommands, UtilAnswerFollowsSettings)
{
    CamsimProcess cam({"--kind", "mpeg", "--audio", "on", "--max-fps", "25"});
    EXPECT_EQ(cam.Get("/util/util.cgi").body, "mpeg;on;25\n");
    ASSERT_TRUE(cam.Control("kind=jpeg&audio=off&max_fps=30"));
    EXPECT_EQ(cam.Get("/util/util.cgi").body, "jpeg;off;30\n");
    ASSERT_TRUE(cam.Control("util_answer=30"));
    EXPECT_EQ(cam.Get("/util/util.cgi").body, "30");
    EXPECT_FALSE(cam.Control("kind=h264"));
    EXPECT_FALSE(cam.Control("no_such_setting=1"));
}

TEST(CamsimCommands, InquiryAnswersInTheClientsLineOrder)
{
    CamsimProcess cam({"--preset", "1:Gate", "--preset", "3:Hall"});
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?Inquiry").body,
              "Exclusive Mode: Off\r\nPreset Description1: Gate\r\nPreset Description3: Hall\r\n");
    ASSERT_TRUE(cam.Control("exclusive=on&remain=20&waiting=5&preset=2:"));
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?Inquiry").body,
              "Exclusive Mode: On\r\nRemain Time: 20\r\nWaiting Time: 5\r\nPreset Description1: Gate\r\n"
              "Preset Description2: \r\nPreset Description3: Hall\r\n");
    ASSERT_TRUE(cam.Control("inquiry=max_user"));
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?Inquiry").body, "PT: Max User\r\n");
    ASSERT_TRUE(cam.Control("inquiry=access_deny"));
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?Inquiry").body, "PT: Access Deny\r\n");
}

TEST(CamsimCommands, CredentialsAndControlRights)
{
    CamsimProcess cam({"--user", "admin:secret:control", "--user", "guest:pw"});
    const auto anonymous = cam.Get("/command/ptzf.cgi?ptauth");
    EXPECT_EQ(anonymous.status, 401);
    EXPECT_TRUE(StartsWith(anonymous.body, "<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD>"));
    EXPECT_NE(anonymous.head.find("WWW-Authenticate: Basic realm="), std::string::npos);
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?ptauth", BasicAuth("admin", "wrong")).status, 401);
    EXPECT_EQ(cam.Get("/img/mjpeg.cgi", BasicAuth("nobody", "secret")).status, 401);

    EXPECT_EQ(cam.Get("/command/ptzf.cgi?ptauth", BasicAuth("admin", "secret")).body, "PT: OK\r\n");
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?ptauth", BasicAuth("guest", "pw")).body, "PT: Access Deny\r\n");
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?Inquiry", BasicAuth("guest", "pw")).body, "PT: Access Deny\r\n");
    // A user without control rights cannot move the head.
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?Move=left,10", BasicAuth("guest", "pw")).body, "PT: Access Deny\r\n");
    EXPECT_NE(cam.State().find("\"pan\":0,"), std::string::npos);
    EXPECT_EQ(cam.Get("/util/util.cgi", BasicAuth("guest", "pw")).status, 200);
}

TEST(CamsimCommands, MovesPresetsAndAreaZoomSteerTheHead)
{
    CamsimProcess cam;
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?Move=right,10").body, "OK\r\n");
    EXPECT_NE(cam.State().find("\"pan\":40,\"tilt\":0"), std::string::npos) << cam.State();
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?Move=stop,motor").body, "OK\r\n");
    EXPECT_NE(cam.State().find("\"last_move\":\"stop,motor\""), std::string::npos);
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?AreaZoom=80,-140,0,0").body, "OK\r\n");
    EXPECT_NE(cam.State().find("\"pan\":120,\"tilt\":-140"), std::string::npos) << cam.State();
    EXPECT_EQ(cam.Get("/command/presetposition.cgi?PresetCall=0,10").body, "OK\r\n");
    EXPECT_NE(cam.State().find("\"pan\":0,\"tilt\":0"), std::string::npos);

    EXPECT_EQ(cam.Get("/command/ptzf.cgi?Move=sideways,10").status, 400);
    EXPECT_EQ(cam.Get("/command/ptzf.cgi?AreaZoom=1,2,3").status, 400);
    EXPECT_EQ(cam.Get("/command/presetposition.cgi?PresetCall=9,10").status, 400);
    EXPECT_EQ(cam.Get("/command/nothing.cgi").status, 404);
}

TEST(CamsimCommands, MotionSettingsAreStoredAndReadBack)
{
    CamsimProcess cam;
    const auto read = cam.Post("/ocxparser.cgi", "COMMAND: MOT_READ_AREA\r\n\r\n").body;
    EXPECT_TRUE(StartsWith(read, "RES: 3\r\nAREA0EN: 1\r\nAREA0THD: 128\r\n")) << read;
    EXPECT_NE(read.find("AREA3Y2: "), std::string::npos);

    std::string save = "COMMAND: MOT_SAVE_AREA\r\nRES: 3\r\n";
    for (int n = 0; n < 4; ++n) {
        const std::string a = "AREA" + std::to_string(n);
        save += a + "EN: " + std::to_string(n % 2) + "\r\n" + a + "THD: " + std::to_string(200 + n) + "\r\n" + a +
                "SENS: 7\r\n" + a + "X1: -5\r\n" + a + "Y1: 10\r\n" + a + "X2: 640\r\n" + a + "Y2: 480\r\n";
    }
    save += "\r\n";
    EXPECT_EQ(cam.Post("/ocxparser.cgi", save).body, "MOT: OK\r\n");
    const auto after = cam.Post("/ocxparser.cgi", "COMMAND: MOT_READ_AREA\r\n\r\n").body;
    EXPECT_NE(after.find("AREA0EN: 0\r\nAREA0THD: 200\r\nAREA0SENS: 7\r\nAREA0X1: -5\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("AREA3EN: 1\r\nAREA3THD: 203\r\n"), std::string::npos);

    EXPECT_EQ(cam.Post("/ocxparser.cgi",
                       "COMMAND: MOT_SAVE_VIEW\r\nRES: 3\r\nVIEWEN: 1\r\nVIEWAREAX1: 16\r\nVIEWAREAY1: 8\r\n"
                       "VIEWAREAX2: 320\r\nVIEWAREAY2: 240\r\n\r\n").body,
              "MOT: OK\r\n");
    EXPECT_EQ(cam.Post("/ocxparser.cgi", "COMMAND: MOT_READ_VIEW\r\n\r\n").body,
              "RES: 3\r\nVIEWEN: 1\r\nVIEWAREAX1: 16\r\nVIEWAREAY1: 8\r\nVIEWAREAX2: 320\r\nVIEWAREAY2: 240\r\n");
    EXPECT_EQ(cam.Post("/ocxparser.cgi", "COMMAND: MOT_OCX_FREE\r\n\r\n").body, "MOT: OK\r\n");
    EXPECT_EQ(cam.Post("/ocxparser.cgi", "COMMAND: MOT_FORMAT_DISK\r\n\r\n").body, "MOT: ERROR\r\n");
    // A client that waits for "100 Continue" before its body is not kept waiting.
    EXPECT_EQ(cam.Get("/ocxparser.cgi", "Expect: 100-continue\r\nContent-Length: 26\r\n", 300).status, 100);
}

TEST(CamsimCommands, SnapshotIsAJpegForPostAndGet)
{
    CamsimProcess cam({"--size", "320x240"});
    for (const auto& answer : {cam.Post("/snap.jpg", "COMMAND: MOT_READ_VIEW\r\n\r\n"), cam.Get("/snap.jpg")}) {
        ASSERT_EQ(answer.status, 200);
        EXPECT_NE(answer.head.find("Content-Type: image/jpeg"), std::string::npos);
        ASSERT_GT(answer.body.size(), 1000u);
        EXPECT_EQ(answer.body.substr(0, 2), "\xff\xd8");
        EXPECT_EQ(answer.body.substr(answer.body.size() - 2), "\xff\xd9");
    }
}

TEST(CamsimCommands, RefusalPagesStartWithTheirTitles)
{
    CamsimProcess cam;
    ASSERT_TRUE(cam.SetFault("busy"));
    const auto busy = cam.Get("/img/video.asf");
    EXPECT_EQ(busy.status, 503);
    // The stream clients look at the first 30 bytes of the body only.
    EXPECT_EQ(busy.body.substr(0, 30), "<HTML><HEAD><TITLE>503 Service");
    EXPECT_TRUE(StartsWith(busy.body, "<HTML><HEAD><TITLE>503 Service Temporarily Overloaded</TITLE>"));
    ASSERT_TRUE(cam.SetFault("forbidden&path=/ocxparser.cgi"));
    EXPECT_TRUE(StartsWith(cam.Post("/ocxparser.cgi", "COMMAND: MOT_READ_AREA\r\n\r\n").body,
                           "<HTML><HEAD><TITLE>403 Forbidden</TITLE>"));
    EXPECT_EQ(cam.Get("/util/util.cgi").status, 200) << "path= limits the fault";
    ASSERT_TRUE(cam.SetFault("unauthorized"));
    EXPECT_EQ(cam.Get("/util/util.cgi").status, 401);
    ASSERT_TRUE(cam.ClearFault());
    EXPECT_EQ(cam.Get("/util/util.cgi").status, 200);
}

TEST(CamsimRequestLog, RecordsWhatClientsSent)
{
    CamsimProcess cam;
    std::string body = "COMMAND: MOT_OCX_FREE\r\n\r\n";
    body += std::string("\0\x01\xff\"\\", 5);
    cam.Post("/ocxparser.cgi?x=1", body,
             "User-Agent: Test Agent 1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
                 std::string("Authorization: Basic ") + camsim::Base64Encode("user:p") + "\r\n");
    cam.Get("/camsim/state");  // the control path is never logged
    cam.Get("//util//util.cgi");
    const auto log = cam.Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].id, 1);
    EXPECT_EQ(log[0].method, "POST");
    EXPECT_EQ(log[0].path, "/ocxparser.cgi");
    EXPECT_EQ(log[0].query, "x=1");
    EXPECT_EQ(log[0].body, body);
    EXPECT_EQ(log[0].Header("user-agent"), "Test Agent 1.0");
    EXPECT_EQ(log[0].Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(log[0].user, "user");
    EXPECT_EQ(log[0].password, "p");
    EXPECT_EQ(log[1].path, "/util/util.cgi") << "doubled slashes from concatenated addresses are folded";
    EXPECT_EQ(cam.RequestsTo("/util/util.cgi").size(), 1u);
    std::thread later([&cam] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cam.Get("/command/ptzf.cgi?Move=stop,motor");
    });
    const auto stop = cam.WaitForRequest("/command/ptzf.cgi", "Move=stop");
    later.join();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->query, "Move=stop,motor");
    EXPECT_FALSE(cam.WaitForRequest("/command/ptzf.cgi", "Move=up", 100));
    cam.ClearRequests();
    EXPECT_TRUE(cam.Requests().empty());
}

TEST(CamsimRequestLog, JsonLinesRoundTripEveryByte)
{
    camsim::RequestRecord record;
    record.id = 7;
    record.method = "POST";
    record.path = "/p";
    for (int b = 0; b < 256; ++b)
        record.body += static_cast<char>(b);
    record.headers = {{"A", "x\"y\\z"}, {"B", std::string("\r\n\t", 3)}};
    const std::string line = camsim::ToJsonLine(record);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    const auto back = camsim::FromJsonLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->body, record.body);
    EXPECT_EQ(back->headers, record.headers);
    EXPECT_EQ(back->id, 7);
    EXPECT_FALSE(camsim::FromJsonLine("{\"id\":"));
    EXPECT_FALSE(camsim::FromJsonLine("{\"body\":\"\\u0100\"}"));
}

TEST(CamsimProcessTest, RejectsBadFlagsAndDocumentsEveryFlag)
{
    EXPECT_THROW(CamsimProcess({"--size", "100x100"}), std::runtime_error);
    EXPECT_THROW(CamsimProcess({"--bogus"}), std::runtime_error);
    const std::string command = CamsimProcess::BinaryPath() + " --help";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string help;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe))
        help.append(buffer, n);
    pclose(pipe);
    for (const char* flag : {"--port", "--user", "--kind", "--audio", "--audio-bits", "--audio-file", "--size", "--fps",
                             "--max-fps", "--chunk-size", "--quality", "--no-pacing", "--m4v", "--asf-packet-size",
                             "--levels", "--exclusive", "--remain", "--waiting", "--preset", "--inquiry",
                             "--util-answer", "--clock-start", "--seed", "--record-dir", "--log", "--fault"})
        EXPECT_NE(help.find(flag), std::string::npos) << flag;
}

TEST(CamsimCommands, HostileRequestsAreRefusedAndTheServerCarriesOn)
{
    CamsimProcess cam;
    EXPECT_EQ(cam.Get("/util/util.cgi", "X-Big: " + std::string(20000, 'a') + "\r\n").status, 413);
    EXPECT_EQ(cam.Get("/util/util.cgi", "no colon here\r\n").status, 400);
    EXPECT_EQ(cam.Get("/util/util.cgi", "Content-Length: 99999999999\r\n").status, 413);
    EXPECT_EQ(cam.Get("/util/util.cgi", "Transfer-Encoding: chunked\r\n").status, 400);
    EXPECT_EQ(cam.Post("/ocxparser.cgi", "COMMAND: MOT_OCX_FREE\r\n", "Authorization: Basic !!!!\r\n").body, "MOT: OK\r\n");
    EXPECT_EQ(cam.Get("/util/util.cgi").body, "jpeg;off;30\n");
}

TEST(CamsimRequestLog, LogFileGetsEveryRequestAsAJsonLine)
{
    const auto file = std::filesystem::temp_directory_path() / ("camsim_log_" + std::to_string(::getpid()) + ".jsonl");
    std::filesystem::remove(file);
    {
        CamsimProcess cam({"--log", file.string()});
        cam.Get("/util/util.cgi?a=b");
        cam.Post("/ocxparser.cgi", "COMMAND: MOT_OCX_FREE\r\n\r\n");
    }
    std::ifstream in(file);
    std::vector<camsim::RequestRecord> lines;
    for (std::string line; std::getline(in, line);) {
        auto record = camsim::FromJsonLine(line);
        ASSERT_TRUE(record) << line;
        lines.push_back(*record);
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].query, "a=b");
    EXPECT_EQ(lines[1].body, "COMMAND: MOT_OCX_FREE\r\n\r\n");
    std::filesystem::remove(file);
}

TEST(CamsimProcessTest, StopsPromptlyWithStreamsAndStallsOpen)
{
    CamsimProcess cam({"--size", "160x120"});
    cam.SetFault("stall_mid&path=/img/video.asf");
    std::thread mjpeg([&cam] { cam.ReadStream("/img/mjpeg.cgi", 1u << 30, 5000); });
    std::thread asf([&cam] { cam.ReadStream("/img/video.asf", 1u << 30, 5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    cam.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    mjpeg.join();
    asf.join();
}
