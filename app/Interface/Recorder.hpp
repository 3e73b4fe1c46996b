#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QWidget>

#include "GlobalKeyBindings/RecorderControl.hpp"
#include "app/Interface/RecorderField.hpp"

class QLabel;

namespace GlobalKeyBindings {

// How windows offer shortcut recording: the recorder field, optionally with
// a label beside it, kept in step with a shortcut name or with a value the
// caller holds. A recorded change goes to the caller's value first, then to
// `onChange`.
class Recorder : public QWidget {
    Q_OBJECT
public:
    // A value held by the caller.
    struct Binding {
        std::function<std::optional<Shortcut>()> get;
        std::function<void(const std::optional<Shortcut>&)> set;
    };
    using OnChange = RecorderControl::OnChange;

    explicit Recorder(const Name& name, OnChange onChange = {}, QWidget* parent = nullptr);
    explicit Recorder(Binding binding, OnChange onChange = {}, QWidget* parent = nullptr);
    Recorder(const QString& label, const Name& name, OnChange onChange = {}, QWidget* parent = nullptr);
    Recorder(const QString& label, Binding binding, OnChange onChange = {}, QWidget* parent = nullptr);

    // The caller's veto; a refused shortcut is shown with the reason.
    Recorder& shortcutValidation(RecorderControl::Validator validate);
    // The conflict policy of the surroundings (the default one unless set).
    Recorder& conflictPolicy(const ConflictPolicy& policy);

    // Name source: shows the other name's shortcut.
    void setName(const Name& name);
    // Binding source: shows the caller's current value, without calling onChange.
    void update();

    RecorderField& field() { return *field_; }
    QLabel* label() const { return label_; }
    bool hasLabel() const { return label_ != nullptr; }

private:
    void build(const QString* label);
    void forward(const std::optional<Shortcut>& shortcut);

    std::optional<Binding> binding_;
    OnChange onChange_;
    RecorderField* field_ = nullptr;
    QLabel* label_ = nullptr;
};

}  // namespace GlobalKeyBindings
