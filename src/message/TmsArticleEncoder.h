#pragma once

#include "message/TmsCustomEncoder.h"

namespace qlk {

class TmsArticle;

// Writes a news article: From (the name never quoted), Newsgroups, the
// application's own header lines and the Subject.
class TmsArticleEncoder : public TmsCustomEncoder {
public:
    explicit TmsArticleEncoder(TmsArticle& article);

protected:
    void WriteHeaders() override;

private:
    TmsArticle& article_;
};

}  // namespace qlk
