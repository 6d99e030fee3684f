#include "QVDatabaseRecordSet.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "CppSQLite.h"
#include "QVDatabase.h"
#include "QVDatabaseRecord.h"

namespace {

// The pattern of a literal search: the text anywhere, with the characters that LIKE would take as
// wildcards (and the escape character itself) escaped.
constexpr char kLikeEscape = '\\';

std::string LiteralLikePattern(const char* text) {
    std::string pattern = "%";
    for (const char* c = text ? text : ""; *c; ++c) {
        if (*c == '%' || *c == '_' || *c == kLikeEscape) pattern += kLikeEscape;
        pattern += *c;
    }
    pattern += '%';
    return pattern;
}

std::string EqualityTerm(const char* column, const char* value) {
    if (!column) return value ? value : "";
    CppSQLiteBuffer term;
    return term.Format("%s = %s", column, value);
}

struct Equality {
    const char* column;
    const char* value;
};

// The where text followed by " and column = value" for each further term.
std::string WithEqualities(const std::string& where, std::initializer_list<Equality> terms) {
    CppSQLiteBuffer text;
    text.Format("%s", where.c_str());
    for (const Equality& term : terms) text.Format("%s and %s = %s", text.Get(), term.column, term.value);
    return text.Get();
}

bool IsDifferentKey(const char* first, const char* second) {
    return second && (!first || std::string_view(first) != second);
}

}  // namespace

std::string QVDatabaseRecordSet::SearchTerm(const char* column, const char* text) {
    CppSQLiteBuffer term;
    return term.Format("lower(%s) like lower(%Q) escape '\\'", column, LiteralLikePattern(text).c_str());
}

QVDatabaseRecordSet::QVDatabaseRecordSet(QVDatabase* database, const char* table) : database_(database) {
    if (table) tableName_ = table;
}

QVDatabaseRecordSet::~QVDatabaseRecordSet() = default;

void QVDatabaseRecordSet::LoadRids(const char* sql) {
    if (!database_) throw CppSQLiteException(SqlCode::Wrapper, "Database not open");
    CppSQLiteTable table = database_->GetTable(sql);
    const int rows = table.NumRows();
    rids_.reserve(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        table.SetRow(row);
        const char* rid = table.FieldValue();
        rids_.push_back(rid ? SqlIntegerFromText(rid) : 0);
    }
}

void QVDatabaseRecordSet::SelectAll(const char* sortColumn, const char* secondSortColumn, bool ascending,
                                    bool lowerCase) {
    rids_.clear();
    const char* table = tableName_ ? tableName_->c_str() : "";
    CppSQLiteBuffer sql, key;
    if (!sortColumn) {
        LoadRids(sql.Format("select RID from %s;", table));
        return;
    }
    key.Format(lowerCase ? "lower(%s)" : "%s", sortColumn);
    sql.Format(ascending ? "select RID from %s order by %s ASC" : "select RID from %s order by %s DESC", table, key.Get());
    if (IsDifferentKey(sortColumn, secondSortColumn)) {
        key.Format(lowerCase ? "lower(%s)" : "%s", secondSortColumn);
        sql.Format("%s , %s ASC", sql.Get(), key.Get());
    }
    LoadRids(sql.Format("%s;", sql.Get()));
}

void QVDatabaseRecordSet::SelectWhere(const char* where, const char* sortColumn, const char* secondSortColumn,
                                      bool ascending) {
    rids_.clear();
    CppSQLiteBuffer sql;
    sql.Format("select RID from %s where %s", tableName_ ? tableName_->c_str() : "", where ? where : "");
    if (sortColumn) sql.Format(ascending ? "%s order by %s ASC" : "%s order by %s DESC", sql.Get(), sortColumn);
    if (IsDifferentKey(sortColumn, secondSortColumn)) sql.Format("%s , lower(%s)", sql.Get(), secondSortColumn);
    LoadRids(sql.Format("%s;", sql.Get()));
}

void QVDatabaseRecordSet::SelectEquals(const char* column, const char* value, const char* sortColumn,
                                       const char* secondSortColumn, bool ascending) {
    SelectWhere(EqualityTerm(column, value).c_str(), sortColumn, secondSortColumn, ascending);
}

void QVDatabaseRecordSet::SelectEqualsAnd(const char* column, const char* value, const char* column2,
                                          const char* value2, const char* sortColumn, const char* secondSortColumn,
                                          bool ascending) {
    const std::string where = WithEqualities(EqualityTerm(column, value), {{column2, value2}});
    SelectWhere(where.c_str(), sortColumn, secondSortColumn, ascending);
}

