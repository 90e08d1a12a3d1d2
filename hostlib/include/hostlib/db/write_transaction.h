#pragma once
// A transaction that holds the write lock from its start (SQLite's BEGIN IMMEDIATE: the wait
// for it is the busy timeout's, not a failure halfway), rolls back unless committed, and
// never raises from its end.
namespace hostlib {

class TdtmDBGeral;

class TWriteTransaction {
public:
    explicit TWriteTransaction(TdtmDBGeral& database);
    ~TWriteTransaction();
    TWriteTransaction(const TWriteTransaction&) = delete;
    TWriteTransaction& operator=(const TWriteTransaction&) = delete;

    void Commit();

private:
    TdtmDBGeral& database_;
    bool open_ = true;
};

}  // namespace hostlib
