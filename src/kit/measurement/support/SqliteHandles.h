#pragma once

#include <sqlite3.h>

#include <map>
#include <memory>
#include <string>
#include <utility>

// A small RAII layer over the SQLite C interface: the statement owner, the
// lease of a cached statement and the cache itself.
namespace kit::measurement::sqlite {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// A statement in use: an owned one is finalised when the lease ends, a
// cached one is reset and its bindings cleared so the next user starts clean.
class StatementLease {
public:
    StatementLease() = default;
    static StatementLease owned(Statement statement) {
        StatementLease lease;
        lease.statement_ = statement.release();
        lease.cached_ = false;
        return lease;
    }
    static StatementLease cached(sqlite3_stmt* statement) {
        StatementLease lease;
        lease.statement_ = statement;
        lease.cached_ = true;
        return lease;
    }
    StatementLease(StatementLease&& other) noexcept
        : statement_(std::exchange(other.statement_, nullptr)), cached_(other.cached_) {}
    StatementLease& operator=(StatementLease&& other) noexcept {
        if (this != &other) {
            release();
            statement_ = std::exchange(other.statement_, nullptr);
            cached_ = other.cached_;
        }
        return *this;
    }
    StatementLease(const StatementLease&) = delete;
    StatementLease& operator=(const StatementLease&) = delete;
    ~StatementLease() { release(); }

    sqlite3_stmt* get() const noexcept { return statement_; }
    bool isCached() const noexcept { return cached_; }
    // Gives up the statement without resetting or finalising it.
    sqlite3_stmt* detach() noexcept { return std::exchange(statement_, nullptr); }

private:
    void release() noexcept {
        if (statement_ == nullptr) {
            return;
        }
        if (cached_) {
            sqlite3_reset(statement_);
            sqlite3_clear_bindings(statement_);
        } else {
            sqlite3_finalize(statement_);
        }
        statement_ = nullptr;
    }

    sqlite3_stmt* statement_ = nullptr;
    bool cached_ = false;
};

// Prepared statements by their exact text; finalised together.
class StatementCache {
public:
    StatementCache() = default;
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;
    ~StatementCache() { clear(); }

    sqlite3_stmt* find(const std::string& query) const {
        const auto found = statements_.find(query);
        return found != statements_.end() ? found->second.get() : nullptr;
    }
    sqlite3_stmt* insert(const std::string& query, Statement statement) {
        return statements_.insert_or_assign(query, std::move(statement)).first->second.get();
    }
    void clear() noexcept { statements_.clear(); }
    std::size_t size() const noexcept { return statements_.size(); }

private:
    std::map<std::string, Statement, std::less<>> statements_;
};

}  // namespace kit::measurement::sqlite