void QVDatabaseRecordSet::SelectEqualsAnd2(const char* column, const char* value, const char* column2,
                                           const char* value2, const char* column3, const char* value3,
                                           const char* sortColumn, const char* secondSortColumn, bool ascending) {
    const std::string where = WithEqualities(EqualityTerm(column, value), {{column2, value2}, {column3, value3}});
    SelectWhere(where.c_str(), sortColumn, secondSortColumn, ascending);
}

void QVDatabaseRecordSet::SearchLike(const char* column, const char* text, const char* sortColumn,
                                     const char* secondSortColumn, bool ascending) {
    SelectWhere(SearchTerm(column, text).c_str(), sortColumn, secondSortColumn, ascending);
}

void QVDatabaseRecordSet::SearchLikeAnd(const char* column, const char* text, const char* column2,
                                        const char* value2, const char* sortColumn, const char* secondSortColumn,
                                        bool ascending) {
    const std::string where = WithEqualities(SearchTerm(column, text), {{column2, value2}});
    SelectWhere(where.c_str(), sortColumn, secondSortColumn, ascending);
}

void QVDatabaseRecordSet::SearchLikeAnd2(const char* column, const char* text, const char* column2,
                                         const char* value2, const char* column3, const char* value3,
                                         const char* sortColumn, const char* secondSortColumn, bool ascending) {
    const std::string where = WithEqualities(SearchTerm(column, text), {{column2, value2}, {column3, value3}});
    SelectWhere(where.c_str(), sortColumn, secondSortColumn, ascending);
}

int32_t QVDatabaseRecordSet::RidAt(int32_t index) const {
    return index >= 0 && index < Count() ? rids_[static_cast<size_t>(index)] : 0;
}

int32_t QVDatabaseRecordSet::IndexOfRid(int32_t rid) const {
    const auto found = std::find(rids_.begin(), rids_.end(), rid);
    return found == rids_.end() ? -1 : static_cast<int32_t>(found - rids_.begin());
}

int16_t QVDatabaseRecordSet::RecordAt(int32_t index, QVDatabaseRecord& record) const {
    if (index < 0 || index >= Count()) return kIndexPastEnd;
    record.SetDatabase(database_);
    const char* table = tableName_ ? tableName_->c_str() : nullptr;
    const char* current = record.TableName();
    if (!table || !current || std::string_view(table) != current) record.SetTable(table);
    record.SetRid(rids_[static_cast<size_t>(index)]);
    return 0;
}

void QVDatabaseRecordSet::Assign(const QVDatabaseRecordSet& other) {
    if (this == &other) return;
    database_ = other.database_;
    tableName_ = other.tableName_;
    rids_ = other.rids_;
}

void QVDatabaseRecordSet::AssignRids(const QVDatabaseRecordSet& other) {
    if (this != &other) rids_ = other.rids_;
}

void QVDatabaseRecordSet::EraseFirst(int32_t rid) {
    const auto found = std::find(rids_.begin(), rids_.end(), rid);
    if (found != rids_.end()) rids_.erase(found);
}

void QVDatabaseRecordSet::ExecDelete(int32_t rid) {
    if (!database_) throw CppSQLiteException(SqlCode::Wrapper, "Database not open");
    CppSQLiteBuffer sql;
    database_->ExecDML(sql.Format("delete from %s where rid = %d;", tableName_ ? tableName_->c_str() : "", rid));
}

void QVDatabaseRecordSet::Delete(const std::set<int32_t>& indexes, DatabaseProgress* progress) {
    if (progress) progress->SetTotal(static_cast<int32_t>(indexes.size()));
    int32_t deleted = 0;
    // From the largest index down, so that taking an entry out moves none still to be visited.
    for (auto index = indexes.rbegin(); index != indexes.rend(); ++index) {
        if (*index < 0 || *index >= Count()) continue;
        const int32_t rid = rids_[static_cast<size_t>(*index)];
        EraseFirst(rid);
        try {
            ExecDelete(rid);
        } catch (const CppSQLiteException&) {
            continue;  // one row that cannot go does not stop the others
        }
        ++deleted;
        if (progress && progress->SetProgress(deleted)) break;
    }
}

void QVDatabaseRecordSet::DeleteAll() {
    for (const int32_t rid : rids_) ExecDelete(rid);
    rids_.clear();
}

void QVDatabaseRecordSet::RemoveIndexes(const std::set<int32_t>& indexes) {
    std::vector<int32_t> removed;
    for (const int32_t index : indexes) {
        const int32_t rid = RidAt(index);
        if (rid > 0) removed.push_back(rid);
    }
    for (const int32_t rid : removed) EraseFirst(rid);
}
