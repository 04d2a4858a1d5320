#pragma once
// A rights source and a caller made of plain fields, so the editor can be watched without a
// database; they count the writes the editor makes.

#include "RoleFunctionSheet.h"

namespace rolefunctionsheet::testing {

struct FakeRights : RightsSource {
    int macroCount = 0;
    Counts counts;
    Texts macroNames;
    TextGrid names;
    FlagGrid rights;
    QString roleName;
    int rightsWrites = 0;
    int nameWrites = 0;

    // groups x functions, function names "g<m> f<f>", marks from allowed(m, f).
    template <typename Allowed> static FakeRights grid(int groups, int functions, Allowed allowed)
    {
        FakeRights r;
        r.macroCount = groups;
        r.names.assign(groups + 1, std::vector<QString>(functions + 1));
        r.rights.assign(groups + 1, std::vector<bool>(functions + 1, false));
        for (int m = 0; m < groups; ++m) {
            r.counts.push_back(functions);
            r.macroNames.push_back(QStringLiteral("Group %1").arg(m));
            for (int f = 0; f < functions; ++f) {
                r.names[m][f] = QStringLiteral("g%1 f%2").arg(m).arg(f);
                r.rights[m][f] = allowed(m, f);
            }
        }
        return r;
    }

    int NumeroMacroFunzioni() const override { return macroCount; }
    Counts NumeroFunzioni() const override { return counts; }
    Texts MacroFunzioni() const override { return macroNames; }
    TextGrid Funzioni() const override { return names; }
    FlagGrid Attivazioni() const override { return rights; }
    void setAttivazioni(const FlagGrid& grid) override
    {
        rights = grid;
        ++rightsWrites;
    }
    QString RoleName() const override { return roleName; }
    void setRoleName(const QString& name) override
    {
        roleName = name;
        ++nameWrites;
    }
};

struct FakeCaller : RoleEditorCaller {
    bool locked = false;
    bool confirmed = true; // the editor must clear it when it opens
    QString typedName = QStringLiteral("untouched");

    bool isLocked() const override { return locked; }
    void setPuoiModificareRole(bool value) override { confirmed = value; }
    void setNomeRuolo(const QString& name) override { typedName = name; }
};

} // namespace rolefunctionsheet::testing
