#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QWidget>

#include "app/Interface/WindowPermissions.hpp"
#include "app/Interface/WindowServices.hpp"
#include "app/Interface/WriterCheck.hpp"
#include "app/Overlay/Theme.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "writing/CodexModels.hpp"

class QComboBox;
class QLabel;
class QCheckBox;
class QPlainTextEdit;

namespace Parlox {

class FormSection;
class HeadElidedPath;
class PermissionBadge;
class WriterCheckButton;
class WriterCheckLine;

// The "Redacción" tab: whether a picture of the target window goes with the
// request, the personal instructions, which writing tool writes, its model,
// its effort and the longest wait, where the tool was found, and its check.
// Every control writes its user default at once; nothing is written until
// the user changes a control.
class WritingSettings : public QWidget {
    Q_OBJECT
public:
    using Models = std::vector<ParloxCore::CodexModels::Model>;

    WritingSettings(const WindowServices& services, const Theme& theme, QWidget* parent = nullptr);
    ~WritingSettings() override;

    const WriterCheck& check() const { return check_; }
    // The test the check's button runs: "running", then the test's result.
    void runCheck();

    // The entries of a model picker: the list as it is when it has the
    // stored id, else the stored id (as its own name) first.
    static Models choices(Models models, const std::string& storedId);
    // What the check row says of the tool's place: the executable's path,
    // or "Codex no encontrado" / "Claude Code no encontrado". Locating may
    // run the login shell: call it off the GUI thread.
    static std::string toolPath(WriterProvider provider);
    // The tool's place as shown now (worked out in the background).
    QString shownToolPath() const;

    QComboBox* providerPicker() const { return provider_; }
    QComboBox* modelPicker() const { return model_; }
    QComboBox* effortPicker() const { return effort_; }
    QComboBox* timeoutPicker() const { return timeout_; }
    // The user's yes to the window picture; off withdraws it.
    QCheckBox* screenToggle() const { return screen_; }
    QPlainTextEdit* instructionsEditor() const { return instructions_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void loadModels();
    void fillModelPicker();
    void updateScreenRow();
    void updateProviderTexts();
    void updateCheckViews();
    void setCheck(const WriterCheck& check);
    void setupCheck(bool idleWhenReady);
    void providerDidChange();
    void activated();
    void refreshToolPath();

    const WindowServices& services_;
    WindowPermissions permissions_;
    Theme theme_;
    WriterCheck check_ = WriterCheck::idle();
    Models models_;
    std::shared_ptr<WritingSettings*> self_;

    QCheckBox* screen_ = nullptr;
    QLabel* screenLabel_ = nullptr;
    QWidget* screenRow_ = nullptr;
    PermissionBadge* screenBadge_ = nullptr;
    FormSection* context_ = nullptr;
    FormSection* plan_ = nullptr;
    QPlainTextEdit* instructions_ = nullptr;
    QComboBox* provider_ = nullptr;
    QComboBox* model_ = nullptr;
    QComboBox* effort_ = nullptr;
    QComboBox* timeout_ = nullptr;
    HeadElidedPath* toolPath_ = nullptr;
    WriterCheckLine* checkLine_ = nullptr;
    WriterCheckButton* checkButton_ = nullptr;
    QLabel* byHand_ = nullptr;  // what to do when the button's step could not open
    platform::UserDefaults::Observation providerObservation_;
};

}  // namespace Parlox
