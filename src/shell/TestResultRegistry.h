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
// together. Each value set reaches the file at once, unless writes are held: then the file is
// rewritten once, when the last hold ends.
class TestResultRegistry {
public:
    // Held for one step of a function (a whole structure test, one table of a creation): its
    // values reach the file together when the step ends, however it ends.
    class HeldWrites {
    public:
        explicit HeldWrites(TestResultRegistry& registry);
        ~HeldWrites();
        HeldWrites(const HeldWrites&) = delete;
        HeldWrites& operator=(const HeldWrites&) = delete;

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

private:
    std::unique_ptr<QSettings> store_;
    std::map<QString, QString> setHere_;
    int holds_ = 0;
};

} // namespace sqllumo
