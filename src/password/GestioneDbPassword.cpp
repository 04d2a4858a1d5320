// What every member of the password-database service object shares: the failure messages and
// the connection each member opens for itself.
#include "GestioneDbPassword.h"

#include "CRijndael.h"
#include "ConnectionStrings.h"

namespace sqllumo::password {

GestioneDbPassword::GestioneDbPassword(UserInterface& ui, QString windowCaption,
                                       const Settings& settings, dbport::Provider& database)
    : ui_(ui), caption_(std::move(windowCaption)), settings_(settings), database_(database)
{
}

void GestioneDbPassword::showConnectionFailure(long number, const QString& description)
{
    ui_.showMessage(trappedErrorMessage(caption_, number, description, true));
}

void GestioneDbPassword::showFailure(long number, const QString& description)
{
    ui_.showMessage(trappedErrorMessage(caption_, number, description, false));
}

void GestioneDbPassword::showPlain(const QString& text, MessageIcon icon)
{
    ui_.showMessage(Message{text, QString(), icon, MessageButtons::Ok});
}

void GestioneDbPassword::openDatabase(dbport::Connection& connection, const QString& server,
                                      const QString& database, const QString& user,
                                      const QString& password)
{
    connection.open(BuildConnectionString(server, database, user, password));
}

std::unique_ptr<dbport::UpdatableRows> GestioneDbPassword::updatable(const QString& select,
                                                                     dbport::Connection& connection)
{
    return connection.openUpdatable(select);
}

std::pair<long, QString> GestioneDbPassword::describe(const std::exception& failure)
{
    // The cipher refuses an empty password: an invalid argument (5) in the program's numbering.
    return {5, QString::fromUtf8(failure.what())};
}

namespace {
std::u16string units(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}
QString fromUnits(const std::u16string& text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}
} // namespace

QString GestioneDbPassword::Encipher(const QString& key, const QString& text)
{
    return fromUnits(EncipherText(units(key), units(text)));
}

QString GestioneDbPassword::Decipher(const QString& key, const QString& cipherText)
{
    return fromUnits(DecipherText(units(key), units(cipherText)));
}

QString GestioneDbPassword::FixedKeyCipher(const QString& text)
{
    return Encipher(fromUnits(kFixedKeyText), text);
}

QString GestioneDbPassword::FixedKeyPlain(const QString& cipherText)
{
    return Decipher(fromUnits(kFixedKeyText), cipherText);
}

} // namespace sqllumo::password
