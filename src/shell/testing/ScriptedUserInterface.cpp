// The scripted person of the tests: queues of answers and the record of what was shown.
#include "ScriptedUserInterface.h"

#include "RoleFunctionSheet.h"

namespace sqllumo::testing {

namespace {
MessageResult firstButton(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return MessageResult::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return MessageResult::Yes;
    case MessageButtons::RetryCancel:
        return MessageResult::Retry;
    }
    return MessageResult::Ok;
}
} // namespace

bool ScriptedUserInterface::scriptExhausted() const
{
    return messageAnswers_.empty() && fileAnswers_.empty() && passwordAnswers_.empty() &&
           shiftAnswers_.empty() && userDetailsAnswers_.empty() && roleEditorSteps_.empty();
}

MessageResult ScriptedUserInterface::showMessage(const Message& message)
{
    messages_.push_back(message);
    // A plain OK box needs no script: there is only one answer.
    if (message.buttons == MessageButtons::Ok)
        return MessageResult::Ok;
    if (messageAnswers_.empty()) {
        ++unscripted_;
        return firstButton(message.buttons);
    }
    const MessageResult answer = messageAnswers_.front();
    messageAnswers_.pop_front();
    return answer;
}

void ScriptedUserInterface::setBusy(bool busy)
{
    if (busy != busy_)
        ++busyChanges_;
    busy_ = busy;
}

std::optional<QString> ScriptedUserInterface::chooseFile(const FileChoice& choice)
{
    fileChoices_.push_back(choice);
    if (fileAnswers_.empty()) {
        ++unscripted_;
        return std::nullopt;
    }
    const QString answer = fileAnswers_.front();
    fileAnswers_.pop_front();
    if (answer.isNull())
        return std::nullopt;
    return std::optional<QString>(answer);
}

PasswordRequestResult ScriptedUserInterface::passwordRequest(PasswordRequestMode mode,
                                                             AdminSecret secret)
{
    passwordRequests_.push_back(mode);
    passwordSecrets_.push_back(secret);
    if (passwordAnswers_.empty()) {
        ++unscripted_;
        return {};
    }
    auto answer = passwordAnswers_.front();
    passwordAnswers_.pop_front();
    return answer;
}

bool ScriptedUserInterface::shiftDatabaseFields(const ShiftDialogRequest& request)
{
    shiftRequests_.push_back(request);
    if (shiftAnswers_.empty()) {
        ++unscripted_;
        return false;
    }
    const auto answer = std::move(shiftAnswers_.front());
    shiftAnswers_.pop_front();
    return answer(request);
}

UserDetailsResult ScriptedUserInterface::userDetails(const UserDetailsRequest& request)
{
    userDetailsRequests_.push_back(request);
    if (userDetailsAnswers_.empty()) {
        ++unscripted_;
        return {};
    }
    UserDetailsResult answer = userDetailsAnswers_.front();
    userDetailsAnswers_.pop_front();
    return answer;
}

void ScriptedUserInterface::roleFunctionSheet(const QString& roleName,
                                              rolefunctionsheet::RoleEditorCaller& caller,
                                              rolefunctionsheet::RightsSource& rights)
{
    roleEditorNames_.push_back(roleName);
    // As the editor does when it opens.
    caller.setPuoiModificareRole(false);
    if (roleEditorSteps_.empty()) {
        ++unscripted_;
        return;
    }
    RoleEditorStep step = std::move(roleEditorSteps_.front());
    roleEditorSteps_.pop_front();
    step(roleName, caller, rights);
}

GenericPasswordResult ScriptedUserInterface::genericPassword(const GenericPasswordResult& shown)
{
    genericShown_.push_back(shown);
    if (genericAnswers_.empty()) {
        ++unscripted_;
        return {};
    }
    auto answer = genericAnswers_.front();
    genericAnswers_.pop_front();
    return answer;
}

} // namespace sqllumo::testing
