#pragma once

#include <QAbstractButton>

namespace Parlox {

// A button that knows whether the pointer is over it, and redraws when that changes.
class HoverButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit HoverButton(QWidget* parent = nullptr);

    bool isHovering() const { return hovering_; }

Q_SIGNALS:
    void hoverChanged(bool hovering);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovering(bool hovering);

    bool hovering_ = false;
};

}  // namespace Parlox
