// camsim: a network camera emulator for the viewer and motion-setup controls' tests and demos.
#include <csignal>
#include <pthread.h>
#include <cstdio>
#include <iostream>
#include <thread>

#include "camera.h"
#include "http_server.h"
#include "options.h"

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
    std::signal(SIGINT, SIG_DFL);   // an inherited "ignore" would swallow the stop request
    std::signal(SIGTERM, SIG_DFL);
    // SIGINT and SIGTERM are taken by one thread with sigwait; every thread started after
    // this inherits the block, so no handler runs concurrently with anything.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

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

    std::thread watcher([&server, &stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.Stop();
    });
    server.Run();  // returns only after Stop()
    watcher.join();
    return 0;
}
