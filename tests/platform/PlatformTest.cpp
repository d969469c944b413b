#include <gtest/gtest.h>

#include <string>

#include "platform/EFCreateError.h"
#include "platform/EFOpenError.h"
#include "platform/EventPump.h"
#include "platform/ShortString.h"

namespace qlk {
namespace {

TEST(ShortString, CutsLongInputAtTheBoundOnEveryAssignment) {
    const std::string longText(300, 'x');
    ShortString constructed(longText);
    ShortString assigned;
    assigned = longText;
    EXPECT_EQ(constructed.size(), 255u);
    EXPECT_EQ(assigned.size(), 255u);
    assigned = "short";
    EXPECT_EQ(assigned, "short");
}

TEST(FileErrors, CarryTheFileNameInTheirText) {
    EXPECT_STREQ(EFCreateError("QLK.CFG").what(), "Cannot create file QLK.CFG");
    EXPECT_STREQ(EFOpenError("users.DB").what(), "Cannot open file users.DB");
}

TEST(EventPump, CallsTheInstalledHookAndRestoresThePrevious) {
    int calls = 0;
    auto previous = SetMessagePump([&] { ++calls; });
    ProcessMessages();
    ProcessMessages();
    SetMessagePump(previous);
    ProcessMessages();
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace qlk
