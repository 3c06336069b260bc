// The registry of a prefix kept in an SQLite database (registry.db).
//
// Layout: a table of keys (id, parent id, name as created, upper-cased name
// for lookups and ordering) and a table of values (id, key id, name,
// upper-cased name, type, data); ids are never reused, values list in id
// order, which is creation order. The hive roots HKEY_LOCAL_MACHINE,
// HKEY_USERS and HKEY_DYN_DATA are keys with parent 0; the other hives are
// views of keys below them.
//
// Writes go into a transaction that is committed by Flush, by destruction,
// and by a background committer a short while after the transaction began,
// so a burst of thousands of writes costs one commit, another process is
// never kept waiting long, and a crash of this process loses at most the
// writes of that short while, never a flushed one. An update
// (BeginUpdate) keeps its transaction open until EndUpdate instead.
//
// Every commit is synced to disk through a rollback journal, which exists
// only while a commit is under way. Opening and reading write nothing: no
// schema, no journal, no shared-memory file, so the registry stays readable
// on a full or read-only disk. (A store written in WAL mode by an older
// version is turned to the journal when it is first opened where that can
// be done.)
#pragma once


#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/registry.h"

// The SQLite handles stay opaque here: only sqlite_registry.cc sees SQLite.
struct sqlite3;
struct sqlite3_stmt;

namespace brimwell {

class SqliteRegistry final : public Registry {
 public:
  // How long a write transaction stays open before the committer commits it.
  static constexpr std::chrono::milliseconds kCommitDelay{100};

  // Opens or creates the store. Throws ERegistryStoreError naming the file
  // when it is corrupt, not a registry store, or cannot be opened.
  explicit SqliteRegistry(std::filesystem::path file);
  // Commits what is pending.
  ~SqliteRegistry() override;

  bool KeyExists(RegistryHive hive, std::string_view key) override;
  WinStatus CreateKey(RegistryHive hive, std::string_view key) override;
  WinResult<std::vector<std::string>> SubKeys(RegistryHive hive, std::string_view key) override;
  WinStatus DeleteKey(RegistryHive hive, std::string_view key) override;
  WinStatus DeleteTree(RegistryHive hive, std::string_view key) override;
  std::optional<RegistryValue> QueryValue(RegistryHive hive, std::string_view key,
                                          std::string_view name) override;
  WinResult<std::vector<std::string>> ValueNames(RegistryHive hive, std::string_view key) override;
  WinResult<std::vector<RegistryValueEntry>> Values(RegistryHive hive, std::string_view key) override;
  WinStatus SetValue(RegistryHive hive, std::string_view key, std::string_view name,
                     const RegistryValue& value) override;
  WinStatus DeleteValue(RegistryHive hive, std::string_view key, std::string_view name) override;
  WinStatus Flush() override;
  void BeginUpdate() override;
  void EndUpdate(bool commit) override;

  const std::filesystem::path& File() const { return file_; }
  // Number of commits made (for benchmarks).
  std::uint64_t CommitCount() const { return commits_; }

 private:
  class Statement;
  enum Stmt {
    kFindKey,
    kInsertKey,
    kSubKeys,
    kHasSubKeys,
    kGetValue,
    kListValues,
    kUpsertValue,
    kDeleteValue,
    kDeleteKeyValues,
    kDeleteKeyRow,
    kDeleteTreeValues,
    kDeleteTreeKeys,
    kStmtCount
  };

  void OpenStore();
  // Makes the tables, the header marks and the hive roots that are missing,
  // in a transaction of its own; the statements are prepared after it.
  void CompleteStore(bool make_tables);
  bool FindRoots();
  [[noreturn]] void Fail(const char* what);
  void Exec(const char* sql);
  sqlite3_stmt* Prepared(Stmt which);
  // Runs each statement with the key id as its one parameter; `what` names
  // the operation when one fails.
  void RunOnKey(std::initializer_list<Stmt> statements, std::int64_t key_id, const char* what);
  // Drops cached key ids when another connection committed since the last
  // look.
  void CheckFresh();
  void BeginWrite();
  void CommitLocked();
  void RollbackLocked();
  void CommitterLoop();
  void ThrowDeferred();
  void RememberValue(std::string cached_name, const std::optional<RegistryValue>& value);
  // Writes the updates kept in pending_ (see there): SQLITE_OK, or the
  // code of the statement that failed, with it and the rest still pending.
  int WritePending();
  // The id of the key, creating missing levels when `create`; nullopt when
  // it does not exist (or a name is too long to create, with `too_long`).
  std::optional<std::int64_t> ResolveKey(RegistryHive hive, std::string_view key, bool create,
                                          bool* too_long = nullptr);
  // ResolveKey without the recent keys.
  std::optional<std::int64_t> ResolveKeyByPath(RegistryHive hive, std::string_view key, bool create,
                                               bool* too_long);
  // Drops key_cache_ and the recent keys.
  void ForgetKeys();

  struct CloseConnection {
    void operator()(sqlite3* db) const;
  };
  struct FinalizeStatement {
    void operator()(sqlite3_stmt* stmt) const;
  };

  std::filesystem::path file_;
  // Declared before the statements, so that they are finalized first.
  std::unique_ptr<sqlite3, CloseConnection> db_;
  std::unique_ptr<sqlite3_stmt, FinalizeStatement> statements_[kStmtCount];
  std::int64_t roots_[3] = {};  // HKLM, HKU, HKDD
  std::unordered_map<std::string, std::int64_t> key_cache_;
  // The last keys resolved, by hive and name exactly as given (an empty
  // name: an unused slot); dropped with key_cache_.
  struct RecentKey {
    RegistryHive hive = RegistryHive::kLocalMachine;
    std::string name;
    std::int64_t id = 0;
  };
  std::array<RecentKey, 4> recent_keys_;
  std::size_t next_recent_key_ = 0;
  // Values read while this connection holds the write lock (a transaction
  // is open), by key id and upper-cased name, and kept right by its own
  // writes; nobody else can change them meanwhile, so they are kept until
  // the transaction ends. A missing value is kept as nullopt.
  std::unordered_map<std::string, std::optional<RegistryValue>> value_cache_;
  // New data for values that exist already (value_cache_ holds them, with
  // the new data), written when the transaction commits or before anything
  // reads or deletes values by statement: a value rewritten many times in
  // one transaction (a list's count) costs one statement. An update keeps
  // the row and its id, so nothing but the number of statements changes;
  // a crash loses the whole open transaction either way. Keyed as
  // value_cache_.
  struct PendingUpdate {
    std::int64_t key_id = 0;
    std::string name;
    RegistryValue value;
  };
  std::unordered_map<std::string, PendingUpdate> pending_;
  std::int64_t data_version_ = -1;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool in_transaction_ = false;
  bool updating_ = false;  // inside BeginUpdate ... EndUpdate
  std::chrono::steady_clock::time_point transaction_start_;
  bool stopping_ = false;
  std::string deferred_error_;
  std::uint64_t commits_ = 0;
  std::thread committer_;
};

}  // namespace brimwell
