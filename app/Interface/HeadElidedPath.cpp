#include "app/Interface/HeadElidedPath.hpp"

#include <QFontMetrics>

namespace Parlox {

HeadElidedPath::HeadElidedPath(QString path, int maxLines, QWidget* parent)
    : QLabel(parent), path_(std::move(path)), maxLines_(maxLines) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    relayout();
}

void HeadElidedPath::setPath(QString path) {
    path_ = std::move(path);
    relayout();
}

QStringList HeadElidedPath::lines(const QString& path, const QFontMetrics& metrics, int width, int maxLines) {
    if (width <= 0 || metrics.horizontalAdvance(path) <= width) return {path};
    if (maxLines < 2) return {metrics.elidedText(path, Qt::ElideLeft, width)};
    // Fill the last line from the end, then the first; whatever is left goes.
    const auto takeTail = [&](const QString& text, int room) {
        int start = int(text.size());
        while (start > 0 && metrics.horizontalAdvance(text.mid(start - 1)) <= room) --start;
        return start;
    };
    const int secondStart = takeTail(path, width);
    const QString head = path.left(secondStart);
    const QString second = path.mid(secondStart);
    if (metrics.horizontalAdvance(head) <= width) return {head, second};
    const QString ellipsis = QStringLiteral("…");
    const int firstStart = takeTail(head, width - metrics.horizontalAdvance(ellipsis));
    return {ellipsis + head.mid(firstStart), second};
}

void HeadElidedPath::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    relayout();
}

void HeadElidedPath::relayout() {
    const QString shown = lines(path_, fontMetrics(), contentsRect().width(), maxLines_).join(QLatin1Char('\n'));
    if (shown != text()) setText(shown);
}

}  // namespace Parlox
