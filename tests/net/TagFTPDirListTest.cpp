#include "net/TagFTPDirList.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

namespace qlk {
namespace {

using ::testing::ElementsAre;

constexpr TDateTime kNoDate = -1;  // the row does not check the date
constexpr TDateTime kMinute = 1.0 / 1440;

TDateTime ThisYear(int month, int day) {
    TDateTime result = 0;
    std::string words = std::string("JanFebMarAprMayJunJulAugSepOctNovDec").substr((month - 1) * 3, 3) + " " +
                        std::to_string(day) + " 00:00";
    TagFTPDirList::UnixDate(words, TagFTPDirList::Now(), result);
    return result;
}

// A line of a fixed-column listing: each text starts at its 1-based column.
std::string Columns(std::initializer_list<std::pair<std::size_t, std::string>> fields) {
    std::string line;
    for (const auto& [column, text] : fields) {
        line.resize(std::max(line.size(), column - 1), ' ');
        line += text;
    }
    return line;
}

struct LineCase {
    std::string name;
    TServerType type;
    std::string line;
    TFTPItemKind kind;
    std::string itemName;
    long long size;
    TDateTime date;
    std::string linkTarget;
};

void PrintTo(const LineCase& row, std::ostream* out) {
    *out << row.name;
}

class FtpListingLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(FtpListingLine, GivesKindNameSizeAndDate) {
    const LineCase& c = GetParam();
    TagFTPDirList list;
    list.ServerType = c.type;
    list.ParseLine(c.line);
    ASSERT_EQ(list.Count(), 1u);
    const TagFTPDirItem& item = list.Items(0);
    EXPECT_EQ(item.Kind, c.kind);
    EXPECT_EQ(item.Name.str(), c.itemName);
    EXPECT_EQ(item.Size, c.size);
    if (c.date != kNoDate) {
        EXPECT_NEAR(item.DateTime, c.date, 0.1 * kMinute);
    }
    EXPECT_EQ(item.LinkTarget.str(), c.linkTarget);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FtpListingLine,
    ::testing::Values(
        LineCase{"UnixDirectoryWithYear", stUnix,
                 "drwxr-xr-x    2 ftp      ftp          4096 Mar 02  2020 pub", fkDirectory, "pub", 4096,
                 43892, ""},
        LineCase{"UnixFileWithTime", stUnix,
                 "-rw-r--r--    1 ftp      ftp        901234 Dec 08 04:39 qlkupdt.exe", fkFile, "qlkupdt.exe",
                 901234, ThisYear(12, 8) + 279 * kMinute, ""},
        LineCase{"UnixLink", stUnix, "lrwxrwxrwx    1 0        0               7 Jan 15  2021 bin -> usr/bin",
                 fkLink, "bin -> usr/bin", 7, 44211, "usr/bin"},
        LineCase{"UnixNameWithBlanks", stUnix,
                 "-rw-r--r--    1 owner    group         123 Jun  5  2019 name with  blanks.txt", fkFile,
                 "name with  blanks.txt", 123, 43621, ""},
        LineCase{"UnixAbsurdSize", stUnix, "-rw-r--r-- 1 ftp ftp 99999999999999999999999 Jun 5 2019 big",
                 fkFile, "big", -1, 43621, ""},
        LineCase{"UnixLongNameCut", stUnix, "-rw-r--r-- 1 ftp ftp 1 Jun 5 2019 " + std::string(300, 'n'),
                 fkFile, std::string(255, 'n'), 1, 43621, ""},
        LineCase{"DosDirectory", stDos, "12-08-26  04:39PM       <DIR>          aspnet_client", fkDirectory,
                 "aspnet_client", 0, 46364 + 999 * kMinute, ""},
        LineCase{"DosFile", stDos, "02-12-21  10:32AM              1048576 qlkupdt.exe", fkFile,
                 "qlkupdt.exe", 1048576, 44239 + 632 * kMinute, ""},
        LineCase{"DosNameWithBlanksAndFourDigitYear", stDos, "02-12-2021  12:05AM        5 my file.txt",
                 fkFile, "my file.txt", 5, 44239 + 5 * kMinute, ""},
        LineCase{"DosUnreadableDate", stDos, "13-45-21  10:32AM        5 odd", fkFile, "odd", 5, 0, ""},
        LineCase{"HP3000File", stHP3000, Columns({{16, "F"}, {62, "QLKUPDT"}}), fkFile, "QLKUPDT", 0, kNoDate,
                 ""},
        LineCase{"HP3000Group", stHP3000, Columns({{16, "D"}, {62, "PUB"}}), fkDirectory, "PUB", 0, kNoDate,
                 ""},
        LineCase{"HP3000Empty", stHP3000, "", fkDirectory, "..", 0, kNoDate, ""},
        LineCase{"AS400Folder", stAS400, Columns({{17, "8192"}, {41, "*FLR"}, {51, "QDLS/"}}), fkDirectory,
                 "QDLS", 8192, kNoDate, ""},
        LineCase{"AS400Document", stAS400, Columns({{15, "901234"}, {41, "*STMF"}, {51, "qlkupdt.exe"}}),
                 fkFile, "qlkupdt.exe", 901234, kNoDate, ""},
        LineCase{"AS400Empty", stAS400, "", fkDirectory, "..", 0, kNoDate, ""},
        LineCase{"NoFamily", stAuto, std::string(300, 'x'), fkUnparsed, std::string(255, 'x'), 0, 0, ""}),
    [](const auto& row) { return row.param.name; });

struct ListingCase {
    std::string name;
    TServerType before;
    std::string text;
    TServerType after;
    std::vector<std::string> names;
};

void PrintTo(const ListingCase& row, std::ostream* out) {
    *out << row.name;
}

class FtpListing : public ::testing::TestWithParam<ListingCase> {};

TEST_P(FtpListing, DetectsTheFamilyAndReadsEveryEntry) {
    const ListingCase& c = GetParam();
    TagFTPDirList list;
    list.ServerType = c.before;
    list.ParseListing(c.text);
    EXPECT_EQ(list.ServerType, c.after);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < list.Count(); ++i) names.push_back(list.Items(i).Name);
    EXPECT_EQ(names, c.names);

