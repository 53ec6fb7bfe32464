// Dataset engine costs: one Next over a large in-memory dataset (no allocation per
// step), a field read through FieldByName, and AsInteger through a kept field reference.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "tovrin5/host/DataSet.h"
#include "bench/counting_allocator.h"

namespace {

using namespace tovrin::host;

// A dataset of n rows (ID integer, VAL float) held as one block per row. Record buffers:
// a flag byte and a value per column, then 4 bytes of record number and a flag byte.
class BenchDataSet final : public TDataSet {
public:
    explicit BenchDataSet(int rows) : TDataSet(nullptr) {
        m_rows.resize(static_cast<std::size_t>(rows) * kRecordSize);
        for (int i = 0; i < rows; ++i) {
            char* r = &m_rows[static_cast<std::size_t>(i) * kRecordSize];
            int32_t id = i + 1;
            double val = i * 0.5;
            r[0] = 1;
            std::memcpy(r + 1, &id, 4);
            r[5] = 1;
            std::memcpy(r + 6, &val, 8);
        }
        m_count = rows;
    }
    ~BenchDataSet() override {
        Destroying();
        Close();
    }

    [[nodiscard]] bool IsCursorOpen() const override { return m_open; }
    bool GetFieldData(TField* Field, void* Buffer) override {
        TRecordBuffer b = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
        if (!b || IsEmpty())
            return false;
        const char* slot = b + (Field->FieldNo() == 1 ? 0 : 5);
        if (Buffer)
            std::memcpy(Buffer, slot + 1, Field->FieldNo() == 1 ? 4 : 8);
        return slot[0] != 0;
    }

protected:
    static constexpr int kDataSize = 14;
    static constexpr int kRecordSize = kDataSize + 8;

    void InternalOpen() override {
        m_open = true;
        FieldDefs().SetUpdated(false);
        FieldDefs().Update();
        if (DefaultFields())
            CreateFields();
        BindFields(true);
        SetBookmarkSize(4);
        m_cur = -1;
    }
    void InternalClose() override {
        m_open = false;
        BindFields(false);
        if (DefaultFields())
            DestroyFields();
    }
    void InternalInitFieldDefs() override {
        FieldDefs().Clear();
        FieldDefs().Add("ID", ftInteger);
        FieldDefs().Add("VAL", ftFloat);
    }
    TRecordBuffer AllocRecordBuffer() override { return new char[kRecordSize](); }
    void FreeRecordBuffer(TRecordBuffer& Buffer) override {
        delete[] Buffer;
        Buffer = nullptr;
    }
    TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool) override {
        switch (GetMode) {
        case gmCurrent:
            if (m_cur < 0)
                return grBOF;
            if (m_cur >= m_count)
                return grEOF;
            break;
        case gmNext:
            if (m_cur >= m_count - 1)
                return grEOF;
            ++m_cur;
            break;
        case gmPrior:
            if (m_cur <= 0)
                return grBOF;
            --m_cur;
            break;
        }
        std::memcpy(Buffer, &m_rows[static_cast<std::size_t>(m_cur) * kRecordSize], kDataSize);
        int32_t recNo = m_cur + 1;
        std::memcpy(Buffer + kDataSize, &recNo, 4);
        Buffer[kDataSize + 4] = bfCurrent;
        return grOK;
    }
    void InternalFirst() override { m_cur = -1; }
    void InternalLast() override { m_cur = m_count; }
    void InternalSetToRecord(TRecordBuffer Buffer) override {
        int32_t recNo;
        std::memcpy(&recNo, Buffer + kDataSize, 4);
        m_cur = recNo - 1;
    }
    void InternalInitRecord(TRecordBuffer Buffer) override { std::memset(Buffer, 0, kRecordSize); }
    void GetBookmarkData(TRecordBuffer Buffer, void* Data) override {
        int32_t recNo;
        std::memcpy(&recNo, Buffer + kDataSize, 4);
        recNo -= 1;
        std::memcpy(Data, &recNo, 4);
    }
    void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override {
        int32_t i;
        std::memcpy(&i, Data, 4);
        i += 1;
        std::memcpy(Buffer + kDataSize, &i, 4);
    }
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override {
        return static_cast<TBookmarkFlag>(Buffer[kDataSize + 4]);
    }
    void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override {
        Buffer[kDataSize + 4] = static_cast<char>(Value);
    }
    void InternalGotoBookmark(const void* ABookmark) override { std::memcpy(&m_cur, ABookmark, 4); }
    void InternalPost() override {}
    void InternalDelete() override {}
    void InternalAddRecord(void*, bool) override {}
    void InternalHandleException() override {}
    [[nodiscard]] bool GetCanModify() const override { return false; }

private:
    std::vector<char> m_rows;
    int m_count = 0;
    int m_cur = -1;
    bool m_open = false;
};

constexpr int kRows = 1000000;

BenchDataSet& dataset() {
    static BenchDataSet* ds = [] {
        auto* d = new BenchDataSet(kRows);
        d->Open();
        return d;
    }();
    return *ds;
}

void BM_Next(benchmark::State& state) {
    BenchDataSet& ds = dataset();
    ds.First();
    std::size_t allocations = 0;
    for (auto _ : state) {
        std::size_t before = g_allocations;
        ds.Next();
        allocations += g_allocations - before;
        if (ds.Eof()) {
            state.PauseTiming();
            ds.First();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs_per_next"] = benchmark::Counter(static_cast<double>(allocations) /
                                                           static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Next);

void BM_FullScan(benchmark::State& state) {
    BenchDataSet& ds = dataset();
    for (auto _ : state) {
        int64_t sum = 0;
        TField* id = ds.FieldByName("ID");
        for (ds.First(); !ds.Eof(); ds.Next())
            sum += id->AsInteger();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_FullScan)->Unit(benchmark::kMillisecond);

void BM_FieldByNameRead(benchmark::State& state) {
    BenchDataSet& ds = dataset();
    ds.First();
    for (auto _ : state)
        benchmark::DoNotOptimize(ds.FieldByName("VAL")->AsFloat());
}
BENCHMARK(BM_FieldByNameRead);

void BM_AsIntegerThroughReference(benchmark::State& state) {
    BenchDataSet& ds = dataset();
    ds.First();
    TField* id = ds.FieldByName("ID");
    for (auto _ : state)
        benchmark::DoNotOptimize(id->AsInteger());
}
BENCHMARK(BM_AsIntegerThroughReference);

} // namespace
