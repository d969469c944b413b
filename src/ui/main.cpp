#include <QApplication>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "gateway/HeadlessGateway.h"
#include "gateway/HeadlessService.h"
#include "gateway/SignInCommand.h"
#include "gateway/UsersCommand.h"
#include "gateway/Version.h"
#include "gateway/WorkFolderLock.h"
#include "platform/EventPump.h"
#include "ui/QtDesktop.h"
#include "ui/ShutdownSignals.h"
#include "ui/TfrmQLK.h"

namespace {

// A front end without a window that finds another gateway in its folder
// says so in one line and does nothing.
int RefuseSecondGateway(const qlk::WorkFolderLock& lock) {
    std::cerr << "quelmark: " << lock.Problem() << "; nothing done\n";
    return qlk::WorkFolderLock::BusyExitCode;
}

// "--once": one transfer cycle without a window (no display needed), for
// cron; the exit code says whether it logged an error.
int RunOnceHeadless() {
    const qlk::WorkFolderLock lock(std::filesystem::current_path());
    if (!lock.Held()) return RefuseSecondGateway(lock);
    qlk::HeadlessGateway gateway(std::filesystem::current_path(), std::cerr);
    gateway.Start();
    return gateway.RunOnce();
}

// "--headless": the schedule without a window, for a service manager.
// QLK_TEST_MINUTE_MS shortens the schedule's minute for the test suite only.
int RunHeadless() {
    const qlk::WorkFolderLock lock(std::filesystem::current_path());
    if (!lock.Held()) return RefuseSecondGateway(lock);
    int minuteMs = qlk::Scheduler::MinuteMs;
    if (const char* text = std::getenv("QLK_TEST_MINUTE_MS")) {
        const int value = std::atoi(text);
        if (value >= 100 && value <= qlk::Scheduler::MinuteMs) minuteMs = value;
    }
    qlk::HeadlessService service(std::filesystem::current_path(), std::cerr, minuteMs);
    return service.Run();
}

// "--version" and "--help" answer on standard output without starting
// anything; -1 for any other command line.
int AnswerInformationRequest(int argc, char** argv) {
    if (argc != 2) return -1;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::cout << "Quelmark " << qlk::VersionText << '\n';
        return 0;
    }
    if (std::strcmp(argv[1], "--help") != 0 && std::strcmp(argv[1], "-h") != 0) return -1;
    std::cout << "usage: quelmark [--once | --headless | users ... | --sign-in ... | --version | --help]\n"
                 "Works in the current folder (QLK.CFG, users.DB, MAPI.INI, logs).\n"
                 "  (none)       the window\n"
                 "  --once       one transfer without a window; exit status 1 when it logged an error,\n"
                 "               75 when another gateway runs in this folder\n"
                 "  --headless   the schedule without a window, as a service (SIGHUP rereads the settings)\n"
                 "  users        list, add, edit or remove users (quelmark users --help)\n"
                 "  --sign-in    choose how a user logs in and sign in with Microsoft or Google\n"
                 "               (quelmark --sign-in --help)\n"
                 "  --version    the version\n"
                 "See quelmark(1), qlkpo(1) and qlkmsg(1).\n";
    return 0;
}

// "users ...": the user table without a window, in the current folder.
int RunUsersCommand(int argc, char** argv) {
    const std::vector<std::string> args(argv + 2, argv + argc);
    qlk::UsersCommand command(std::filesystem::current_path(), std::cin, std::cout, std::cerr,
                              ::isatty(STDIN_FILENO) == 1);
    return command.Run(args);
}

// "--sign-in NAME ...": an account's log-in and its OAuth sign-in on a terminal.
int RunSignInCommand(int argc, char** argv) {
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << qlk::SignInCommand::Usage();
        return 0;
    }
    qlk::SignInCommand command(std::filesystem::current_path(), std::cout, std::cerr);
    return command.Run(args);
}

}  // namespace

int main(int argc, char** argv) {
    // Timestamps and the time fields follow the operator's locale.
    std::setlocale(LC_ALL, "");
    if (const int answered = AnswerInformationRequest(argc, argv); answered >= 0) return answered;
    if (argc == 2 && std::strcmp(argv[1], "--once") == 0) return RunOnceHeadless();
    if (argc == 2 && std::strcmp(argv[1], "--headless") == 0) return RunHeadless();
    if (argc >= 2 && std::strcmp(argv[1], "users") == 0) return RunUsersCommand(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--sign-in") == 0) return RunSignInCommand(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelmark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quelmark"));
    // Ties the window to the installed desktop entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.quelmark.Quelmark"));
    qlk::SetMessagePump([] { QCoreApplication::processEvents(); });

    // Watch for stop requests before the window starts: one that arrives
    // while it starts waits in the pipe until the event loop runs.
    qlk::ShutdownSignals stopRequests;
    qlk::QtDesktop desktop;
    const qlk::WorkFolderLock lock(std::filesystem::current_path());
    if (!lock.Held()) {
        desktop.ShowError(nullptr, QString::fromStdString(lock.Problem() + ": this window does not start."));
        return qlk::WorkFolderLock::BusyExitCode;
    }
    qlk::TfrmQLK window(desktop, std::filesystem::current_path());
    QObject::connect(&window, &qlk::TfrmQLK::ShutDownFinished, &app, &QCoreApplication::quit);
    QObject::connect(&stopRequests, &qlk::ShutdownSignals::Received, &window,
                     &qlk::TfrmQLK::CloseWithoutAsking);

    window.show();
    const int code = QApplication::exec();
    qlk::SetMessagePump({});
    return code;
}
