#pragma once
// A UserInterface for tests: records everything shown, in order, and answers questions,
// file choices and dialogs from queues filled by the test. An unscripted question is a
// test failure waiting to happen, so it is recorded and answered with the first button.

#include "UserInterface.h"

#include <deque>
#include <functional>
#include <vector>

namespace sqllumo::testing {

class ScriptedUserInterface : public UserInterface {
public:
    // Script.
    void answerNextMessage(MessageResult result) { messageAnswers_.push_back(result); }
    // A null QString answers "cancelled".
    void answerNextFileChoice(const QString& path) { fileAnswers_.push_back(path); }
    void answerNextPasswordRequest(PasswordRequestResult result)
    {
        passwordAnswers_.push_back(std::move(result));
    }
    void answerNextUserDetails(UserDetailsResult result)
    {
        userDetailsAnswers_.push_back(std::move(result));
    }
    // What the person does in the role editor: reads and changes the two objects.
    using RoleEditorStep =
        std::function<void(const QString& roleName, rolefunctionsheet::RoleEditorCaller& caller,
                           rolefunctionsheet::RightsSource& rights)>;
    void answerNextRoleEditor(RoleEditorStep step) { roleEditorSteps_.push_back(std::move(step)); }

    // The dialog's part played by the test: it gets the request and says whether fields moved.
    void answerNextShiftDialog(std::function<bool(const ShiftDialogRequest&)> answer)
    {
        shiftAnswers_.push_back(std::move(answer));
    }

    void answerNextGenericPassword(GenericPasswordResult result)
    {
        genericAnswers_.push_back(std::move(result));
    }

    // The person asks to stop while pending events are let through for the nth time (1 = the
    // first); 0 never.
    void stopAtPendingEventCall(int n) { stopAtCall_ = n; }

    // Record.
    const std::vector<Message>& messages() const { return messages_; }
    const std::vector<ProgressState>& progress() const { return progress_; }
    const std::vector<FileChoice>& fileChoices() const { return fileChoices_; }
    const std::vector<PasswordRequestMode>& passwordRequests() const { return passwordRequests_; }
    // The secret each request asked for, in the same order.
    const std::vector<AdminSecret>& passwordSecrets() const { return passwordSecrets_; }
    const std::vector<ShiftDialogRequest>& shiftRequests() const { return shiftRequests_; }
    const std::vector<UserDetailsRequest>& userDetailsRequests() const
    {
        return userDetailsRequests_;
    }
    const QStringList& roleEditorNames() const { return roleEditorNames_; }
    // What each GenericPassword dialog was shown.
    const std::vector<GenericPasswordResult>& genericPasswordsShown() const
    {
        return genericShown_;
    }
    bool busy() const { return busy_; }
    int busyChanges() const { return busyChanges_; }
    int pendingEventCalls() const { return pendingEventCalls_; }
    // Prompts that found no scripted answer; a test should normally expect zero.
    int unscriptedPrompts() const { return unscripted_; }
    bool scriptExhausted() const;

    MessageResult showMessage(const Message& message) override;
    void setBusy(bool busy) override;
    void processPendingEvents() override { ++pendingEventCalls_; }
    bool stopRequested() override { return stopAtCall_ > 0 && pendingEventCalls_ >= stopAtCall_; }
    void showProgress(const ProgressState& state) override { progress_.push_back(state); }
    std::optional<QString> chooseFile(const FileChoice& choice) override;
    PasswordRequestResult passwordRequest(PasswordRequestMode mode, AdminSecret secret) override;
    bool shiftDatabaseFields(const ShiftDialogRequest& request) override;
    UserDetailsResult userDetails(const UserDetailsRequest& request) override;
    void roleFunctionSheet(const QString& roleName, rolefunctionsheet::RoleEditorCaller& caller,
                           rolefunctionsheet::RightsSource& rights) override;
    // Unscripted: cancelled.
    GenericPasswordResult genericPassword(const GenericPasswordResult& shown) override;

private:
    std::deque<MessageResult> messageAnswers_;
    std::deque<QString> fileAnswers_;
    std::deque<PasswordRequestResult> passwordAnswers_;
    std::deque<UserDetailsResult> userDetailsAnswers_;
    std::deque<RoleEditorStep> roleEditorSteps_;
    std::vector<UserDetailsRequest> userDetailsRequests_;
    QStringList roleEditorNames_;
    std::deque<GenericPasswordResult> genericAnswers_;
    std::vector<GenericPasswordResult> genericShown_;
    std::vector<Message> messages_;
    std::vector<ProgressState> progress_;
    std::vector<FileChoice> fileChoices_;
    std::vector<PasswordRequestMode> passwordRequests_;
    std::vector<AdminSecret> passwordSecrets_;
    std::deque<std::function<bool(const ShiftDialogRequest&)>> shiftAnswers_;
    std::vector<ShiftDialogRequest> shiftRequests_;
    bool busy_ = false;
    int busyChanges_ = 0;
    int pendingEventCalls_ = 0;
    int stopAtCall_ = 0;
    int unscripted_ = 0;
};

} // namespace sqllumo::testing
