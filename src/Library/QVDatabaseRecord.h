// One row of a library table held in memory: up to 16 typed field values, a dirty mask and the
// row's record id. Records load by a list of column names and save by insert or update.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "CppSQLite.h"

class QVDatabase;

enum class FieldKind : uint32_t { None = 0, Text = 1, Integer = 2, Boolean = 3, Blob = 4, UnsignedLong = 5 };

class FieldValue {
public:
    // A value named after its column (Load), or unnamed (placed by column position).
    explicit FieldValue(const char* name = nullptr) : name_(name ? name : "") {}

    // "" for an unnamed value.
    const std::string& Name() const { return name_; }
    FieldKind Kind() const { return kind_; }
    // Bytes of the text (without terminator) or of the blob; 0 for the other kinds.
    uint32_t Length() const;

    // A null text gives a Text value without text.
    void SetText(const char* text);
    void SetInteger(int32_t value);
    void SetBoolean(bool value);
    // Copies the bytes; a null pointer gives an empty blob.
    void SetBlob(const void* bytes, uint32_t length);
    void SetUnsignedLong(uint32_t value);

    // Null for a Text value without text.
    const char* Text() const { return text_ ? text_->c_str() : nullptr; }
    int32_t Integer() const { return static_cast<int32_t>(number_); }
    bool Boolean() const { return number_ != 0; }
    uint32_t UnsignedLong() const { return number_; }
    const uint8_t* BlobBytes() const { return blob_.empty() ? nullptr : blob_.data(); }
    // The blob in the stored binary encoding: no NUL and no quote, so it can stand between single
    // quotes in SQL. Made on first use and kept until the blob changes.
    const char* EncodedBlob();

private:
    void Reset(FieldKind kind);

    std::string name_;
    FieldKind kind_ = FieldKind::None;
    std::optional<std::string> text_;
    uint32_t number_ = 0;
    std::vector<uint8_t> blob_;
    std::optional<CppSQLiteBinary> encoded_;
};

class QVDatabaseRecord {
public:
    static constexpr int kMaxFields = 16;

    // A record of table `table` (or of no table yet) that is not stored: RID 0, no fields.
    QVDatabaseRecord(QVDatabase* database, const char* table);
    QVDatabaseRecord(const QVDatabaseRecord&) = delete;
    QVDatabaseRecord& operator=(const QVDatabaseRecord&) = delete;
    virtual ~QVDatabaseRecord();

    QVDatabase* Database() const { return database_; }
    void SetDatabase(QVDatabase* database) { database_ = database; }
    // Null when the record has no table.
    const char* TableName() const { return tableName_ ? tableName_->c_str() : nullptr; }
    void SetTable(const char* name);
    int32_t TableId() const { return tableId_; }
    // 0 while the row is not stored.
    int32_t Rid() const { return rid_; }
    void SetRid(int32_t rid) { rid_ = rid; }
    uint32_t DirtyMask() const { return dirty_; }

    // Setters replace field i (the column at position i of the table) and mark it to be written.
    // Integer serves the Boolean and PathType columns too. An index outside 0..15 is ignored.
    void SetText(int field, const char* text);
    void SetInteger(int field, int32_t value);
    void SetBlob(int field, const void* bytes, uint32_t length);
    // The `modification` column of Presets (field 10).
    void SetModification(uint32_t value);

    // Field i; null when absent or out of range.
    FieldValue* Field(int field) const;
    // The first field named `column` among the leading present fields; null when absent.
    FieldValue* FindField(const char* column) const;

    // Writes the record: an update of its dirty fields when it has a RID, else an insert under a
    // new RID; blobs follow in a statement of their own. Never raises: a failure leaves the row as
    // it was and the fields that were not written still marked.
    void Save();
    // Reads the listed columns (at most 16) of the row with the record's RID into fields 0..n-1,
    // named after the columns. A RID without a row gives empty values. Raises CppSQLiteException.
    void Load(std::span<const char* const> columns);
    void Load(std::initializer_list<const char*> columns) { Load(std::span<const char* const>(columns.begin(), columns.size())); }

    // Whether table row `rid` exists. Raises CppSQLiteException.
    bool Exists(int32_t rid);
    // Inserts an empty row with that RID; a failure is ignored.
    void Create(int32_t rid);

private:
    void Place(int field, std::unique_ptr<FieldValue> value);
    // The name of the table's column at position i; null when the table has none there.
    const char* ColumnName(int field) const;
    // Each answers whether its statement ran (or had nothing to do); the first two take the bits
    // of what they wrote out of `dirty`, the blob pass writes the blobs and absent fields marked
    // in it. Database errors are raised.
    bool SaveUpdate(uint32_t& dirty);
    bool SaveInsert(uint32_t& dirty, int32_t& newRid);
    bool SaveBlobs(uint32_t dirty, int32_t rid);

    QVDatabase* database_;
    std::optional<std::string> tableName_;
    int32_t tableId_ = -1;
    int32_t rid_ = 0;
    std::array<std::unique_ptr<FieldValue>, kMaxFields> fields_;
    uint32_t dirty_ = 0;
};

// A row of Frames with its three preview pictures and its resolved file path.
class QVFrameDatabaseRecord : public QVDatabaseRecord {
public:
    explicit QVFrameDatabaseRecord(QVDatabase* database);

    // The Preview blob of the row with the same RID in RGBPreviews, InMaskPreviews or
    // OutMaskPreviews; null when there is none. The bytes live as long as the record.
    const uint8_t* GetRGBPreview();
    const uint8_t* GetInMaskPreview();
    const uint8_t* GetOutMaskPreview();
    uint32_t RGBPreviewSize() const { return static_cast<uint32_t>(rgbPreview_.size()); }
    uint32_t InMaskPreviewSize() const { return static_cast<uint32_t>(inMaskPreview_.size()); }
    uint32_t OutMaskPreviewSize() const { return static_cast<uint32_t>(outMaskPreview_.size()); }

    // The row's file as a full path; null when its path type is unknown.
    const char* GetPath();

private:
    const uint8_t* LoadPreview(int table, std::vector<uint8_t>& copy);

    std::vector<uint8_t> rgbPreview_;
    std::vector<uint8_t> inMaskPreview_;
    std::vector<uint8_t> outMaskPreview_;
    std::optional<std::string> path_;
};

// A row of Presets with its resolved file path.
class QVPresetDatabaseRecord : public QVDatabaseRecord {
public:
    explicit QVPresetDatabaseRecord(QVDatabase* database);

    // The row's file as a full path; null when its path type is unknown.
    const char* GetPath();

private:
    std::optional<std::string> path_;
};
