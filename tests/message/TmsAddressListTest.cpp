#include "message/TmsAddressList.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/EStreamError.h"
#include "platform/Exception.h"

namespace qlk {
namespace {

TEST(TmsAddressList, AddAddressCutsBothFieldsAt255AndKeepsOrderAndDuplicates) {
    TmsAddressList list;
    EXPECT_EQ(list.AddAddress(std::string(300, 'a'), std::string(300, 'n')), 0);
    EXPECT_EQ(list.AddAddress("x@y", "X"), 1);
    EXPECT_EQ(list.AddAddress("x@y", "X"), 2);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0).Address.size(), 255u);
    EXPECT_EQ(list.Items(0).Name.size(), 255u);
    EXPECT_EQ(list.Items(2), list.Items(1));
}

TEST(TmsAddressList, IndexOutOfRangeRaises) {
    TmsAddressList list;
    list.AddAddress("a@b", "");
    EXPECT_THROW(list.Items(1), Exception);
    EXPECT_THROW(list.Items(-1), Exception);
}

TEST(TmsAddressList, AssignMakesIndependentCopies) {
    TmsAddressList source;
    source.AddAddress("a@b", "A");
    source.AddAddress("c@d", "C");
    TmsAddressList copy;
    copy.AddAddress("old@x", "Old");
    copy.Assign(source);
    source.Items(0).Name = "changed";
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.Items(0).Name, "A");
    EXPECT_EQ(copy.Items(1).Address, "c@d");
}

TEST(TmsAddressList, EmptyListStoresNoItemsProperty) {
    TmsAddressList list;
    std::ostringstream out;
    list.WriteProperties(out);
    EXPECT_TRUE(out.str().empty());
}

TEST(TmsAddressList, StreamRoundTripKeepsNamesAndAddressesInOrder) {
    TmsAddressList list;
    list.AddAddress("a@b", "Name, with comma");
    list.AddAddress("c@d", "");
    std::stringstream stream;
    list.SaveToStream(stream);

    TmsAddressList loaded;
    loaded.AddAddress("stale@x", "Stale");
    loaded.LoadFromStream(stream);
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.Items(0), list.Items(0));
    EXPECT_EQ(loaded.Items(1), list.Items(1));
}

TEST(TmsAddressList, DamagedStreamRaisesStreamError) {
    TmsAddressList list;
    list.AddAddress("a@b", "A");
    std::stringstream stream;
    list.SaveToStream(stream);
    const std::string whole = stream.str();
    for (std::size_t cut = 0; cut + 1 < whole.size(); ++cut) {
        std::istringstream truncated(whole.substr(0, cut));
        TmsAddressList loaded;
        EXPECT_THROW(loaded.LoadFromStream(truncated), EStreamError) << "cut at " << cut;
    }
    std::istringstream unknown(std::string("\x05Other\x00", 7));
    EXPECT_THROW(list.LoadFromStream(unknown), EStreamError);
}

}  // namespace
}  // namespace qlk
