// qlkmsg: shows operators what the gateway's message decoder makes of stored
// messages (the files the POP3 client writes), so that they can see why a
// message was delivered as it was.
//
//   qlkmsg show [--json] FILE...

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "MessageReport.h"
#include "message/TmsMessage.h"

namespace {

int Usage() {
    std::fputs("usage: qlkmsg show [--json] FILE...\n", stderr);
    return 2;
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) != "show") return Usage();
    bool json = false;
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return Usage();

    int status = 0;
    bool first = true;
    for (const std::string& file : files) {
        if (!json && !first) Print("\n");
        first = false;
        try {
            qlk::TmsMessage message;
            message.LoadFromFile(file);
            Print(json ? qlk::tools::JsonReport(file, message) : qlk::tools::TextReport(file, message));
        } catch (const std::exception& error) {
            Print(json ? qlk::tools::JsonError(file, error.what())
                       : qlk::tools::TextError(file, error.what()));
            status = 1;
        }
    }
    return status;
}
