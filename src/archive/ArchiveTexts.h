#pragma once
// Report lines and registry values of the archive creation and the structure test, each kept
// once, and the key order both write into the test result registry.

#include <QString>
#include <QStringList>

namespace sqllumo::archive {

namespace texts {
inline const QString kLineBreak = QStringLiteral("\r\n");

// Creation.
inline const QString kDefineStart =
    QStringLiteral("START to CHECK and DEFINE TABLES into SQL database named ");
inline const QString kDefineFinish =
    QStringLiteral("FINISH to CHECK and DEFINE TABLES into SQL database ");
inline const QString kTableWord = QStringLiteral("Table ");
inline const QString kIsCorrect = QStringLiteral(" is correct");
inline const QString kDefineError =
    QStringLiteral("An error occurred during the check or definition of table ");

// Structure test.
inline const QString kTestStart = QStringLiteral("START to CHECK the SQL database named ");
inline const QString kTheTable = QStringLiteral("the table ");
inline const QString kIsNotPresent = QStringLiteral(" is not present");
inline const QString kWrongCountLine = QStringLiteral("Wrong COUNT of columns for table ");
inline const QString kStructureOf = QStringLiteral("the structure of the table ");
inline const QString kWrongNameOrTypeLine =
    QStringLiteral("Wrong NAME or TYPE for at least a column of the table ");
inline const QString kForTheTable = QStringLiteral("for the table ");
inline const QString kPrimaryKeyMissing = QStringLiteral(" PRIMARY key is not present");
inline const QString kPrimaryKeyCorrect = QStringLiteral(" status of PRIMARY key is correct");
inline const QString kPrimaryKeyNotCorrect =
    QStringLiteral(" PRIMARY key is present but it isn't correct");
inline const QString kIndexesCorrect = QStringLiteral(" status of INDEXES is correct");
inline const QString kForTable = QStringLiteral("for table ");
inline const QString kIndexMissingLine = QStringLiteral(" at least an index is not available (");
inline const QString kTheRelationship = QStringLiteral("the relationship ");
inline const QString kRelationCorrect = QStringLiteral(" is present and correct");
inline const QString kRelationWithout =
    QStringLiteral(" isn't correct: it's present but without referential integrity");
inline const QString kRelationWith =
    QStringLiteral(" isn't correct: it's present but with referential integrity");

// Access import.
inline const QString kImportDefineStart =
    QStringLiteral("START to DEFINE TABLES into SQL database named ");
inline const QString kImportDefineFinish =
    QStringLiteral("FINISH to DEFINE TABLES into SQL database ");
inline const QString kImportDefineError =
    QStringLiteral("An error occurred during the definition of table ");
inline const QString kDuplicateOn = QStringLiteral("Duplicate on ");
inline const QString kDuplicateField = QStringLiteral(" - field ");
inline const QString kCopyStart =
    QStringLiteral("START to COPY DATA from Access into SQL database named ");
inline const QString kCopyingTable = QStringLiteral("Copying table ");
inline const QString kTableFullyImported = QStringLiteral(" - the table has been fully imported.");
inline const QString kCopyFinish =
    QStringLiteral("FINISH to COPY DATA from Access into SQL database ");
inline const QString kTablesFullyImported =
    QStringLiteral(" - the tables have been fully imported.");
inline const QString kCopyError = QStringLiteral("An error occurred during the copy of table ");
inline const QString kCopyingTableInError = QStringLiteral("Copying table: ");
inline const QString kKeysStart =
    QStringLiteral("START to DEFINE INDEXES and KEYS for SQL database named ");
inline const QString kKeysFinish =
    QStringLiteral("FINISH to DEFINE INDEXES and KEYS for SQL database ");
inline const QString kKeysError =
    QStringLiteral("An error occurred during the definition of indexes or keys for the table ");
inline const QString kCopyingDataCaption = QStringLiteral("Copying Data");
inline const QString kKeysCaption = QStringLiteral("Defining indexes and keys");
inline const QString kAboutTable = QStringLiteral("about table ");
inline const QString kStatInitPrefix = QStringLiteral("STAT_INIT:");
inline const QString kStatInitTrue = QStringLiteral("STAT_INIT:TRUE");
// "Table T_Patient: 25000 rows in the source, 25000 in the database"
inline const QString kRowsInTheSource = QStringLiteral(" rows in the source, ");
inline const QString kInTheDatabase = QStringLiteral(" in the database");
inline const QString kNotInTheSource = QStringLiteral(" not in the source, ");
// Where in the source a row the copy could not write is: table, key column and key value.
inline const QString kSourceRow = QStringLiteral("table %1, row %2 = %3");
// A NULL the destination column cannot hold (db::kInvalidUseOfNull); %1: the row as
// kSourceRow gives it; %2: the column.
inline const QString kNullNotAllowed = QStringLiteral(
    "Invalid use of Null: %1, column %2 is NULL in the Access file but the database requires a "
    "value");
// Photos of T_Patient, left out unless asked for.
inline const QString kPhotoColumn = QStringLiteral("Photo");
inline const QString kOnePhotoNotCopied =
    QStringLiteral("1 patient had a photo that was not copied");
inline const QString kPhotosNotCopied =
    QStringLiteral("%1 patients had a photo that was not copied");
inline const QString kPhotosNotCopiedNamed = QStringLiteral(": ID_Patient ");
inline const QString kPhotosCopied = QStringLiteral("Photos copied with their patients: %1");
// The source checked before the server is touched.
inline const QString kSourceNotAccess = QStringLiteral("The file cannot be read as an Access "
                                                       "database: %1");
inline const QString kSourceTableMissing =
    QStringLiteral("The file has no table %1, which every archive has.");
inline const QString kSourceColumnMissing =
    QStringLiteral("The table %1 of the file has no column %2.");
// A stop asked for by the person: where, and what had been copied.
inline const QString kStoppedBeforeRow =
    QStringLiteral("The import was stopped at the user's request at table %1, before row %2 of "
                   "%3 (%4).");
inline const QString kStoppedAtTable =
    QStringLiteral("The import was stopped at the user's request at table %1, before its rows "
                   "were copied.");
inline const QString kCopiedBeforeStop =
    QStringLiteral("Copied: the tables before %1 in full, %2 of the %3 rows of %1, none of the "
                   "tables after it. No key and no index was added.");
inline const QString kStoppedInKeys =
    QStringLiteral("The import was stopped at the user's request while defining indexes and "
                   "keys, at table %1: the keys and indexes of %1 and of the tables after it "
                   "were not added.");
inline const QString kLeftIncomplete =
    QStringLiteral("The database %1 is left as it is and is incomplete.");
} // namespace texts

namespace values {
inline const QString kUnchecked = QStringLiteral("Unchecked");
inline const QString kPresent = QStringLiteral("Present");
inline const QString kNotPresentTable = QStringLiteral("NotPresent");
inline const QString kOk = QStringLiteral("Ok");
inline const QString kWrongCount = QStringLiteral("Wrong COUNT of columns");
inline const QString kWrongNameTypeIdentity =
    QStringLiteral("Wrong NAME or TYPE or IDENTITY for at least a column");
inline const QString kWrongNameType = QStringLiteral("Wrong NAME or TYPE for at least a column");
inline const QString kPresentNotCorrect = QStringLiteral("Present but not correct");
inline const QString kNotPresent = QStringLiteral("Not Present");
inline const QString kIndexMissingPrefix = QStringLiteral("At least an index is not available (");
inline const QString kWithoutIntegrity =
    QStringLiteral("Present but without referential integrity");
inline const QString kWithIntegrity = QStringLiteral("Present but with referential integrity");
} // namespace values

// The order in which the table keys are written into each section.
const QStringList& RegistryTableOrder();
// The relation keys, in their registry order.
const QStringList& RegistryRelationOrder();

} // namespace sqllumo::archive
