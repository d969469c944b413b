#pragma once

#include <cstdint>

namespace qlk {

// Simple MAPI result codes and flags, with their standard names and values, so
// that codes read the same here as in any Simple MAPI documentation.
inline constexpr int SUCCESS_SUCCESS = 0;
inline constexpr int MAPI_USER_ABORT = 1;
inline constexpr int MAPI_E_FAILURE = 2;
inline constexpr int MAPI_E_LOGIN_FAILURE = 3;
inline constexpr int MAPI_E_DISK_FULL = 4;
inline constexpr int MAPI_E_INSUFFICIENT_MEMORY = 5;
inline constexpr int MAPI_E_TOO_MANY_FILES = 9;
inline constexpr int MAPI_E_TOO_MANY_RECIPIENTS = 10;
inline constexpr int MAPI_E_ATTACHMENT_NOT_FOUND = 11;
inline constexpr int MAPI_E_ATTACHMENT_OPEN_FAILURE = 12;
inline constexpr int MAPI_E_ATTACHMENT_WRITE_FAILURE = 13;
inline constexpr int MAPI_E_UNKNOWN_RECIPIENT = 14;
inline constexpr int MAPI_E_BAD_RECIPTYPE = 15;
inline constexpr int MAPI_E_NO_MESSAGES = 16;
inline constexpr int MAPI_E_INVALID_MESSAGE = 17;
inline constexpr int MAPI_E_AMBIGUOUS_RECIPIENT = 21;
inline constexpr int MAPI_E_INVALID_SESSION = 19;
inline constexpr int MAPI_E_NOT_SUPPORTED = 26;

inline constexpr std::uint32_t MAPI_LOGON_UI = 0x1;
inline constexpr std::uint32_t MAPI_DIALOG = 0x8;
inline constexpr std::uint32_t MAPI_UNREAD_ONLY = 0x20;
inline constexpr std::uint32_t MAPI_ENVELOPE_ONLY = 0x40;
inline constexpr std::uint32_t MAPI_PEEK = 0x80;
inline constexpr std::uint32_t MAPI_SUPPRESS_ATTACH = 0x800;
inline constexpr std::uint32_t MAPI_FORCE_DOWNLOAD = 0x1000;

// Message flags.
inline constexpr std::uint32_t MAPI_UNREAD = 0x1;
inline constexpr std::uint32_t MAPI_RECEIPT_REQUESTED = 0x2;

// Recipient classes.
inline constexpr int MAPI_ORIG = 0;
inline constexpr int MAPI_TO = 1;
inline constexpr int MAPI_CC = 2;
inline constexpr int MAPI_BCC = 3;

// A file record that is not placed inside the note text.
inline constexpr std::uint32_t kNotInText = 0xFFFFFFFF;

// The standard name of a result code, for messages to people; "" for a code
// without one here.
constexpr const char* MapiCodeName(int code) {
    switch (code) {
        case SUCCESS_SUCCESS:
            return "SUCCESS_SUCCESS";
        case MAPI_USER_ABORT:
            return "MAPI_USER_ABORT";
        case MAPI_E_FAILURE:
            return "MAPI_E_FAILURE";
        case MAPI_E_LOGIN_FAILURE:
            return "MAPI_E_LOGIN_FAILURE";
        case MAPI_E_DISK_FULL:
            return "MAPI_E_DISK_FULL";
        case MAPI_E_INSUFFICIENT_MEMORY:
            return "MAPI_E_INSUFFICIENT_MEMORY";
        case MAPI_E_TOO_MANY_FILES:
            return "MAPI_E_TOO_MANY_FILES";
        case MAPI_E_TOO_MANY_RECIPIENTS:
            return "MAPI_E_TOO_MANY_RECIPIENTS";
        case MAPI_E_ATTACHMENT_NOT_FOUND:
            return "MAPI_E_ATTACHMENT_NOT_FOUND";
        case MAPI_E_ATTACHMENT_OPEN_FAILURE:
            return "MAPI_E_ATTACHMENT_OPEN_FAILURE";
        case MAPI_E_ATTACHMENT_WRITE_FAILURE:
            return "MAPI_E_ATTACHMENT_WRITE_FAILURE";
        case MAPI_E_UNKNOWN_RECIPIENT:
            return "MAPI_E_UNKNOWN_RECIPIENT";
        case MAPI_E_BAD_RECIPTYPE:
            return "MAPI_E_BAD_RECIPTYPE";
        case MAPI_E_NO_MESSAGES:
            return "MAPI_E_NO_MESSAGES";
        case MAPI_E_INVALID_MESSAGE:
            return "MAPI_E_INVALID_MESSAGE";
        case MAPI_E_INVALID_SESSION:
            return "MAPI_E_INVALID_SESSION";
        case MAPI_E_AMBIGUOUS_RECIPIENT:
            return "MAPI_E_AMBIGUOUS_RECIPIENT";
        case MAPI_E_NOT_SUPPORTED:
            return "MAPI_E_NOT_SUPPORTED";
        default:
            return "";
    }
}

}  // namespace qlk
