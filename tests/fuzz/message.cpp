// Arbitrary bytes loaded as a stored message, written out again and loaded
// once more: nothing may crash, leak or throw anything but the library's own
// errors, and every attachment name must be a plain file name.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "message/TmsMessage.h"
#include "platform/Exception.h"

namespace {

void CheckNames(const qlk::TmsMessage& message) {
    const qlk::TmsAttList& attachments = message.Attachments();
    for (int i = 0; i < attachments.Count(); ++i) {
        const std::string& name = attachments.Items(i).FileName();
        if (name.empty() || name.find_first_of("/\\") != std::string::npos) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qlk::TmsMessage message;
    message.LoadFromText(std::string(reinterpret_cast<const char*>(data), size));
    CheckNames(message);

    std::ostringstream out;
    try {
        message.SaveToStream(out);
    } catch (const qlk::Exception&) {
        return 0;  // a quoted-printable paragraph beyond the coder's buffer
    }
    qlk::TmsMessage again;
    again.LoadFromText(out.str());
    CheckNames(again);
    return 0;
}
