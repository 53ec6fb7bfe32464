// TFieldDef and TFieldDefs: the column descriptions of a dataset (name, type, size,
// precision, column number), from which the dataset creates its default fields and to
// which BindFields binds data fields by name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tovrin5/host/DbEnums.h"

namespace tovrin::host {

class TComponent;
class TDataSet;
class TField;
class TFieldDefs;

class TFieldDef {
public:
    TFieldDef(TFieldDefs* AOwner, std::string AName, TFieldType ADataType, int ASize,
              bool ARequired, int AFieldNo);
    TFieldDef(const TFieldDef&) = delete;
    TFieldDef& operator=(const TFieldDef&) = delete;

    [[nodiscard]] const std::string& Name() const noexcept { return m_name; }
    void SetName(const std::string& Value) { m_name = Value; }
    [[nodiscard]] TFieldType DataType() const noexcept { return m_dataType; }
    void SetDataType(TFieldType Value) noexcept { m_dataType = Value; }
    [[nodiscard]] int Size() const noexcept { return m_size; }
    void SetSize(int Value) noexcept { m_size = Value; }
    /// Total digits of numeric types (BCD, money); 0 when not given.
    [[nodiscard]] int Precision() const noexcept { return m_precision; }
    void SetPrecision(int Value) noexcept { m_precision = Value; }
    /// 1-based column number.
    [[nodiscard]] int FieldNo() const noexcept { return m_fieldNo; }
    void SetFieldNo(int Value) noexcept { m_fieldNo = Value; }
    [[nodiscard]] bool Required() const noexcept { return m_required; }
    void SetRequired(bool Value) noexcept { m_required = Value; }
    /// Column computed and stored by the dataset itself (its field is fkInternalCalc).
    [[nodiscard]] bool InternalCalcField() const noexcept { return m_internalCalc; }
    void SetInternalCalcField(bool Value) noexcept { m_internalCalc = Value; }
    /// Position in the owning list.
    [[nodiscard]] int Index() const;
    [[nodiscard]] TFieldDefs* Collection() const noexcept { return m_owner; }

    /// Creates the field of this definition's type for the definition's dataset, owned by
    /// Owner (normally the dataset), with name, size, precision and Required copied.
    TField* CreateField(TComponent* Owner);

private:
    TFieldDefs* m_owner;
    std::string m_name;
    TFieldType m_dataType;
    int m_size;
    int m_precision = 0;
    int m_fieldNo;
    bool m_required;
    bool m_internalCalc = false;
};

/// The field definitions of one dataset; owns them.
class TFieldDefs {
public:
    explicit TFieldDefs(TDataSet* ADataSet) : m_dataSet(ADataSet) {}
    TFieldDefs(const TFieldDefs&) = delete;
    TFieldDefs& operator=(const TFieldDefs&) = delete;

    [[nodiscard]] TDataSet* DataSet() const noexcept { return m_dataSet; }
    [[nodiscard]] int Count() const noexcept { return static_cast<int>(m_items.size()); }
    /// Definition by position; raises EListError for an index outside the list.
    [[nodiscard]] TFieldDef* Items(int Index) const;
    [[nodiscard]] TFieldDef* operator[](int Index) const { return Items(Index); }
    /// Appends a definition numbered Count()+1. Raises EDatabaseError for a duplicate name.
    TFieldDef* Add(const std::string& Name, TFieldType DataType, int Size = 0,
                   bool Required = false);
    /// Appends an unnamed definition of ftUnknown (fill in its properties).
    TFieldDef* AddFieldDef();
    void Clear();
    /// Position of the definition of that name (case-insensitive ASCII); -1 when none.
    [[nodiscard]] int IndexOf(const std::string& Name) const;
    /// Definition of that name; raises EDatabaseError "Field definition '<n>' not found".
    [[nodiscard]] TFieldDef* Find(const std::string& Name) const;

    /// Whether the list reflects the dataset's present columns.
    [[nodiscard]] bool Updated() const noexcept { return m_updated; }
    void SetUpdated(bool Value) noexcept { m_updated = Value; }
    /// Brings the list up to date: unless Updated, asks the dataset to describe its
    /// columns (InternalInitFieldDefs while its cursor is open, else a short info open).
    void Update();

private:
    TDataSet* m_dataSet;
    std::vector<std::unique_ptr<TFieldDef>> m_items;
    bool m_updated = false;
};

} // namespace tovrin::host
