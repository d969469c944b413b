#include "net/TagFTPDirList.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>

#include "message/TLineStream.h"
#include "message/TextUtils.h"

namespace qlk {

namespace {

using namespace std::chrono;

constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr sys_days kDateEpoch = sys_days(year(1899) / December / 30);

// A whole decimal number, sign allowed; false for anything else.
bool ToNumber(std::string_view text, long long& value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool EncodeDate(long long y, long long m, long long d, TDateTime& result) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
    year_month_day date{year(static_cast<int>(y)), month(static_cast<unsigned>(m)),
                        day(static_cast<unsigned>(d))};
    if (!date.ok()) return false;
    result = static_cast<TDateTime>((sys_days(date) - kDateEpoch).count());
    return true;
}

bool EncodeTime(long long hours, long long minutes, long long seconds, TDateTime& result) {
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59) return false;
    result = static_cast<TDateTime>(hours * 3600 + minutes * 60 + seconds) / 86400.0;
    return true;
}

year_month_day DecodeDate(TDateTime value) {
    return year_month_day(kDateEpoch + days(static_cast<long long>(std::floor(value))));
}

// Two-digit years fall into the fifty years either side of the current one.
long long FullYear(long long twoDigits, long long currentYear) {
    long long first = currentYear - 50;
    long long candidate = first / 100 * 100 + twoDigits;
    return candidate < first ? candidate + 100 : candidate;
}

std::vector<std::string_view> SplitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// "HH:MM", "HH:MM:SS", either followed by AM or PM (with or without a blank).
bool DosTime(std::string_view text, TDateTime& result) {
    std::string upper = UpperCase(Trim(text));
    std::string_view rest(upper);
    int suffix = 0;  // 1 AM, 2 PM
    if (rest.size() >= 2 && (rest.ends_with("AM") || rest.ends_with("PM"))) {
        suffix = rest.ends_with("AM") ? 1 : 2;
        rest.remove_suffix(2);
        while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    }
    auto parts = SplitOn(rest, ':');
    long long numbers[3] = {0, 0, 0};
    if (parts.size() < 2 || parts.size() > 3) return false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!ToNumber(parts[i], numbers[i])) return false;
    }
    long long hours = numbers[0];
    if (suffix != 0) {
        if (hours < 1 || hours > 12) return false;
        hours = hours % 12 + (suffix == 2 ? 12 : 0);
    }
    return EncodeTime(hours, numbers[1], numbers[2], result);
}

TagFTPDirItem Unparsed(const std::string& line) {
    TagFTPDirItem item;
    item.Name = line;
    return item;
}

// A directory ".." stands for the empty line the HP3000 and AS400 readers
// put at the top of their listings.
TagFTPDirItem ParentDirectory() {
    TagFTPDirItem item;
    item.Kind = fkDirectory;
    item.Name = "..";
    return item;
}

TagFTPDirItem UnixItem(std::string line) {
    TagFTPDirItem item;
    item.Kind = line.starts_with('d') ? fkDirectory : line.starts_with('l') ? fkLink : fkFile;
    // Servers that run columns together (a long owner or size) lose a blank:
    // put one back where it is most often missing and read again.
    std::string name = ExtractWord(line, 8, false);
    for (std::size_t position : {24u, 6u}) {
        if (!name.empty()) break;
        line.insert(std::min<std::size_t>(position, line.size()), " ");
        name = ExtractWord(line, 8, false);
    }
    item.Name = name;
    item.Size = ExtractWordInt(line, 4);
    std::string date =
        ExtractWord(line, 5, true) + " " + ExtractWord(line, 6, true) + " " + ExtractWord(line, 7, true);
    TDateTime now = TagFTPDirList::Now();
    if (!TagFTPDirList::UnixDate(date, now, item.DateTime)) item.DateTime = now;
    if (item.Kind == fkLink) item.LinkTarget = ExtractWord(line, 10, true);
    return item;
}

long long NumberOrZero(std::string_view text) {
    long long value = 0;
    return ToNumber(Trim(text), value) ? value : 0;
}

// "MM-DD-YY  HH:MMPM  <DIR>  name" or "MM-DD-YY  HH:MMPM  size  name". The
// name is everything after the fourth word, so that blanks inside it stay.
TagFTPDirItem DosItem(const std::string& line) {
    TagFTPDirItem item;
    item.DateTime = TagFTPDirList::DosDate(ExtractWord(line, 0, true) + " " + ExtractWord(line, 1, true));
    item.Kind = LowerCase(line).find("<dir>") != std::string::npos ? fkDirectory : fkFile;
    std::string name = ExtractWord(line, 3, false);
    if (!name.empty()) {
        item.Name = name;
        item.Size = NumberOrZero(ExtractWord(line, 2, true));
        return item;
    }
    std::string rest = Trim(line);
    auto blank = rest.rfind(' ');
    item.Name = blank == std::string::npos ? rest : rest.substr(blank + 1);
    rest = Trim(std::string_view(rest).substr(0, blank == std::string::npos ? 0 : blank));
    blank = rest.rfind(' ');
    item.Size = NumberOrZero(blank == std::string::npos ? rest : rest.substr(blank + 1));
    return item;
}

// Text from the 1-based position `from` to the end; empty past the end.
std::string From(const std::string& line, std::size_t from) {
    return from - 1 < line.size() ? line.substr(from - 1) : std::string();
}

