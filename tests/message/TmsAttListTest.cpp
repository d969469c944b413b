#include "message/TmsAttList.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/EFOpenError.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

struct DerivationCase {
    const char* fileName;
    const char* contentType;
    TAttEncoding encoding;
};

void PrintTo(const DerivationCase& c, std::ostream* os) {
    *os << c.fileName;
}

class TmsAttItemDerivation : public ::testing::TestWithParam<DerivationCase> {};

TEST_P(TmsAttItemDerivation, FileNameSetsTypeAndEncoding) {
    TmsAttItem item;
    item.SetFileName(GetParam().fileName);
    EXPECT_EQ(item.ContentType, GetParam().contentType);
    EXPECT_EQ(item.Encoding, GetParam().encoding);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TmsAttItemDerivation,
    ::testing::Values(DerivationCase{"notes.txt", "text/plain", aeQuotedPrintable},
                      DerivationCase{"/tmp/dir.with.dot/PAGE.HTM", "text/html", aeQuotedPrintable},
                      DerivationCase{"mail.eml", "message/rfc822", ae7Bit},
                      DerivationCase{"photo.jpg", "image/jpeg", aeBase64},
                      DerivationCase{"archive.unknownext", "application/octet-stream", aeBase64},
                      DerivationCase{"no_extension", "application/octet-stream", aeBase64},
                      DerivationCase{"dir.d/no_extension", "application/octet-stream", aeBase64}));

TEST(TmsAttItem, EmptyFileNameKeepsTypeAndEncoding) {
    TmsAttItem item;
    item.SetFileName("a.txt");
    item.SetFileName("");
    EXPECT_TRUE(item.FileName().empty());
    EXPECT_EQ(item.ContentType, "text/plain");
    EXPECT_EQ(item.Encoding, aeQuotedPrintable);
}

TEST(TmsAttItem, AssignCopiesWithoutDerivingAgain) {
    TmsAttItem source;
    source.SetFileName("a.txt");
    source.ContentType = "application/x-custom";
    source.Encoding = ae7Bit;
    source.Data = std::string("\0\xff", 2);
    TmsAttItem copy;
    copy.Assign(source);
    EXPECT_EQ(copy.FileName(), "a.txt");
    EXPECT_EQ(copy.ContentType, "application/x-custom");
    EXPECT_EQ(copy.Encoding, ae7Bit);
    EXPECT_EQ(copy.Data, source.Data);
}

TEST(TmsAttList, AddFileLoadsWholeBinaryContent) {
    test::TempDir dir;
    std::string bytes;
    for (int i = 0; i < 70000; ++i) bytes += static_cast<char>(i * 7);
    test::WriteFileBytes(dir / "data.bin", bytes);
    TmsAttList list;
    EXPECT_EQ(list.AddFile((dir / "data.bin").string()), 0);
    EXPECT_EQ(list.Items(0).Data, bytes);
    EXPECT_EQ(list.Items(0).Encoding, aeBase64);
}

TEST(TmsAttList, AddFileOfMissingFileRaisesAndLeavesListUnchanged) {
    test::TempDir dir;
    TmsAttList list;
    EXPECT_THROW(list.AddFile((dir / "missing.txt").string()), EFOpenError);
    EXPECT_EQ(list.Count(), 0);
}

TEST(TmsAttList, AssignIsDeep) {
    TmsAttList source;
    auto item = std::make_unique<TmsAttItem>();
    item->Data = "content";
    source.Add(std::move(item));
    TmsAttList copy(source);
    source.Items(0).Data = "changed";
    EXPECT_EQ(copy.Items(0).Data, "content");
}

TEST(TmsAttList, StreamRestoresNamesTypesAndEncodingsButNoData) {
    TmsAttList list;
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName("report.txt");
    item->ContentType = "text/x-stored";
    item->Encoding = aeBase64;
    item->Data = "not stored";
    list.Add(std::move(item));
    std::stringstream stream;
    list.SaveToStream(stream);

    TmsAttList loaded;
    loaded.LoadFromStream(stream);
    ASSERT_EQ(loaded.Count(), 1);
    EXPECT_EQ(loaded.Items(0).FileName(), "report.txt");
    EXPECT_EQ(loaded.Items(0).ContentType, "text/x-stored");
    EXPECT_EQ(loaded.Items(0).Encoding, aeBase64);
    EXPECT_TRUE(loaded.Items(0).Data.empty());
}

TEST(TmsAttList, StoredEncodingOutOfRangeIsRejected) {
    // "Items", list, name "a", type "b", integer 7, list end, end of properties.
    const std::string stream(
        "\x05Items\x01\x06\x01"
        "a\x06\x01"
        "b\x02\x07\x00\x00",
        17);
    std::istringstream in(stream);
    TmsAttList list;
    EXPECT_THROW(list.LoadFromStream(in), Exception);
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace qlk
