// TDataSource connects a dataset to data links (the data-aware side); TDataLink receives
// the dataset's data events and keeps its own window (BufferCount records) onto the
// dataset's buffer ring; TDetailDataLink is a link that drives a detail dataset.
#pragma once

#include <cstdint>
#include <vector>

#include "tovrin5/host/Component.h"
#include "tovrin5/host/DbEnums.h"
#include "tovrin5/host/Events.h"

namespace tovrin::host {

class TDataSet;
class TDataLink;
class TField;

using TDataChangeEvent = TEvent<void(TObject* Sender, TField* Field)>;

class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* AOwner);
    /// Detaches every link and leaves the dataset.
    ~TDataSource() override;
    [[nodiscard]] std::string ClassName() const override { return "TDataSource"; }

    [[nodiscard]] TDataSet* DataSet() const noexcept { return m_dataSet; }
    /// Connects to a dataset. Raises EDatabaseError "Circular datalinks are not allowed"
    /// when ADataSet is linked back to this source through its own data source.
    void SetDataSet(TDataSet* ADataSet);
    [[nodiscard]] bool Enabled() const noexcept { return m_enabled; }
    void SetEnabled(bool Value);
    /// Whether data-aware controls may put the dataset into edit mode by themselves.
    [[nodiscard]] bool AutoEdit() const noexcept { return m_autoEdit; }
    void SetAutoEdit(bool Value) noexcept { m_autoEdit = Value; }
    /// The dataset's state as the links see it (dsInactive when disabled or no dataset).
    [[nodiscard]] TDataSetState State() const noexcept { return m_state; }
    /// Edits the dataset when AutoEdit and it is browsing.
    void Edit();
    /// True when ADataSet leads back to this source through data sources.
    [[nodiscard]] bool IsLinkedTo(TDataSet* ADataSet) const;
    [[nodiscard]] int DataLinkCount() const noexcept {
        return static_cast<int>(m_dataLinks.size());
    }

    [[nodiscard]] const TNotifyEvent& OnStateChange() const noexcept { return m_onStateChange; }
    void SetOnStateChange(TNotifyEvent e) { m_onStateChange = std::move(e); }
    [[nodiscard]] const TDataChangeEvent& OnDataChange() const noexcept { return m_onDataChange; }
    void SetOnDataChange(TDataChangeEvent e) { m_onDataChange = std::move(e); }
    [[nodiscard]] const TNotifyEvent& OnUpdateData() const noexcept { return m_onUpdateData; }
    void SetOnUpdateData(TNotifyEvent e) { m_onUpdateData = std::move(e); }

    void Notification(TComponent* AComponent, TOperation Operation) override;
    /// Published: AutoEdit, DataSet, Enabled, OnStateChange, OnDataChange, OnUpdateData.
    void GetPublishedProperties(TPropList& list) const override;

private:
    friend class TDataSet;
    friend class TDataLink;

    void dataEvent(TDataEvent Event, intptr_t Info);
    void updateState();
    void setState(TDataSetState Value);
    void addDataLink(TDataLink* link);
    void removeDataLink(TDataLink* link);

    TDataSet* m_dataSet = nullptr;
    std::vector<TDataLink*> m_dataLinks;
    bool m_enabled = true;
    bool m_autoEdit = true;
    TDataSetState m_state = dsInactive;
    TNotifyEvent m_onStateChange;
    TDataChangeEvent m_onDataChange;
    TNotifyEvent m_onUpdateData;
};

/// A link from a data-aware object to a data source. Override the notification hooks.
class TDataLink : public TPersistent {
public:
    TDataLink();
    /// Leaves the data source.
    ~TDataLink() override;
    [[nodiscard]] std::string ClassName() const override { return "TDataLink"; }

    [[nodiscard]] TDataSource* DataSource() const noexcept { return m_dataSource; }
    /// Moves the link to another data source (nullptr: none); the link's dataset's window
    /// is resized to the links' needs.
    void SetDataSource(TDataSource* ADataSource);
    [[nodiscard]] TDataSet* DataSet() const;
    /// True when the data source is enabled and its dataset is open.
    [[nodiscard]] bool Active() const noexcept { return m_active; }
    /// True while the dataset is in edit or insert mode (as seen through this link).
    [[nodiscard]] bool Editing() const noexcept { return m_editing; }
    [[nodiscard]] bool ReadOnly() const noexcept { return m_readOnly; }
    void SetReadOnly(bool Value);
    /// Number of records the link shows at once (a grid's rows); at least 1.
    [[nodiscard]] int BufferCount() const noexcept { return m_bufferCount; }
    void SetBufferCount(int Value);
    /// Row of the dataset's current record inside this link's window (0-based).
    [[nodiscard]] int ActiveRecord() const;
    void SetActiveRecord(int Value);
    /// Records in this link's window.
    [[nodiscard]] int RecordCount() const;
    /// Puts the dataset in edit mode (through the data source's Edit); returns Editing.
    bool Edit();
    /// Asks the link to write its pending value (UpdateData), once.
    void UpdateRecord();

protected:
    /// Hooks, called when: the link becomes active or inactive; a field or (Field
    /// nullptr) the whole current record changed; the dataset is about to change record
    /// or state; the records changed as a whole; the window scrolled by Distance rows;
    /// edit mode began or ended; the field layout changed; the link must write its
    /// pending value; a control must take focus for a field.
    virtual void ActiveChanged() {}
    virtual void RecordChanged(TField* /*Field*/) {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int /*Distance*/) { DataSetChanged(); }
    virtual void EditingChanged() {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void UpdateData() {}
    virtual void FocusControl(TField** /*Field*/) {}
    /// Dispatches a data event to the hooks above.
    virtual void DataEvent(TDataEvent Event, intptr_t Info);

private:
    friend class TDataSource;
    friend class TDataSet;

    void updateState();
    void setActive(bool Value);
    void setEditing(bool Value);
    void updateRange();

    TDataSource* m_dataSource = nullptr;
    bool m_active = false;
    bool m_editing = false;
    bool m_readOnly = false;
    bool m_updating = false;
    int m_bufferCount = 1;
    int m_firstRecord = 0;
};

/// A link whose owner is a detail dataset.
class TDetailDataLink : public TDataLink {
public:
    [[nodiscard]] std::string ClassName() const override { return "TDetailDataLink"; }
    /// The detail dataset this link drives (nullptr by default).
    [[nodiscard]] virtual TDataSet* GetDetailDataSet() { return nullptr; }
    [[nodiscard]] TDataSet* DetailDataSet() { return GetDetailDataSet(); }
};

} // namespace tovrin::host
