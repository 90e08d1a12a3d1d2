#pragma once
// A transaction that holds the write lock from its start (SQLite's BEGIN IMMEDIATE: the wait
// for it is the busy timeout's, not a failure halfway), rolls back unless committed, and
// never raises from its end.
namespace hostlib {

class DatabaseSession;

class TWriteTransaction {
public:
    explicit TWriteTransaction(DatabaseSession& database);
    ~TWriteTransaction();
    TWriteTransaction(const TWriteTransaction&) = delete;
    TWriteTransaction& operator=(const TWriteTransaction&) = delete;

    void Commit();

private:
    DatabaseSession& database_;
    bool open_ = true;
};

}  // namespace hostlib
