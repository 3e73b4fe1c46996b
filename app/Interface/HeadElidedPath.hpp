#pragma once

#include <QLabel>
#include <QString>
#include <QStringList>

namespace Parlox {

// A path in at most one or two lines, cut at its start when it is too
// long, so that its end stays visible.
class HeadElidedPath : public QLabel {
    Q_OBJECT
public:
    explicit HeadElidedPath(QString path, int maxLines = 2, QWidget* parent = nullptr);
    void setPath(QString path);
    QString path() const { return path_; }

    // The lines of `path` for a width in pixels: up to `maxLines` (1 or 2),
    // the first starting with "…" when the start had to go.
    static QStringList lines(const QString& path, const QFontMetrics& metrics, int width, int maxLines = 2);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    QString path_;
    int maxLines_;
};

}  // namespace Parlox
