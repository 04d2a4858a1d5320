#pragma once
// Archive catalogue entry 9, "Move Database fields": after the administrator check, the
// field-shifting dialog on the panel's database, and the report line when it moved fields.
// Also the console's way of naming one shift.

#include "FieldShifts.h"
#include "FunctionDescriptor.h"
#include "Operation.h"

#include <optional>

namespace sqllumo::shifting {

OperationOutcome MoveDatabaseFields(OperationContext& context);

// The console options of the five shifts, one per row of the dialog.
std::vector<ConsoleChoice> ShiftConsoleChoices();
// The shift a console option names; nullopt for an option or value it does not know.
std::optional<ShiftRequest> ShiftRequestForChoice(const QString& name, const QString& value);

} // namespace sqllumo::shifting
