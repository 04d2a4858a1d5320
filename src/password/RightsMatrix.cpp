// The in-memory rights of one role: growing its grids while they are loaded, and reading a
// cell back when they are stored.

#include "RightsMatrix.h"

#include <algorithm>

namespace sqllumo::password {

namespace {

template <typename T> void growGrid(std::vector<std::vector<T>>& grid, size_t rows, size_t columns)
{
    if (grid.size() < rows)
        grid.resize(rows);
    for (auto& row : grid)
        if (row.size() < columns)
            row.resize(columns);
}

} // namespace

void RightsMatrix::startLoading(int macroRows, int functionRows)
{
    const size_t rows = static_cast<size_t>(std::max(macroRows, 0)) + 1;
    const size_t columns = static_cast<size_t>(std::max(functionRows, 0)) + 1;
    growGrid(names_, rows, columns);
    growGrid(ids_, rows, columns);
    growGrid(allowed_, rows, columns);
    macroCount_ = 0;
}

int RightsMatrix::addGroup(const QString& description)
{
    const int m = macroCount_;
    macroNames_.resize(static_cast<size_t>(m) + 1);
    macroNames_[m] = description;
    counts_.resize(static_cast<size_t>(m) + 1);
    counts_[m] = 0;
    ensureCell(m, 0);
    ++macroCount_;
    return m;
}

void RightsMatrix::ensureCell(int m, int f)
{
    const size_t columns =
        std::max(names_.empty() ? 0 : names_.front().size(), static_cast<size_t>(f) + 1);
    growGrid(names_, static_cast<size_t>(m) + 1, columns);
    growGrid(ids_, static_cast<size_t>(m) + 1, columns);
    growGrid(allowed_, static_cast<size_t>(m) + 1, columns);
}

void RightsMatrix::setFunctionCount(int m, int count)
{
    counts_[m] = count;
}

void RightsMatrix::setFunction(int m, int f, const QString& name, int id)
{
    ensureCell(m, f);
    names_[m][f] = name;
    ids_[m][f] = id;
}

void RightsMatrix::allowByName(int m, const QString& functionName)
{
    for (int f = 0; f < counts_[m]; ++f)
        if (names_[m][f] == functionName)
            allowed_[m][f] = true;
}

bool RightsMatrix::cell(int m, int f, int* id, bool* allowed) const
{
    if (m < 0 || f < 0 || static_cast<size_t>(m) >= allowed_.size() ||
        static_cast<size_t>(f) >= allowed_[m].size() || static_cast<size_t>(m) >= ids_.size() ||
        static_cast<size_t>(f) >= ids_[m].size())
        return false;
    *id = ids_[m][f];
    *allowed = allowed_[m][f];
    return true;
}

} // namespace sqllumo::password
