// camsim: a network camera emulator for the viewer and motion-setup controls' tests and demos.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

#include "camera.h"
#include "http_server.h"
#include "options.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

} // namespace

int main(int argc, char** argv)
{
    camsim::Options options;
    std::string error;
    if (!camsim::ParseOptions(argc, argv, options, error)) {
        std::cerr << "camsim: " << error << "\n";
        return 2;
    }
    if (options.help) {
        std::cout << camsim::HelpText();
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    camsim::Camera camera(options);
    camsim::HttpServer server([&camera](camsim::Connection& connection, camsim::RequestRecord& request) {
        return camera.Handle(connection, request);
    });
    if (!server.Listen(options.port, error)) {
        std::cerr << "camsim: " << error << "\n";
        return 1;
    }
    // The first line is read by scripts and the test client to learn the port.
    std::cout << "camsim listening on 127.0.0.1:" << server.Port() << std::endl;
    for (const std::string& note : camera.Media().notes)
        std::cerr << "camsim: " << note << "\n";

    std::thread watcher([&server] {
        while (!g_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        server.Stop();
    });
    server.Run();
    g_stop = 1;
    watcher.join();
    return 0;
}
