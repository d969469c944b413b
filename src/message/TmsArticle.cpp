#include "message/TmsArticle.h"

#include <ostream>

#include "message/EMessageError.h"
#include "message/TextUtils.h"
#include "message/TmsArticleDecoder.h"
#include "message/TmsArticleEncoder.h"

namespace qlk {

void TmsArticle::Validate() const {
    TmsCustomMessage::Validate();
    if (newsGroups_.empty()) throw EMessageError("Newsgroup header is required");
    if (Subject().empty()) throw EMessageError("Subject header is required");
}

void TmsArticle::SaveToStream(std::ostream& stream) {
    TmsArticleEncoder encoder(*this);
    encoder.Encode(stream);
}

void TmsArticle::LoadFromText(std::string text) {
    TmsArticleDecoder decoder(*this, std::move(text));
    decoder.Decode();
}

void TmsArticle::LoadFromView(std::string_view text, const TextRelease& release) {
    TmsArticleDecoder decoder(*this, text, TLineStream::Borrowed{release});
    decoder.Decode();
}

void TmsArticle::Clear() {
    newsGroups_.clear();
    TmsCustomMessage::Clear();
}

void TmsArticle::ParseHeaders(const TmsHeaders& headers) {
    ParseAddress(headers.GetFieldValue("FROM"), Sender());
    path_ = headers.GetFieldValue("PATH");
    newsGroups_ = headers.GetFieldValue("NEWSGROUPS");
    messageId_ = headers.GetFieldValue("MESSAGE-ID");
    const std::string subject = headers.GetFieldValue("Subject");
    if (!subject.empty()) SetSubject(subject);
    SetHeaders(headers);
}

void TmsArticle::Assign(const TmsCustomMessage& source) {
    if (const auto* article = dynamic_cast<const TmsArticle*>(&source)) newsGroups_ = article->newsGroups_;
    TmsCustomMessage::Assign(source);
}

}  // namespace qlk