    TagFTPDirList copy;
    copy.Assign(list);
    EXPECT_EQ(copy.ServerType, list.ServerType);
    EXPECT_EQ(copy.Count(), list.Count());
}

const std::string kUnixLines =
    "drwxr-xr-x    2 ftp      ftp          4096 Mar 02  2020 pub\r\n"
    "-rw-r--r--    1 ftp      ftp        901234 Dec 08 04:39 qlkupdt.exe\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, FtpListing,
    ::testing::Values(
        ListingCase{"Unix", stAuto, kUnixLines + "\r\n \r\n", stUnix, {"pub", "qlkupdt.exe"}},
        ListingCase{
            "TotalLineDroppedAndForcesUnix", stDos, "TOTAL 8\n" + kUnixLines, stUnix, {"pub", "qlkupdt.exe"}},
        ListingCase{"Dos",
                    stAuto,
                    "12-08-26  04:39PM       <DIR>          aspnet_client\r\n"
                    "02-12-21  10:32AM              1048576 qlkupdt.exe\r\n",
                    stDos,
                    {"aspnet_client", "qlkupdt.exe"}},
        ListingCase{"AS400StartsWithParent",
                    stAuto,
                    Columns({{17, "8192"}, {41, "*FLR"}, {51, "QDLS/"}}) + "\n" +
                        Columns({{15, "901234"}, {41, "*STMF"}, {51, "qlkupdt.exe"}}),
                    stAS400,
                    {"..", "QDLS", "qlkupdt.exe"}},
        ListingCase{"HP3000HeaderSkippedAndStartsWithParent",
                    stAuto,
                    "PATH= /QLK/PUB/\n"
                    "CODE  ------------LOGICAL RECORD-----------\n"
                    "       SIZE  TYP        EOF      LIMIT R/B\n" +
                        Columns({{16, "F"}, {62, "QLKUPDT"}}) + "\n" + Columns({{16, "D"}, {62, "DATA"}}),
                    stHP3000,
                    {"..", "QLKUPDT", "DATA"}},
        ListingCase{"KeepsTheDetectedFamily", stDos, "02-12-21  10:32AM  5 a\n", stDos, {"a"}},
        ListingCase{"Empty", stAuto, "\r\n\r\n", stAuto, {}}),
    [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace qlk
