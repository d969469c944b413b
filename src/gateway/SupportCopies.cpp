#include "gateway/SupportCopies.h"

#include <sqlite3.h>

#include <fstream>
#include <memory>

#include "gateway/ConfigurationFile.h"
#include "gateway/EDatabaseError.h"
#include "platform/EFOpenError.h"

namespace qlk {
namespace {

using Database = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

Database OpenDatabase(const std::string& name, int flags) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
    Database owned(db, &sqlite3_close);
    if (rc != SQLITE_OK) throw EDatabaseError(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    return owned;
}

void Execute(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw EDatabaseError(sqlite3_errmsg(db));
}

// The whole source database, page by page, into memory.
Database CopyIntoMemory(const std::filesystem::path& file) {
    Database source = OpenDatabase(file.string(), SQLITE_OPEN_READONLY);
    Database copy = OpenDatabase(":memory:", SQLITE_OPEN_READWRITE);
    sqlite3_backup* backup = sqlite3_backup_init(copy.get(), "main", source.get(), "main");
    if (!backup) throw EDatabaseError(sqlite3_errmsg(copy.get()));
    const int rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) throw EDatabaseError(sqlite3_errstr(rc));
    return copy;
}

}  // namespace

std::string SupportCopies::ConfigurationWithoutPasswords(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw EFOpenError(file.filename().string());
    std::string text(kMaxConfigurationBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));

    std::size_t start = 0;
    int line = 1;
    for (const int passwordLine : ConfigurationFile::PasswordLines) {
        for (; line < passwordLine && start != std::string::npos; ++line) {
            start = text.find('\n', start);
            if (start != std::string::npos) ++start;
        }
        if (start == std::string::npos || start >= text.size()) break;
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        text.erase(start, end - start);
    }
    return text;
}

std::string SupportCopies::UserTableWithoutPasswords(const std::filesystem::path& file) {
    Database copy = CopyIntoMemory(file);
    // Overwritten values are zeroed, and the rebuild leaves no free page behind.
    Execute(copy.get(), "PRAGMA secure_delete = ON");
    Execute(copy.get(), "UPDATE users SET \"POP Password\" = ''");
    Execute(copy.get(), "VACUUM");
    sqlite3_int64 size = 0;
    unsigned char* bytes = sqlite3_serialize(copy.get(), "main", &size, 0);
    if (!bytes) throw EDatabaseError("the copy of the user table could not be made");
    std::string result(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
    sqlite3_free(bytes);
    return result;
}

}  // namespace qlk
