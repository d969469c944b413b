// Arbitrary bytes loaded as a stored message, written out again and loaded
// once more: nothing may crash, leak or throw, every attachment name must be
// a plain file name, and all decoded text (subject, names, body) is UTF-8.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "message/Charsets.h"
#include "message/TmsMessage.h"

namespace {

void CheckUtf8(const std::string& text) {
    if (!qlk::IsValidUtf8(text)) std::abort();
}

void CheckNames(const qlk::TmsMessage& message) {
    const qlk::TmsAttList& attachments = message.Attachments();
    for (int i = 0; i < attachments.Count(); ++i) {
        const std::string& name = attachments.Items(i).FileName();
        if (name.empty() || name.find_first_of("/\\") != std::string::npos) std::abort();
        CheckUtf8(name);
    }
    CheckUtf8(message.Subject());
    CheckUtf8(message.Sender().Name);
    for (const std::string& line : message.Body()) CheckUtf8(line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qlk::TmsMessage message;
    message.LoadFromText(std::string(reinterpret_cast<const char*>(data), size));
    CheckNames(message);

    std::ostringstream out;
    message.SaveToStream(out);
    qlk::TmsMessage again;
    again.LoadFromText(out.str());
    CheckNames(again);
    return 0;
}
