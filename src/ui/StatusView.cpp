#include "ui/StatusView.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "ui/CoreText.h"

namespace qlk {

StatusView::StatusView(QWidget* parent) : QTextEdit(parent) {
    setObjectName(QStringLiteral("mmoStatus"));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QTextEdit::NoWrap);
}

QColor StatusView::ColorOf(LogColor color) {
    switch (color) {
        case LogColor::Red:
            return QColor(255, 0, 0);
        case LogColor::Blue:
            return QColor(0, 0, 255);
        case LogColor::Green:
            return QColor(0, 128, 0);
        case LogColor::Black:
            break;
    }
    return QColor(0, 0, 0);
}

void StatusView::LogCleared() {
    clear();
    lineCount_ = 0;
}

void StatusView::LineAdded(const LogLine& line) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(ColorOf(line.color));
    // The document starts with one empty block, which takes the first line.
    if (lineCount_ > 0) cursor.insertBlock();
    cursor.insertText(FromCoreText(line.text), format);
    ++lineCount_;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void StatusView::resizeEvent(QResizeEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    const bool showingNewest = bar->value() == bar->maximum();
    QTextEdit::resizeEvent(event);
    if (showingNewest) bar->setValue(bar->maximum());
}

void StatusView::mousePressEvent(QMouseEvent* event) {
    QTextEdit::mousePressEvent(event);
    emit Clicked();
}

}  // namespace qlk
