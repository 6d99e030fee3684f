#include "DatabaseHelper.h"

#include <string_view>

#include "CppSQLite.h"
#include "QVDatabaseRecord.h"

namespace {

// The record id column: writing it through a record would move the row under another id.
constexpr std::string_view kRidColumn = "RID";

std::span<const ColumnDef> ColumnsOf(const char* table) {
    const int32_t id = table ? QVDatabase::FindTable(table) : -1;
    if (id < 0) return {};
    return LibraryTableDef(id).columns;
}

}  // namespace

DatabaseHelper::DatabaseHelper(QVDatabase* database, const char* table)
    : database_(database), columns_(ColumnsOf(table)) {
    if (table) tableName_ = table;
}

DatabaseHelper::~DatabaseHelper() = default;

const char* DatabaseHelper::ColumnName(int32_t column) const {
    if (column < 0 || static_cast<size_t>(column) >= columns_.size()) return nullptr;
    return columns_[static_cast<size_t>(column)].name;
}

const char* DatabaseHelper::RequireColumn(int32_t column) const {
    const char* name = ColumnName(column);
    // Without a column name the record set would take the value for the whole where text.
    if (!name) throw CppSQLiteException(SqlCode::Wrapper, "Invalid field index requested");
    return name;
}

QVDatabaseRecordSet& DatabaseHelper::MakeRecordSet() {
    if (!recordSet_) recordSet_ = std::make_unique<QVDatabaseRecordSet>(database_, TableName());
    return *recordSet_;
}

void DatabaseHelper::SetSortOrder(const char* sortColumn, const char* secondSortColumn, bool ascending) {
    sortColumn_ = sortColumn ? std::optional<std::string>(sortColumn) : std::nullopt;
    secondSortColumn_ = secondSortColumn ? std::optional<std::string>(secondSortColumn) : std::nullopt;
    ascending_ = ascending;
}

void DatabaseHelper::EnsureRecordSet() {
    MakeRecordSet().SelectAll(SortColumn(), SecondSortColumn(), ascending_, false);
}

// ---- records

void DatabaseHelper::DeleteRecords(int32_t rid, DatabaseProgress* progress) {
    if (!recordSet_) return;
    const int32_t index = recordSet_->IndexOfRid(rid);
    if (index < 0) return;
    recordSet_->Delete({index}, progress);
}

void DatabaseHelper::SetFieldValue(int32_t rid, int32_t value, int32_t column) {
    const char* name = ColumnName(column);
    if (!recordSet_ || !name || name == kRidColumn) return;
    const int32_t index = recordSet_->IndexOfRid(rid);
    if (index < 0) return;
    QVDatabaseRecord record(database_, TableName());
    if (recordSet_->RecordAt(index, record) != 0) return;
    record.SetInteger(column, value);
    record.Save();  // an update of that one column; a failure leaves the row as it was
}

void DatabaseHelper::SetFieldFlag(int32_t rid, int32_t column, bool flag) { SetFieldValue(rid, flag ? 1 : 0, column); }

bool DatabaseHelper::GetFieldFlag(int32_t index, int32_t column) {
    const char* name = ColumnName(column);
    if (!recordSet_ || !name || index < 0 || index >= recordSet_->Count()) return false;
    QVDatabaseRecord record(database_, TableName());
    if (recordSet_->RecordAt(index, record) != 0) return false;
    try {
        record.Load({name});
    } catch (const CppSQLiteException&) {
        return false;  // a cell whose row cannot be read shows its flag off
    }
    const FieldValue* value = record.FindField(name);
    return value && value->Integer() != 0;
}

// ---- filters

std::string DatabaseHelper::BuildWhereList(const char* column, std::span<const std::string> texts) {
    CppSQLiteBuffer where;
    bool first = true;
    for (const std::string& text : texts) {
        if (first) {
            where.Format("%s = %Q", column, text.c_str());
            first = false;
        } else {
            where.Format("%s or %s = %Q", where.Get(), column, text.c_str());
        }
    }
    return first ? std::string() : std::string(where.Get());
}

