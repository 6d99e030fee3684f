// The ordered list of record ids that a query over one library table returned; the library
// browser binds its visible cells to records by index in such a set.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

class DatabaseProgress;
class QVDatabase;
class QVDatabaseRecord;

class QVDatabaseRecordSet {
public:
    static constexpr int16_t kIndexPastEnd = 12;

    QVDatabaseRecordSet(QVDatabase* database, const char* table);
    virtual ~QVDatabaseRecordSet();

    // Every query replaces the set with the RIDs of its rows, in row order, and raises
    // CppSQLiteException on a database error (the set is then empty). A sort column of null
    // leaves the order to the database; a second sort column equal to the first is not used.

    // All rows; both sort keys in lower case when `lowerCase` is set. The second key always sorts
    // ascending.
    void SelectAll(const char* sortColumn, const char* secondSortColumn, bool ascending, bool lowerCase);
    // Rows matching a where text; the sort column is used as given, the second in lower case.
    void SelectWhere(const char* where, const char* sortColumn, const char* secondSortColumn, bool ascending);
    // Rows whose column equals a value. Values are SQL literals as they stand: callers quote text
    // with "%Q" or pass a number. A null column makes the value the whole condition.
    void SelectEquals(const char* column, const char* value, const char* sortColumn, const char* secondSortColumn,
                      bool ascending);
    void SelectEqualsAnd(const char* column, const char* value, const char* column2, const char* value2,
                         const char* sortColumn, const char* secondSortColumn, bool ascending);
    void SelectEqualsAnd2(const char* column, const char* value, const char* column2, const char* value2,
                          const char* column3, const char* value3, const char* sortColumn,
                          const char* secondSortColumn, bool ascending);
    // Rows whose column holds the search text anywhere, ignoring case. The text is matched
    // literally: its quotes, "%" and "_" are plain characters.
    void SearchLike(const char* column, const char* text, const char* sortColumn, const char* secondSortColumn,
                    bool ascending);
    void SearchLikeAnd(const char* column, const char* text, const char* column2, const char* value2,
                       const char* sortColumn, const char* secondSortColumn, bool ascending);
    void SearchLikeAnd2(const char* column, const char* text, const char* column2, const char* value2,
                        const char* column3, const char* value3, const char* sortColumn,
                        const char* secondSortColumn, bool ascending);

    // The condition of a literal, case-blind search of column for text.
    static std::string SearchTerm(const char* column, const char* text);

    int32_t Count() const { return static_cast<int32_t>(rids_.size()); }
    // 0 for an index outside the set.
    int32_t RidAt(int32_t index) const;
    // The index of the RID's first occurrence; -1 when absent.
    int32_t IndexOfRid(int32_t rid) const;
    // Binds the record to the row at that index (database, table and RID; fields are not loaded):
    // 0, or 12 for an index outside the set (the record is left alone).
    int16_t RecordAt(int32_t index, QVDatabaseRecord& record) const;

    void Assign(const QVDatabaseRecordSet& other);
    void AssignRids(const QVDatabaseRecordSet& other);

    // Deletes the rows at the given indexes, from the largest index down, taking their RIDs out of
    // the set. A row that cannot be deleted is skipped. The progress (if any) learns the number of
    // rows and each running count of deletes, and stops the run when it answers true.
    void Delete(const std::set<int32_t>& indexes, DatabaseProgress* progress);
    // Deletes every row of the set and empties it; errors are raised.
    void DeleteAll();
    // Takes the RIDs at those indexes out of the set; the rows stay in the database.
    void RemoveIndexes(const std::set<int32_t>& indexes);

private:
    void LoadRids(const char* sql);
    void EraseFirst(int32_t rid);
    void ExecDelete(int32_t rid);

    QVDatabase* database_;
    std::optional<std::string> tableName_;
    std::vector<int32_t> rids_;
};
