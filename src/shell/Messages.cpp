// The four message forms (validation, success, error, access) and the trapped-error text.
#include "Messages.h"

namespace sqllumo {

Message validationMessage(const QString& text)
{
    return Message{text, QString(), MessageIcon::None, MessageButtons::Ok};
}

Message successMessage(const QString& windowCaption, const QString& text)
{
    return Message{text, windowCaption, MessageIcon::Information, MessageButtons::Ok};
}

Message errorMessage(const QString& windowCaption, const QString& text)
{
    return Message{text, windowCaption + texts::kErrorTitleSuffix, MessageIcon::Critical,
                   MessageButtons::Ok};
}

Message trappedErrorMessage(const QString& windowCaption, long long number,
                            const QString& description, bool duringConnection)
{
    const QString& head = duringConnection ? texts::kConnectionError : texts::kGenericError;
    return errorMessage(windowCaption, head + QLatin1Char('\r') + QString::number(number) +
                                           QStringLiteral(": ") + description);
}

Message accessMessage(const QString& text)
{
    return Message{text, texts::kWarningTitle, MessageIcon::None, MessageButtons::Ok};
}

} // namespace sqllumo
