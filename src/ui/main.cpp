#include <QApplication>

#include <clocale>
#include <filesystem>

#include "platform/EventPump.h"
#include "ui/QtDesktop.h"
#include "ui/ShutdownSignals.h"
#include "ui/TfrmQLK.h"

int main(int argc, char** argv) {
    // Timestamps and the time fields follow the operator's locale.
    std::setlocale(LC_ALL, "");
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