void DatabaseHelper::Reselect(const std::string& condition, std::initializer_list<ColumnValue> narrowing) {
    CppSQLiteBuffer where;
    bool restricted = !condition.empty();
    if (restricted) where.Format("%s", condition.c_str());
    for (const auto& [column, value] : narrowing) {
        const char* name = RequireColumn(column);
        if (restricted) {
            where.Format("%s and %s = %s", where.Get(), name, value ? value : "NULL");
        } else {
            where.Format("%s = %s", name, value ? value : "NULL");
            restricted = true;
        }
    }
    if (!restricted) {
        EnsureRecordSet();
        return;
    }
    MakeRecordSet().SelectWhere(where.Get(), SortColumn(), SecondSortColumn(), ascending_);
}

std::string DatabaseHelper::EqualsCondition(int32_t column, const char* value) const {
    CppSQLiteBuffer term;
    return term.Format("%s = %s", RequireColumn(column), value ? value : "NULL");
}

std::string DatabaseHelper::SearchCondition(int32_t column, const char* text) const {
    return QVDatabaseRecordSet::SearchTerm(RequireColumn(column), text);
}

std::string DatabaseHelper::InListCondition(int32_t column, std::span<const std::string> texts) const {
    // In parentheses, so that the list binds before the terms that follow it.
    const char* name = RequireColumn(column);
    return texts.empty() ? std::string() : "(" + BuildWhereList(name, texts) + ")";
}

void DatabaseHelper::FilterEqualsOne(int32_t column) {
    CppSQLiteBuffer one;
    FilterEquals(column, one.Format("%d", 1));
}

void DatabaseHelper::FilterEqualsText(int32_t column, const char* text) {
    CppSQLiteBuffer quoted;
    FilterEquals(column, quoted.Format("%Q", text));
}

void DatabaseHelper::FilterInList(int32_t column, std::span<const std::string> texts) {
    Reselect(InListCondition(column, texts), {});
}

void DatabaseHelper::FilterEquals(int32_t column, const char* value) { Reselect(EqualsCondition(column, value), {}); }

void DatabaseHelper::Search(int32_t column, const char* text) { Reselect(SearchCondition(column, text), {}); }

void DatabaseHelper::FilterEqualsTextAnd2(int32_t column, const char* text, int32_t column2, const char* value2,
                                          int32_t column3, const char* value3) {
    CppSQLiteBuffer quoted;
    FilterEqualsAnd2(column, quoted.Format("%Q", text), column2, value2, column3, value3);
}

void DatabaseHelper::FilterEqualsTextAnd(int32_t column, const char* text, int32_t column2, const char* value2) {
    CppSQLiteBuffer quoted;
    FilterEqualsAnd(column, quoted.Format("%Q", text), column2, value2);
}

void DatabaseHelper::FilterInListAnd2(int32_t column, std::span<const std::string> texts, int32_t column2,
                                      const char* value2, int32_t column3, const char* value3) {
    Reselect(InListCondition(column, texts), {{column2, value2}, {column3, value3}});
}

void DatabaseHelper::FilterInListAnd(int32_t column, std::span<const std::string> texts, int32_t column2,
                                     const char* value2) {
    Reselect(InListCondition(column, texts), {{column2, value2}});
}

void DatabaseHelper::FilterEqualsAnd2(int32_t column, const char* value, int32_t column2, const char* value2,
                                      int32_t column3, const char* value3) {
    Reselect(EqualsCondition(column, value), {{column2, value2}, {column3, value3}});
}

void DatabaseHelper::FilterEqualsAnd(int32_t column, const char* value, int32_t column2, const char* value2) {
    Reselect(EqualsCondition(column, value), {{column2, value2}});
}

void DatabaseHelper::SearchAnd2(int32_t column, const char* text, int32_t column2, const char* value2,
                                int32_t column3, const char* value3) {
    Reselect(SearchCondition(column, text), {{column2, value2}, {column3, value3}});
}

void DatabaseHelper::SearchAnd(int32_t column, const char* text, int32_t column2, const char* value2) {
    Reselect(SearchCondition(column, text), {{column2, value2}});
}
