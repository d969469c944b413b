#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace qlk::test {

// The maintainers' signing tool (tools/sign-update.sh) with a release key
// of its own, made afresh.
class UpdateSigner {
public:
    UpdateSigner() {
        Run("genkey " + Quoted(dir_ / "key.pem"));
        publicKey_ = Run("pubkey " + Quoted(dir_ / "key.pem"));
        publicKey_.erase(publicKey_.find_last_not_of('\n') + 1);
    }
    // The key as the gateway is built with it.
    const std::string& PublicKey() const { return publicKey_; }
    // The signed version file naming `version` for a program of these bytes.
    std::string Manifest(const std::string& version, const std::string& program) const {
        WriteFileBytes(dir_ / "program", program);
        return Run("manifest " + Quoted(dir_ / "key.pem") + " '" + version + "' " + Quoted(dir_ / "program"));
    }

private:
    static std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }
    // The tool's output; a failure fails the test that asked.
    std::string Run(const std::string& arguments) const {
        std::filesystem::path out = dir_ / "tool.out";
        std::string command =
            Quoted(SourcePath("tools/sign-update.sh")) + " " + arguments + " >" + Quoted(out);
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return ReadFileBytes(out);
    }

    TempDir dir_;
    std::string publicKey_;
};

}  // namespace qlk::test
