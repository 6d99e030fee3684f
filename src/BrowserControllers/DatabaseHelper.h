// The model behind one table of the library browser: the table's current record set and its sort
// order, and the operations the browser asks of it: import (by the frames and presets helpers),
// delete, set a column of a record, read a flag column, and the filters and text searches that
// reselect the record set.
//
// Filters name columns by their position in the table's column list and take values as SQL
// literals as they stand (callers quote text with "%Q" or pass a number); the "Text" forms quote
// their first value themselves. A column position outside the table's list is refused with a
// CppSQLiteException, so that no filter ever runs with a missing column name.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "File.h"
#include "QVDatabase.h"
#include "QVDatabaseRecordSet.h"

class DatabaseHelper {
public:
    DatabaseHelper(QVDatabase* database, const char* table);
    DatabaseHelper(const DatabaseHelper&) = delete;
    DatabaseHelper& operator=(const DatabaseHelper&) = delete;
    virtual ~DatabaseHelper();

    // Imports every file of the folders and files named (files inside folders included); with
    // copy set the files are copied into the library first. The number of records made.
    virtual int32_t ImportFolder(const std::vector<FileSpec>& paths, bool copy) = 0;
    // Imports the files named.
    virtual int32_t ImportFiles(const std::vector<FileSpec>& paths, bool copy) = 0;

    // Deletes the record with that RID from the table and from the record set, reporting to the
    // progress (which may be null). A RID that is not in the set deletes nothing.
    virtual void DeleteRecords(int32_t rid, DatabaseProgress* progress);
    // Writes one column of the record with that RID as an integer; nothing when there is no
    // record set, the RID is not in it or the column is not one of the table's. Never raises.
    virtual void SetFieldValue(int32_t rid, int32_t value, int32_t column);
    virtual void SetFieldFlagOn(int32_t rid, int32_t column) { SetFieldFlag(rid, column, true); }
    virtual void SetFieldFlagOff(int32_t rid, int32_t column) { SetFieldFlag(rid, column, false); }
    // Whether the flag column of the record at that index of the set is not 0; false for an index
    // outside the set, a column not in the table, or a row that cannot be read.
    virtual bool GetFieldFlag(int32_t index, int32_t column);

    // The reselects. Each creates the record set when it is missing and orders it by the helper's
    // sort columns; database errors are raised as CppSQLiteException.
    virtual void FilterEqualsOne(int32_t column);
    virtual void FilterEqualsText(int32_t column, const char* text);
    // Rows whose column equals one of the texts; an empty list restricts nothing.
    virtual void FilterInList(int32_t column, std::span<const std::string> texts);
    virtual void FilterEquals(int32_t column, const char* value);
    // Rows whose column holds the text anywhere, ignoring case; the text is matched literally.
    virtual void Search(int32_t column, const char* text);
    virtual void FilterEqualsTextAnd2(int32_t column, const char* text, int32_t column2, const char* value2,
                                      int32_t column3, const char* value3);
    virtual void FilterEqualsTextAnd(int32_t column, const char* text, int32_t column2, const char* value2);
    virtual void FilterInListAnd2(int32_t column, std::span<const std::string> texts, int32_t column2,
                                  const char* value2, int32_t column3, const char* value3);
    virtual void FilterInListAnd(int32_t column, std::span<const std::string> texts, int32_t column2,
                                 const char* value2);
    virtual void FilterEqualsAnd2(int32_t column, const char* value, int32_t column2, const char* value2,
                                  int32_t column3, const char* value3);
    virtual void FilterEqualsAnd(int32_t column, const char* value, int32_t column2, const char* value2);
    virtual void SearchAnd2(int32_t column, const char* text, int32_t column2, const char* value2, int32_t column3,
                            const char* value3);
    virtual void SearchAnd(int32_t column, const char* text, int32_t column2, const char* value2);
    virtual void SetFieldFlag(int32_t rid, int32_t column, bool flag);

    // The plain reselect: every row in the helper's order.
    void EnsureRecordSet();
    // The order of every later reselect. A second sort column equal to the first is not used; the
    // second column always sorts ascending.
    void SetSortOrder(const char* sortColumn, const char* secondSortColumn, bool ascending);
    const char* SortColumn() const { return sortColumn_ ? sortColumn_->c_str() : nullptr; }
    const char* SecondSortColumn() const { return secondSortColumn_ ? secondSortColumn_->c_str() : nullptr; }
    bool Ascending() const { return ascending_; }

    QVDatabase* Database() const { return database_; }
    const char* TableName() const { return tableName_ ? tableName_->c_str() : nullptr; }
    // Null until the first reselect.
    QVDatabaseRecordSet* RecordSet() const { return recordSet_.get(); }
    // The name of the table's column at that position; null outside the table's list.
    const char* ColumnName(int32_t column) const;

    // "column = 'text'" for the first text, then " or column = 'text'" for each further one, the
    // texts quoted; "" for an empty list.
    static std::string BuildWhereList(const char* column, std::span<const std::string> texts);

protected:
    QVDatabaseRecordSet& MakeRecordSet();
    // The column's name, or a CppSQLiteException for a position outside the table's list.
    const char* RequireColumn(int32_t column) const;
    // Every filter and search is one reselect: a condition on one column (none: no condition),
    // narrowed by "and column = value" for each further column; with neither, every row. Values
    // are SQL literals as they stand; a null value is NULL.
    using ColumnValue = std::pair<int32_t, const char*>;
    void Reselect(const std::string& condition, std::initializer_list<ColumnValue> narrowing);
    std::string EqualsCondition(int32_t column, const char* value) const;
    std::string SearchCondition(int32_t column, const char* text) const;
    // The OR list in parentheses; "" for an empty list.
    std::string InListCondition(int32_t column, std::span<const std::string> texts) const;

    QVDatabase* database_;
    std::optional<std::string> tableName_;
    std::optional<std::string> sortColumn_;
    std::optional<std::string> secondSortColumn_;
    bool ascending_ = true;
    std::unique_ptr<QVDatabaseRecordSet> recordSet_;
    // The derived helpers' current record, -1 for none.
    int32_t currentIndex_ = -1;
    // The table's columns; empty for a table name the library does not know.
    std::span<const ColumnDef> columns_;
};