// Characters at 1-based position `at`, as many as there are up to `count`.
std::string_view At(const std::string& line, std::size_t at, std::size_t count) {
    return at - 1 < line.size() ? std::string_view(line).substr(at - 1, count) : std::string_view();
}

TagFTPDirItem HP3000Item(const std::string& line) {
    if (line.empty()) return ParentDirectory();
    TagFTPDirItem item;
    item.Kind = At(line, 16, 1) == "F" ? fkFile : fkDirectory;
    item.Name = From(line, 62);
    return item;
}

TagFTPDirItem AS400Item(const std::string& line) {
    if (line.empty()) return ParentDirectory();
    TagFTPDirItem item;
    item.Kind = At(line, 41, 4) == "*FLR" ? fkDirectory : fkFile;
    item.Size = NumberOrZero(line.substr(0, 21));
    std::string name = From(line, 51);
    if (item.Kind == fkDirectory && !name.empty()) name.pop_back();  // the trailing "/"
    item.Name = name;
    return item;
}

bool IsAS400Line(const std::string& line) {
    std::string_view marker = At(line, 41, 4);
    return marker == "*FLR" || marker == "*DOC" || marker == "*DIR" || marker == "*LIB" ||
           At(line, 41, 5) == "*DDIR";
}

bool IsHP3000Entry(const std::string& line) {
    return line.size() > 16 && (line[15] == 'D' || line[15] == 'F');
}

}  // namespace

void TagFTPDirList::Assign(const TagFTPDirList& other) {
    ServerType = other.ServerType;
    items_ = other.items_;
}

TDateTime TagFTPDirList::Now() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    TDateTime date = 0;
    TDateTime time = 0;
    EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date);
    EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), time);
    return date + time;
}

bool TagFTPDirList::UnixDate(const std::string& words, TDateTime today, TDateTime& result) {
    year_month_day date = DecodeDate(today);
    long long y = static_cast<int>(date.year());
    long long m = static_cast<unsigned>(date.month());
    long long d = static_cast<unsigned>(date.day());
    long long hours = 0;
    long long minutes = 0;
    std::string monthWord = ExtractWord(words, 0, true);
    for (int i = 0; i < 12; ++i) {
        if (monthWord == kMonthNames[i]) m = i + 1;
    }
    long long number = 0;
    if (ToNumber(ExtractWord(words, 1, true), number)) d = number;
    std::string third = ExtractWord(words, 2, true);
    if (auto colon = third.find(':'); colon != std::string::npos) {
        if (!ToNumber(std::string_view(third).substr(0, colon), hours)) hours = 0;
        if (!ToNumber(std::string_view(third).substr(colon + 1), minutes)) minutes = 0;
    } else if (ToNumber(third, number)) {
        y = number;
    }
    TDateTime datePart = 0;
    TDateTime timePart = 0;
    if (!EncodeDate(y, m, d, datePart) || !EncodeTime(hours, minutes, 0, timePart)) return false;
    result = datePart + timePart;
    return true;
}

TDateTime TagFTPDirList::DosDate(const std::string& words) {
    std::string text = Trim(words);
    auto blank = text.find(' ');
    auto dateParts = SplitOn(std::string_view(text).substr(0, blank), '-');
    long long numbers[3] = {};
    if (dateParts.size() != 3) return 0;
    for (int i = 0; i < 3; ++i) {
        if (!ToNumber(dateParts[i], numbers[i]) || numbers[i] < 0) return 0;
    }
    long long y = numbers[2];
    if (dateParts[2].size() <= 2) y = FullYear(y, static_cast<int>(DecodeDate(Now()).year()));
    TDateTime date = 0;
    TDateTime time = 0;
    if (!EncodeDate(y, numbers[0], numbers[1], date)) return 0;
    if (blank != std::string::npos && !DosTime(std::string_view(text).substr(blank + 1), time)) return 0;
    return date + time;
}

void TagFTPDirList::ParseLine(const std::string& line) {
    switch (ServerType) {
        case stUnix:
            Add(UnixItem(line));
            break;
        case stDos:
            Add(DosItem(line));
            break;
        case stHP3000:
            Add(HP3000Item(line));
            break;
        case stAS400:
            Add(AS400Item(line));
            break;
        default:
            Add(Unparsed(line));
    }
}

void TagFTPDirList::DetectServerType(std::vector<std::string>& lines) {
    const std::string& first = lines.front();
    if (!first.empty() && first[0] >= '0' && first[0] <= '9') {
        ServerType = stDos;
    } else if (first.find("PATH") == std::string::npos) {
        ServerType = IsAS400Line(first) ? stAS400 : stUnix;
        if (ServerType == stAS400) lines.insert(lines.begin(), std::string());
    } else {
        ServerType = stHP3000;
        // Header lines come before the first entry.
        auto entry = std::find_if(lines.begin(), lines.end(), IsHP3000Entry);
        lines.erase(lines.begin(), entry);
        if (!lines.empty()) lines.insert(lines.begin(), std::string());
    }
}

void TagFTPDirList::ParseListing(std::string_view text) {
    std::vector<std::string> lines;
    LoadTextLines(text, lines);
    RemoveTrailingBlankLines(lines);
    Clear();
    if (!lines.empty() && LowerCase(std::string_view(lines.front()).substr(0, 5)) == "total") {
        lines.erase(lines.begin());
        ServerType = stUnix;
    }
    if (ServerType == stAuto && !lines.empty()) DetectServerType(lines);
    for (const auto& line : lines) ParseLine(line);
}

}  // namespace qlk
