#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "platform/AtomicFile.h"
#include "platform/EFCreateError.h"
#include "platform/EFOpenError.h"
#include "platform/EventPump.h"
#include "platform/ShortString.h"
#include "support/TempDir.h"

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

TEST(AtomicFile, ReplacesTheTargetOnlyOnCommitAndLeavesNoTemporaryFile) {
    test::TempDir dir;
    const auto target = dir / "QLK.CFG";
    test::WriteFileBytes(target, "old");
    {
        AtomicFile abandoned(target);
        abandoned.Write("half of the new");
    }
    EXPECT_EQ(test::ReadFileBytes(target), "old");
    AtomicFile::WriteWhole(target, "new");
    EXPECT_EQ(test::ReadFileBytes(target), "new");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_THROW(AtomicFile::WriteWhole(dir / "no-such-folder" / "x", "x"), EFCreateError);
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
