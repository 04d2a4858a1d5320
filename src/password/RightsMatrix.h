#pragma once
// The rights of one role held in memory, indexed (macro-function, function) from 0: group
// names and counts, function names and identifiers, and whether the role may use each.

#include "RoleFunctionSheet.h"

namespace sqllumo::password {

using rolefunctionsheet::Counts;
using rolefunctionsheet::FlagGrid;
using rolefunctionsheet::TextGrid;
using rolefunctionsheet::Texts;
using IdGrid = std::vector<std::vector<int>>;

class RightsMatrix {
public:
    // The grids get upper bounds macroRows and functionRows (so that many plus one cells each
    // way), keeping what they hold; the group count starts again from 0.
    void startLoading(int macroRows, int functionRows);
    // The next group, with its name; returns its index.
    int addGroup(const QString& description);
    // Function f of group m, with its identifier; the grids grow if a group has more
    // functions than were counted.
    void setFunction(int m, int f, const QString& name, int id);
    void setFunctionCount(int m, int count);
    // Marks every function of group m whose name is functionName (names are matched within
    // their group, so two functions of one name go together). Only ever sets marks.
    void allowByName(int m, const QString& functionName);

    int NumeroMacroFunzioni() const { return macroCount_; }
    Counts NumeroFunzioni() const { return counts_; }
    Texts MacroFunzioni() const { return macroNames_; }
    TextGrid Funzioni() const { return names_; }
    FlagGrid Attivazioni() const { return allowed_; }
    void setAttivazioni(const FlagGrid& ElencoAtt) { allowed_ = ElencoAtt; }

    // The cell's identifier and mark; false when the grids lack the cell (a grid written back
    // smaller than the counts).
    bool cell(int m, int f, int* id, bool* allowed) const;

private:
    void ensureCell(int m, int f);

    int macroCount_ = 0;
    Counts counts_;
    Texts macroNames_;
    TextGrid names_;
    IdGrid ids_;
    FlagGrid allowed_;
};

} // namespace sqllumo::password
