#include "platform/MimeTypeTable.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace qlk {
namespace {

TEST(MimeTypeTable, ReadsMimeTypesFormatWithCommentsAndAnyCase) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "mime.types",
                         "# comment text/x-bad bad\n"
                         "text/plain\t\ttxt TEXT  # trailing comment\n"
                         "application/x-lonely\n"
                         "text/x-other txt other\n");
    const MimeTypeTable table = MimeTypeTable::FromFile(dir / "mime.types");
    EXPECT_EQ(table.Lookup("TXT"), "text/plain");
    EXPECT_EQ(table.Lookup("text"), "text/plain");
    EXPECT_EQ(table.Lookup("other"), "text/x-other");
    EXPECT_EQ(table.Lookup("bad"), "");
    EXPECT_EQ(table.Lookup(""), "");
}

TEST(MimeTypeTable, MissingFileGivesEmptyTableAndBuiltInKnowsCommonTypes) {
    test::TempDir dir;
    EXPECT_TRUE(MimeTypeTable::FromFile(dir / "none").empty());
    const MimeTypeTable builtIn = MimeTypeTable::BuiltIn();
    EXPECT_EQ(builtIn.Lookup("txt"), "text/plain");
    EXPECT_EQ(builtIn.Lookup("htm"), "text/html");
    EXPECT_EQ(builtIn.Lookup("eml"), "message/rfc822");
    EXPECT_EQ(builtIn.Lookup("Pdf"), "application/pdf");
}

}  // namespace
}  // namespace qlk
