#include "message/TmsArticleEncoder.h"

#include <string>

#include "message/TmsArticle.h"

namespace qlk {

TmsArticleEncoder::TmsArticleEncoder(TmsArticle& article) : TmsCustomEncoder(article), article_(article) {}

void TmsArticleEncoder::WriteHeaders() {
    const TmsMailAddress& sender = article_.Sender();
    WriteHeaderLine("From:     " + HeaderName(sender.Name.str(), false) + " <" + sender.Address.str() + ">");
    WriteHeaderLine("Newsgroups: " + article_.NewsGroups());
    WriteOtherHeaders();
    if (!article_.Subject().empty()) WriteFoldedHeader("Subject: ", article_.Subject());
    if (article_.Encoding() == meMIME) WriteLine("Mime-Version: 1.0");
}

}  // namespace qlk
