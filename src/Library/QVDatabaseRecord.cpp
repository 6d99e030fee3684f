#include "QVDatabaseRecord.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "QVDatabase.h"

namespace {

constexpr int kModificationField = 10;
// Frames and Presets keep a file's location in columns 2 (PathType) and 3 (Path).
constexpr int kPathTypeColumn = 2;
constexpr int kPathColumn = 3;

uint32_t Bit(int field) { return uint32_t{1} << field; }

bool IsValidField(int field) { return field >= 0 && field < QVDatabaseRecord::kMaxFields; }

// Appends the SQL literal of a field's value: text quoted by "%Q" (NULL for none), numbers in
// decimal, NULL for an absent field.
void AppendValue(CppSQLiteBuffer& sql, const FieldValue* value) {
    if (!value) {
        sql.Format("%sNULL", sql.Get());
        return;
    }
    switch (value->Kind()) {
        case FieldKind::Text:
            sql.Format("%s%Q", sql.Get(), value->Text());
            break;
        case FieldKind::Integer:
            sql.Format("%s%d", sql.Get(), value->Integer());
            break;
        case FieldKind::Boolean:
            sql.Format("%s%d", sql.Get(), value->Boolean() ? 1 : 0);
            break;
        case FieldKind::UnsignedLong:
            sql.Format("%s%lu", sql.Get(), static_cast<unsigned long>(value->UnsignedLong()));
            break;
        case FieldKind::None:
        case FieldKind::Blob:
            break;  // never written here
    }
}

// Fields the first statement of Save writes: present, with a value, and not a blob.
bool IsPlainValue(const FieldValue* value) {
    return value && value->Kind() != FieldKind::None && value->Kind() != FieldKind::Blob;
}

}  // namespace

// ---- FieldValue

uint32_t FieldValue::Length() const {
    switch (kind_) {
        case FieldKind::Text:
            return text_ ? static_cast<uint32_t>(text_->size()) : 0;
        case FieldKind::Blob:
            return static_cast<uint32_t>(blob_.size());
        default:
            return 0;
    }
}

void FieldValue::Reset(FieldKind kind) {
    kind_ = kind;
    text_.reset();
    number_ = 0;
    blob_.clear();
    encoded_.reset();
}

void FieldValue::SetText(const char* text) {
    Reset(FieldKind::Text);
    if (text) text_ = text;
}

void FieldValue::SetInteger(int32_t value) {
    Reset(FieldKind::Integer);
    number_ = static_cast<uint32_t>(value);
}

void FieldValue::SetBoolean(bool value) {
    Reset(FieldKind::Boolean);
    number_ = value ? 1 : 0;
}

void FieldValue::SetUnsignedLong(uint32_t value) {
    Reset(FieldKind::UnsignedLong);
    number_ = value;
}

void FieldValue::SetBlob(const void* bytes, uint32_t length) {
    Reset(FieldKind::Blob);
    if (bytes && length) {
        const auto* first = static_cast<const uint8_t*>(bytes);
        blob_.assign(first, first + length);
    }
}

const char* FieldValue::EncodedBlob() {
    if (!encoded_) {
        encoded_.emplace();
        encoded_->SetBinary(blob_.data(), static_cast<int>(blob_.size()));
    }
    return reinterpret_cast<const char*>(encoded_->GetEncoded());
}

// ---- QVDatabaseRecord

QVDatabaseRecord::QVDatabaseRecord(QVDatabase* database, const char* table) : database_(database) {
    if (table) SetTable(table);
}

QVDatabaseRecord::~QVDatabaseRecord() = default;

void QVDatabaseRecord::SetTable(const char* name) {
    if (name) {
        tableName_ = name;
    } else {
        tableName_.reset();
    }
    tableId_ = QVDatabase::FindTable(name);
}

void QVDatabaseRecord::Place(int field, std::unique_ptr<FieldValue> value) {
    if (!IsValidField(field)) return;
    fields_[field] = std::move(value);
    dirty_ |= Bit(field);
}

void QVDatabaseRecord::SetText(int field, const char* text) {
    auto value = std::make_unique<FieldValue>();
    value->SetText(text);
    Place(field, std::move(value));
}

void QVDatabaseRecord::SetInteger(int field, int32_t number) {
    auto value = std::make_unique<FieldValue>();
    value->SetInteger(number);
    Place(field, std::move(value));
}

void QVDatabaseRecord::SetBlob(int field, const void* bytes, uint32_t length) {
    auto value = std::make_unique<FieldValue>();
    value->SetBlob(bytes, length);
    Place(field, std::move(value));
}

void QVDatabaseRecord::SetModification(uint32_t number) {
    auto value = std::make_unique<FieldValue>();
    value->SetUnsignedLong(number);
    Place(kModificationField, std::move(value));
}

FieldValue* QVDatabaseRecord::Field(int field) const { return IsValidField(field) ? fields_[field].get() : nullptr; }

