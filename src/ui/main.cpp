#include <QApplication>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "gateway/HeadlessGateway.h"
#include "platform/EventPump.h"
#include "ui/QtDesktop.h"
#include "ui/ShutdownSignals.h"
#include "ui/TfrmQLK.h"

namespace {

// "--once": one transfer cycle without a window (no display needed), for
// cron; the exit code says whether it logged an error.
int RunOnceHeadless() {
    qlk::HeadlessGateway gateway(std::filesystem::current_path(), std::cerr);
    gateway.Start();
    return gateway.RunOnce();
}

}  // namespace

int main(int argc, char** argv) {
    // Timestamps and the time fields follow the operator's locale.
    std::setlocale(LC_ALL, "");
    if (argc == 2 && std::strcmp(argv[1], "--once") == 0) return RunOnceHeadless();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelmark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quelmark"));
    qlk::SetMessagePump([] { QCoreApplication::processEvents(); });

    // Watch for stop requests before the window starts: one that arrives
    // while it starts waits in the pipe until the event loop runs.
    qlk::ShutdownSignals stopRequests;
    qlk::QtDesktop desktop;
    qlk::TfrmQLK window(desktop, std::filesystem::current_path());
    QObject::connect(&window, &qlk::TfrmQLK::ShutDownFinished, &app, &QCoreApplication::quit);
    QObject::connect(&stopRequests, &qlk::ShutdownSignals::Received, &window,
                     &qlk::TfrmQLK::CloseWithoutAsking);

    window.show();
    const int code = QApplication::exec();
    qlk::SetMessagePump({});
    return code;
}
