#pragma once

#include <string>

#include "message/TmsCustomDecoder.h"

namespace qlk {

class TmsArticle;

// Reads a stored news article into a TmsArticle.
class TmsArticleDecoder : public TmsCustomDecoder {
public:
    TmsArticleDecoder(TmsArticle& article, std::string text);
    TmsArticleDecoder(TmsArticle& article, std::string_view text, TLineStream::Borrowed borrowed);

protected:
    void ParseMessageHeaders() override;

private:
    TmsArticle& article_;
};

}  // namespace qlk