FieldValue* QVDatabaseRecord::FindField(const char* column) const {
    if (!column) return nullptr;
    for (const auto& value : fields_) {
        if (!value) break;
        if (value->Name() == column) return value.get();
    }
    return nullptr;
}

const char* QVDatabaseRecord::ColumnName(int field) const {
    if (tableId_ < 0) return nullptr;
    const auto columns = LibraryTableDef(tableId_).columns;
    return field >= 0 && static_cast<size_t>(field) < columns.size() ? columns[field].name : nullptr;
}

void QVDatabaseRecord::Save() {
    if (!database_ || tableId_ < 0) return;
    if (rid_ != 0 && dirty_ == 0) return;
    // The row and its blobs are written in one transaction, so that a record costs the disk one
    // commit. The RID and the mask are worked on in copies and kept only once the row is
    // committed: what could not be written stays marked for the next Save.
    std::optional<CppSQLiteSavepoint> savepoint;
    try {
        savepoint.emplace(*database_, "RecordSave");
    } catch (const CppSQLiteException&) {
        return;
    }
    uint32_t dirty = dirty_;
    int32_t rid = rid_;
    bool written = false;
    try {
        written = rid != 0 ? SaveUpdate(dirty) : SaveInsert(dirty, rid);
    } catch (const CppSQLiteException&) {
        written = false;
    }
    uint32_t afterBlobs = dirty;
    if (written) {
        try {
            if (SaveBlobs(dirty, rid)) afterBlobs = 0;
        } catch (const CppSQLiteException&) {
            afterBlobs = dirty;  // the row stands; its blobs are tried again
        }
    }
    // A statement that failed took back only its own changes: an id taken from the counter stays
    // taken even when its row could not be written. A release that fails rolls everything back.
    try {
        savepoint->Release();
    } catch (const CppSQLiteException&) {
        return;
    }
    if (written) {
        rid_ = rid;
        dirty_ = afterBlobs;
    }
}

bool QVDatabaseRecord::SaveUpdate(uint32_t& dirty) {
    CppSQLiteBuffer list;
    bool any = false;
    for (int i = 1; i < kMaxFields; ++i) {
        if (!(dirty & Bit(i))) continue;
        const FieldValue* value = fields_[i].get();
        if (value && (value->Kind() == FieldKind::Blob || value->Kind() == FieldKind::None)) continue;
        const char* column = ColumnName(i);
        if (!column) return false;
        list.Format(any ? "%s,%s = " : "%s%s = ", list.Get(), column);
        AppendValue(list, value);
        dirty &= ~Bit(i);
        any = true;
    }
    if (!any) return true;
    CppSQLiteBuffer head, tail, sql;
    head.Format("update %s set ", TableName());
    tail.Format(" where rid = %d", rid_);
    sql.Format("%s%s%s;", head.Get(), list.Get(), tail.Get());
    database_->ExecDML(sql);
    return true;
}

bool QVDatabaseRecord::SaveInsert(uint32_t& dirty, int32_t& newRid) {
    try {
        newRid = database_->NewRecordID();
    } catch (const CppSQLiteException&) {
        return false;
    }
    CppSQLiteBuffer columns, values;
    columns.Format("(%s", ColumnName(0));
    values.Format("values (%d", newRid);
    for (int i = 1; i < kMaxFields; ++i) {
        const FieldValue* value = fields_[i].get();
        if (!IsPlainValue(value)) continue;
        const char* column = ColumnName(i);
        if (!column) return false;
        columns.Format("%s, %s", columns.Get(), column);
        values.Format("%s, ", values.Get());
        AppendValue(values, value);
        dirty &= ~Bit(i);
    }
    columns.Format("%s)", columns.Get());
    values.Format("%s)", values.Get());
    CppSQLiteBuffer sql;
    sql.Format("insert into %s ", TableName());
    sql.Format("%s %s %s;", sql.Get(), columns.Get(), values.Get());
    database_->ExecDML(sql);
    return true;
}

bool QVDatabaseRecord::SaveBlobs(uint32_t dirty, int32_t rid) {
    if (dirty == 0) return true;
    CppSQLiteBuffer sql;
    sql.Format("update %s set", TableName());
    bool any = false;
    for (int i = 1; i < kMaxFields; ++i) {
        if (!(dirty & Bit(i))) continue;
        FieldValue* value = fields_[i].get();
        if (value && value->Kind() != FieldKind::Blob) continue;
        const char* column = ColumnName(i);
        if (!column) return false;
        sql.Format(any ? "%s, " : "%s ", sql.Get());
        if (!value || value->Length() == 0) {
            sql.Format("%s%s = NULL", sql.Get(), column);
        } else {
            sql.Format("%s%s = '%s'", sql.Get(), column, value->EncodedBlob());
        }
        any = true;
    }
    if (any) {
        sql.Format("%s where rid = %d;", sql.Get(), rid);
        database_->ExecDML(sql);
    }
    return true;
}

