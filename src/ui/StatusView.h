#pragma once

#include <QTextEdit>

#include "gateway/LogView.h"

namespace qlk {

// The status window: a read-only rich-text view that shows the status log's
// lines in their colours. The log owns the lines; this only draws them.
// A click in it is reported, since the main window folds its settings away.
class StatusView : public QTextEdit, public LogView {
    Q_OBJECT

public:
    explicit StatusView(QWidget* parent = nullptr);

    void LogCleared() override;
    void LineAdded(const LogLine& line) override;

    int LineCount() const { return lineCount_; }
    static QColor ColorOf(LogColor color);

signals:
    void Clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // A view that showed the newest line still shows it at its new size.
    void resizeEvent(QResizeEvent* event) override;

private:
    int lineCount_ = 0;
};

}  // namespace qlk
