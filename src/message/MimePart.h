#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "message/TmsHeaders.h"

namespace qlk {

// One entity of a received MIME message: its header lines, its content as
// received, and for a multipart the entities it holds, to any depth within
// the limits below. Views point into the caller's text, which must outlive
// the tree.
class MimePart {
public:
    // Nesting deeper than this, and parts beyond this many in one message,
    // are not taken apart: what is left is kept whole as one entity.
    static constexpr int MaxDepth = 24;
    static constexpr int MaxParts = 1000;

    // Reads the entity that `text` holds (header block, empty line, content).
    static MimePart Parse(std::string_view text);
    // The same for a content whose header block was read already.
    static MimePart FromContent(TmsHeaders headers, std::string_view content);

    TmsHeaders Headers;
    // The main value of Content-Type, lower-cased; the default of the
    // enclosing multipart when there is none ("text/plain", or
    // "message/rfc822" inside a multipart/digest).
    std::string Type;
    std::string_view Content;
    std::vector<MimePart> Parts;
    // A multipart kept whole because of the limits: Whole holds the entity
    // (headers included) so that a mail reader can still open it.
    bool KeptWhole = false;
    std::string Whole;

    bool IsMultipart() const { return Type.starts_with("multipart/") && !KeptWhole; }

private:
    struct Budget {
        int partsLeft = MaxParts;
    };
    static MimePart ParseEntity(std::string_view text, std::string_view defaultType, int depth,
                                Budget& budget);
    static MimePart Build(TmsHeaders headers, std::string_view content, std::string_view defaultType,
                          int depth, Budget& budget);
    void SplitParts(int depth, Budget& budget);
};

// Splits `text` at its first empty line into header lines and the content.
std::string_view ReadHeaderBlock(std::string_view text, TmsHeaders& headers);

}  // namespace qlk
