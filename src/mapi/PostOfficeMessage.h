#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/AttachmentFolders.h"
#include "mapi/MapiMessage.h"

namespace qlk {

// The stored form of a post-office message: RFC 822/MIME written and read by
// the message library. From is the sending mailbox, To and Cc the recipients
// (Bcc is not written), each with its mailbox address (AddressOf); the note
// text is the body as lines with every byte kept (line breaks become CR LF;
// the text's final line break is the last line's own), and every attachment
// is a base64 part named after its file, so that any MIME reader gets the
// same bytes back. Lines end with LF alone, as Maildir readers expect.
class PostOfficeMessage {
public:
    // An attachment to store: the name the recipient sees and its content.
    struct Attachment {
        std::string FileName;
        std::string Data;
    };

    // Mailboxes have addresses under a domain that cannot exist on the
    // Internet, so that every stored message is valid mail for any reader.
    static constexpr std::string_view kMailboxDomain = "postoffice.invalid";

    // A mailbox's stable address: ASCII letters, digits and "-" stay, a blank
    // becomes "_", every other byte "=XX" ("Zoë Ünal" gives
    // "Zo=C3=AB_=C3=9Cnal@postoffice.invalid").
    static std::string AddressOf(std::string_view mailbox);
    // The mailbox an address of ours names; none for any other address.
    static std::optional<std::string> MailboxOf(std::string_view address);

    // The whole message text. The attachments' bytes are taken, not copied:
    // a large one is then held once.
    static std::string Compose(const MapiMessage& message, const std::string& sender,
                               std::vector<Attachment> attachments, std::time_t date);
    // The same text written into the open file FD as it is composed, so that
    // it is never held whole. False when the file could not be written;
    // throws as Compose.
    static bool ComposeInto(int fd, const MapiMessage& message, const std::string& sender,
                            std::vector<Attachment> attachments, std::time_t date);

    // Reads a stored message. Unless `flags` hold MAPI_SUPPRESS_ATTACH or
    // MAPI_ENVELOPE_ONLY, every attachment is written to a fresh file in one
    // of `attachmentFolders`; the files are the caller's. A Simple MAPI code.
    static int Read(const std::filesystem::path& file, std::uint32_t flags, MapiMessage& message,
                    AttachmentFolders& attachmentFolders);

    // The note text as the lines the library writes; joined with CR LF they
    // give the text back.
    static std::vector<std::string> NoteLines(const std::string& text);
};

}  // namespace qlk
