#include "app/Interface/Recorder.hpp"

#include <QHBoxLayout>
#include <QLabel>

namespace GlobalKeyBindings {

Recorder::Recorder(const Name& name, OnChange onChange, QWidget* parent)
    : QWidget(parent), onChange_(std::move(onChange)) {
    field_ = new RecorderField(name, [this](const std::optional<Shortcut>& s) { forward(s); }, this);
    build(nullptr);
}

Recorder::Recorder(Binding binding, OnChange onChange, QWidget* parent)
    : QWidget(parent), binding_(std::move(binding)), onChange_(std::move(onChange)) {
    field_ = new RecorderField(binding_->get(), [this](const std::optional<Shortcut>& s) { forward(s); }, this);
    build(nullptr);
}

Recorder::Recorder(const QString& label, const Name& name, OnChange onChange, QWidget* parent)
    : QWidget(parent), onChange_(std::move(onChange)) {
    field_ = new RecorderField(name, [this](const std::optional<Shortcut>& s) { forward(s); }, this);
    build(&label);
}

Recorder::Recorder(const QString& label, Binding binding, OnChange onChange, QWidget* parent)
    : QWidget(parent), binding_(std::move(binding)), onChange_(std::move(onChange)) {
    field_ = new RecorderField(binding_->get(), [this](const std::optional<Shortcut>& s) { forward(s); }, this);
    build(&label);
}

void Recorder::build(const QString* label) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    if (label) {
        label_ = new QLabel(*label, this);
        row->addWidget(label_, 0, Qt::AlignVCenter);
        row->addStretch(1);
    }
    row->addWidget(field_, 0, Qt::AlignVCenter);
    setSizePolicy(label ? QSizePolicy::Preferred : QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Recorder::forward(const std::optional<Shortcut>& shortcut) {
    if (binding_ && binding_->set) binding_->set(shortcut);
    if (onChange_) onChange_(shortcut);
}

Recorder& Recorder::shortcutValidation(RecorderControl::Validator validate) {
    field_->control().validateShortcut = std::move(validate);
    return *this;
}

Recorder& Recorder::conflictPolicy(const ConflictPolicy& policy) {
    field_->control().conflictPolicy = policy;
    return *this;
}

void Recorder::setName(const Name& name) { field_->control().setShortcutName(name); }

void Recorder::update() {
    if (!binding_) return;
    field_->control().setShortcut(binding_->get());
}

}  // namespace GlobalKeyBindings
