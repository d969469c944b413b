#pragma once

#include <string>

namespace qlk {

// The program's version: shown in the welcome line and the info strip,
// written into QLK.CFG and compared by the update check.
inline constexpr const char* VersionText = "8.32";

// The update server's host, a build setting (QLK_UPDATE_HOST); empty when
// this build checks for no updates.
std::string UpdateServerHost();

// The Ed25519 key that signs updates, a build setting (QLK_UPDATE_PUBLIC_KEY:
// base64 of the DER public key); empty when this build installs no update.
std::string UpdatePublicKey();

}  // namespace qlk
