#include "message/TmsArticleDecoder.h"

#include "message/TmsArticle.h"

namespace qlk {

TmsArticleDecoder::TmsArticleDecoder(TmsArticle& article, std::string text)
    : TmsCustomDecoder(article, std::move(text)), article_(article) {}

TmsArticleDecoder::TmsArticleDecoder(TmsArticle& article, std::string_view text,
                                     TLineStream::Borrowed borrowed)
    : TmsCustomDecoder(article, text, std::move(borrowed)), article_(article) {}

void TmsArticleDecoder::ParseMessageHeaders() {
    article_.ParseHeaders(mainHeaders_);
}

}  // namespace qlk
