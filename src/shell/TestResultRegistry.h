#pragma once
// The five sections of the settings store in which the archive creation and the structure
// test leave one short status text per table or relation.

#include <QString>
#include <map>
#include <memory>

class QSettings;

namespace sqllumo {

class Settings;

namespace registrysections {
inline const QString kTables = QStringLiteral("GEN_Tables");
inline const QString kColumns = QStringLiteral("GEN_Columns");
inline const QString kIndexes = QStringLiteral("GEN_Indexes");
inline const QString kPrimaryKey = QStringLiteral("GEN_PrimaryKey");
inline const QString kRelations = QStringLiteral("GEN_Relations");
} // namespace registrysections

// Reads and writes the sections in the file of the given settings store, so both are kept
// together. Each value set reaches the file at once, except within a step saved together (one
// write when the step ends) and while changes are held (none until they are kept).
class TestResultRegistry {
public:
    // Lives for one step of a function (a whole structure test, one table of a creation): the
    // step's values reach the file together when it ends, however it ends.
    class SavedTogether {
    public:
        explicit SavedTogether(TestResultRegistry& registry);
        ~SavedTogether();
        SavedTogether(const SavedTogether&) = delete;
        SavedTogether& operator=(const SavedTogether&) = delete;

    private:
        TestResultRegistry& registry_;
    };

    explicit TestResultRegistry(const Settings& settings);
    ~TestResultRegistry();
    TestResultRegistry(const TestResultRegistry&) = delete;
    TestResultRegistry& operator=(const TestResultRegistry&) = delete;

    void setValue(const QString& section, const QString& key, const QString& value);
    // Empty when the key was never written.
    QString value(const QString& section, const QString& key) const;
    // What this object set, kept in memory: another run rewriting the file does not change
    // it. Empty for a key this object did not set.
    QString setHere(const QString& section, const QString& key) const;
    // As Settings::holdChanges and keepHeld: values set stay here, the file as it was.
    void holdChanges() { holding_ = true; }
    void keepHeld();

private:
    std::unique_ptr<QSettings> store_;
    std::map<QString, QString> setHere_;
    bool holding_ = false;
    int steps_ = 0;
};

} // namespace sqllumo
