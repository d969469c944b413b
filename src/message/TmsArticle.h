#pragma once

#include <iosfwd>
#include <string>

#include "message/TmsCustomMessage.h"

namespace qlk {

// A news article: adds the newsgroups, and keeps the message identifier and
// path of a received article.
class TmsArticle : public TmsCustomMessage {
public:
    const std::string& NewsGroups() const { return newsGroups_; }
    void SetNewsGroups(std::string groups) { newsGroups_ = std::move(groups); }
    const std::string& MessageId() const { return messageId_; }
    const std::string& Path() const { return path_; }

    // Requires a sender address, the newsgroups and a subject.
    void Validate() const override;
    void SaveToStream(std::ostream& stream) override;
    void LoadFromText(std::string text) override;
    void LoadFromView(std::string_view text, const TextRelease& release = {}) override;
    void Clear() override;
    void ParseHeaders(const TmsHeaders& headers) override;
    void Assign(const TmsCustomMessage& source) override;

private:
    std::string newsGroups_;
    std::string messageId_;
    std::string path_;
};

}  // namespace qlk