void QVDatabaseRecord::Load(std::span<const char* const> columns) {
    if (columns.empty()) return;
    if (!database_) throw CppSQLiteException(SqlCode::Wrapper, "Database not open");
    if (columns.size() > kMaxFields) throw CppSQLiteException(SqlCode::Wrapper, "Invalid field index requested");
    for (auto& value : fields_) value.reset();
    for (size_t i = 0; i < columns.size(); ++i) fields_[i] = std::make_unique<FieldValue>(columns[i]);

    CppSQLiteBuffer sql;
    sql.Format("select %s", columns[0]);
    for (size_t i = 1; i < columns.size(); ++i) sql.Format("%s, %s", sql.Get(), columns[i]);
    sql.Format("%s from %s where rid = %d;", sql.Get(), TableName(), rid_);

    CppSQLiteQuery query = database_->ExecQuery(sql);
    for (size_t i = 0; i < columns.size(); ++i) {
        FieldValue& value = *fields_[i];
        const int column = static_cast<int>(i);
        const std::string_view type = query.FieldDeclType(column);
        const char* text = query.FieldValue(column);  // null without a row or for NULL
        if (type == "Blob") {
            if (text) {
                CppSQLiteBinary binary;
                binary.SetEncoded(reinterpret_cast<const unsigned char*>(text));
                const unsigned char* bytes = binary.GetBinary();
                value.SetBlob(bytes, static_cast<uint32_t>(binary.GetBinaryLength()));
            } else {
                value.SetBlob(nullptr, 0);
            }
        } else if (type == "Text") {
            value.SetText(text);
        } else if (type == "Boolean") {
            value.SetBoolean(text && SqlIntegerFromText(text) != 0);
        } else {
            value.SetInteger(text ? SqlIntegerFromText(text) : 0);
        }
    }
    query.Finalize();
}

bool QVDatabaseRecord::Exists(int32_t rid) {
    if (!database_) return false;
    CppSQLiteBuffer sql;
    CppSQLiteQuery query = database_->ExecQuery(sql.Format("select RID from %s where RID = %d;", TableName(), rid));
    return !query.Eof();
}

void QVDatabaseRecord::Create(int32_t rid) {
    if (!database_) return;
    try {
        CppSQLiteBuffer sql;
        database_->ExecDML(sql.Format("insert into %s (RID) values (%d);", TableName(), rid));
    } catch (const CppSQLiteException&) {
        // An existing row or a closed library leaves nothing to create.
    }
}

// ---- Frame and preset records

namespace {

// The resolved path of row `rid` of a table with PathType and Path at columns 2 and 3; none when
// the row's path type is unknown or the row cannot be read.
std::optional<std::string> LoadResolvedPath(QVDatabase* database, int table, int32_t rid) {
    if (!database) return std::nullopt;
    const auto columns = LibraryTableDef(table).columns;
    QVDatabaseRecord row(database, LibraryTableDef(table).name);
    row.SetRid(rid);
    try {
        row.Load({columns[kPathTypeColumn].name, columns[kPathColumn].name});
    } catch (const CppSQLiteException&) {
        return std::nullopt;
    }
    return database->ResolvePath(row.Field(1)->Text(), row.Field(0)->Integer());
}

}  // namespace

QVFrameDatabaseRecord::QVFrameDatabaseRecord(QVDatabase* database)
    : QVDatabaseRecord(database, LibraryTableDef(LibraryTable::Frames).name) {}

const uint8_t* QVFrameDatabaseRecord::LoadPreview(int table, std::vector<uint8_t>& copy) {
    copy.clear();
    if (!Database()) return nullptr;
    QVDatabaseRecord preview(Database(), LibraryTableDef(table).name);
    preview.SetRid(Rid());
    try {
        preview.Load({"Preview"});
    } catch (const CppSQLiteException&) {
        return nullptr;
    }
    const FieldValue* value = preview.FindField("Preview");
    if (!value || value->Length() == 0) return nullptr;
    copy.assign(value->BlobBytes(), value->BlobBytes() + value->Length());
    return copy.data();
}

const uint8_t* QVFrameDatabaseRecord::GetRGBPreview() { return LoadPreview(LibraryTable::RGBPreviews, rgbPreview_); }

const uint8_t* QVFrameDatabaseRecord::GetInMaskPreview() { return LoadPreview(LibraryTable::InMaskPreviews, inMaskPreview_); }

const uint8_t* QVFrameDatabaseRecord::GetOutMaskPreview() { return LoadPreview(LibraryTable::OutMaskPreviews, outMaskPreview_); }

const char* QVFrameDatabaseRecord::GetPath() {
    path_ = LoadResolvedPath(Database(), LibraryTable::Frames, Rid());
    return path_ ? path_->c_str() : nullptr;
}

QVPresetDatabaseRecord::QVPresetDatabaseRecord(QVDatabase* database)
    : QVDatabaseRecord(database, LibraryTableDef(LibraryTable::Presets).name) {}

const char* QVPresetDatabaseRecord::GetPath() {
    path_ = LoadResolvedPath(Database(), LibraryTable::Presets, Rid());
    return path_ ? path_->c_str() : nullptr;
}
