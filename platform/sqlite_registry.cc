#include "platform/sqlite_registry.h"

#include <sqlite3.h>

#include <cstdio>
#include <vector>

#include "framework/format.h"
#include "framework/text_case.h"
#include "platform/platform_errors.h"
#include "platform/win_path.h"

namespace brimwell {
namespace {

constexpr char kStoreCorrupt[] = "The registry file %s is corrupt: %s";
constexpr char kStoreNotRegistry[] = "The file %s is not a registry file of this toolkit";
constexpr char kStoreFailed[] = "The registry file %s cannot be used: %s";
constexpr char kStoreCommitFailed[] = "The registry file %s could not commit the last writes: %s";

// 'BWLR' in the database header marks a registry store.
constexpr int kApplicationId = 0x42574C52;
constexpr int kSchemaVersion = 1;
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxCachedKeys = 100000;
constexpr std::size_t kMaxCachedValues = 100000;
constexpr int kBusyTimeoutMs = 30000;

constexpr const char* kSql[] = {
    /* kFindKey */ "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2",
    /* kInsertKey */ "INSERT INTO keys(parent, name, fold) VALUES (?1, ?2, ?3)",
    /* kSubKeys */ "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold",
    /* kHasSubKeys */ "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    /* kGetValue */ "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2",
    /* kListValues */ "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id",
    /* kUpsertValue */
    "INSERT INTO vals(key, name, fold, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    /* kDeleteValue */ "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    /* kDeleteKeyValues */ "DELETE FROM vals WHERE key = ?1",
    /* kDeleteKeyRow */ "DELETE FROM keys WHERE id = ?1",
    /* kDeleteTreeValues */
    "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id) "
    "DELETE FROM vals WHERE key IN sub",
    /* kDeleteTreeKeys */
    "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id) "
    "DELETE FROM keys WHERE id IN sub",
};
static_assert(sizeof(kSql) / sizeof(kSql[0]) == 12);

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key, fold));";

constexpr const char* kRootNames[] = {"HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_DYN_DATA"};

// Where a hive lives: a root key and the path of its view below it.
struct HiveRoot {
  int root;  // index into roots_
  const char* base;
};

HiveRoot RootOf(RegistryHive hive) {
  switch (hive) {
    case RegistryHive::kLocalMachine: return {0, ""};
    case RegistryHive::kClassesRoot: return {0, "SOFTWARE\\Classes"};
    case RegistryHive::kCurrentConfig: return {0, "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"};
    case RegistryHive::kUsers: return {1, ""};
    case RegistryHive::kCurrentUser: return {1, ".DEFAULT"};
    case RegistryHive::kDynData: return {2, ""};
  }
  return {0, ""};
}

std::vector<std::string> SplitKey(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == '\\') ++i;
    std::size_t start = i;
    while (i < path.size() && path[i] != '\\') ++i;
    if (i > start) parts.emplace_back(path.substr(start, i - start));
  }
  return parts;
}

// The name under which key_cache_ keeps a key: the root's index, then
// "\" and each component of `base` and `key` upper-cased (empty components
// dropped), the same text the walk in ResolveKey builds level by level.
std::string FoldedKeyPath(int root, std::string_view base, std::string_view key) {
  std::string out = std::to_string(root);
  out.reserve(out.size() + base.size() + key.size() + 2);
  for (std::string_view path : {base, key}) {
    std::size_t i = 0;
    while (i < path.size()) {
      while (i < path.size() && path[i] == '\\') ++i;
      if (i == path.size()) break;
      out += '\\';
      while (i < path.size() && path[i] != '\\') out += AsciiUpper(path[i++]);
    }
  }
  return out;
}

// The name under which value_cache_ keeps a value of the key `key_id`.
std::string ValueCacheName(std::int64_t key_id, std::string_view name) {
  std::string out = std::to_string(key_id);
  out += ':';
  out.reserve(out.size() + name.size());
  for (char c : name) out += AsciiUpper(c);
  return out;
}

bool HasControlCharacter(std::string_view name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') return true;
  }
  return false;
}

// Resets and clears a statement when it goes out of scope.
class Reset {
 public:
  explicit Reset(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  sqlite3_stmt* stmt_;
};

void BindText(sqlite3_stmt* stmt, int index, std::string_view text) {
  sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const void* data = sqlite3_column_blob(stmt, column);
  int size = sqlite3_column_bytes(stmt, column);
  return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

}  // namespace

static_assert(sizeof(std::int64_t) == sizeof(sqlite3_int64));

void SqliteRegistry::CloseConnection::operator()(sqlite3* db) const { sqlite3_close_v2(db); }
void SqliteRegistry::FinalizeStatement::operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }

SqliteRegistry::SqliteRegistry(std::filesystem::path file) : file_(std::move(file)) {
  OpenStore();
  committer_ = std::thread([this] { CommitterLoop(); });
}

SqliteRegistry::~SqliteRegistry() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    if (updating_) {
      // An update that was not ended is dropped, never half kept.
      RollbackLocked();
    } else if (in_transaction_) {
      try {
        CommitLocked();
      } catch (const std::exception& e) {
        // A destructor cannot report otherwise, and lost writes must not go
        // unnoticed.
        std::fprintf(stderr, "%s\n", e.what());
      }
    }
  }
  wake_.notify_all();
  if (committer_.joinable()) committer_.join();
  // The statements, then the connection, go with their members.
}

void SqliteRegistry::Fail(const char* what) {
  int code = db_ != nullptr ? sqlite3_errcode(db_.get()) & 0xFF : SQLITE_CANTOPEN;
  std::string detail = db_ != nullptr ? sqlite3_errmsg(db_.get()) : what;
  if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) {
    throw ERegistryStoreError(Format(kStoreCorrupt, {file_.string(), detail}));
  }
  throw ERegistryStoreError(Format(kStoreFailed, {file_.string(), detail}));
}

void SqliteRegistry::Exec(const char* sql) {
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

void SqliteRegistry::OpenStore() {
  // SQLite counts the memory it holds under a lock of its own taken on
  // every allocation; nothing here reads the count. The setting only takes
  // before SQLite starts, so the first store opened in a process makes it.
  static const bool kNoMemoryCount = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return true;
  }();
  (void)kNoMemoryCount;
  bool existed = std::filesystem::exists(file_);
  sqlite3* opened = nullptr;
  int rc = sqlite3_open_v2(file_.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  // Even a failed open may return a handle that must be closed.
  std::unique_ptr<sqlite3, CloseConnection> connection(opened);
  if (rc != SQLITE_OK) {
    std::string detail = connection != nullptr ? sqlite3_errmsg(connection.get()) : "cannot open";
    throw ERegistryStoreError(Format(kStoreFailed, {file_.string(), detail}));
  }
  // From here on a failure leaves through the constructor, and the members
  // release the connection and whatever statements were prepared.
  db_ = std::move(connection);
  sqlite3_extended_result_codes(db_.get(), 0);
  sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
  // The rollback journal: a reader then needs no file beside the store. On
  // a store already in that mode this writes nothing; a WAL store is turned
  // over when no other process has it open and the disk allows it, and is
  // otherwise used as it is (the statements below report a store that
  // cannot be read).
  sqlite3_exec(db_.get(), "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  // Each commit syncs the journal and the store: commits are batched, so
  // this is rare.
  Exec("PRAGMA synchronous=FULL");
  // The first read of the header: a file that is no database fails here.
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_.get(), "PRAGMA application_id", -1, &stmt, nullptr) != SQLITE_OK) Fail("application_id");
  int app_id = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : 0;
  sqlite3_finalize(stmt);
  if (sqlite3_prepare_v2(db_.get(), "PRAGMA user_version", -1, &stmt, nullptr) != SQLITE_OK) Fail("user_version");
  int version = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : 0;
  sqlite3_finalize(stmt);
  if (sqlite3_prepare_v2(db_.get(), "SELECT count(*) FROM sqlite_schema", -1, &stmt, nullptr) != SQLITE_OK) {
    Fail("schema");
  }
  int tables = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : -1;
  sqlite3_finalize(stmt);
  if (tables < 0) Fail("schema");
  if (tables > 0 && app_id != kApplicationId) {
    throw ERegistryStoreError(Format(kStoreNotRegistry, {file_.string()}));
  }
  if (existed && tables > 0) {
    // Damage inside the file shows here rather than as a registry that
    // silently misses keys.
    if (sqlite3_prepare_v2(db_.get(), "PRAGMA quick_check", -1, &stmt, nullptr) != SQLITE_OK) Fail("check");
    std::string verdict = sqlite3_step(stmt) == SQLITE_ROW ? ColumnText(stmt, 0) : std::string(sqlite3_errmsg(db_.get()));
    sqlite3_finalize(stmt);
    if (verdict != "ok") throw ERegistryStoreError(Format(kStoreCorrupt, {file_.string(), verdict}));
  }
  // A complete store is only read from here on; a new or unfinished one is
  // completed in one transaction.
  bool make_tables = tables == 0 || version != kSchemaVersion;
  if (make_tables) CompleteStore(true);
  for (int i = 0; i < kStmtCount; ++i) {
    sqlite3_stmt* prepared = nullptr;
    int prepare = sqlite3_prepare_v3(db_.get(), kSql[i], -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr);
    statements_[i].reset(prepared);
    if (prepare != SQLITE_OK) Fail(kSql[i]);
  }
  if (!FindRoots()) CompleteStore(false);
}

void SqliteRegistry::CompleteStore(bool make_tables) {
  Exec("BEGIN IMMEDIATE");
  try {
    if (make_tables) {
      Exec(kSchema);
      Exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
      Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    }
    // The roots, unless another process made them first; the statements
    // exist only once the tables do.
    if (statements_[kFindKey] != nullptr && !FindRoots()) {
      for (int i = 0; i < 3; ++i) {
        if (roots_[i] != 0) continue;
        sqlite3_stmt* insert = Prepared(kInsertKey);
        Reset reset_insert(insert);
        sqlite3_bind_int64(insert, 1, 0);
        BindText(insert, 2, kRootNames[i]);
        BindText(insert, 3, kRootNames[i]);
        if (sqlite3_step(insert) != SQLITE_DONE) Fail("root");
        roots_[i] = sqlite3_last_insert_rowid(db_.get());
      }
    }
    Exec("COMMIT");
  } catch (const ERegistryStoreError&) {
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

// Reads the ids of the hive roots; false when one is missing.
bool SqliteRegistry::FindRoots() {
  bool all = true;
  for (int i = 0; i < 3; ++i) {
    sqlite3_stmt* find = Prepared(kFindKey);
    Reset reset(find);
    sqlite3_bind_int64(find, 1, 0);
    BindText(find, 2, kRootNames[i]);
    int step = sqlite3_step(find);
    if (step == SQLITE_ROW) {
      roots_[i] = sqlite3_column_int64(find, 0);
    } else if (step == SQLITE_DONE) {
      roots_[i] = 0;
      all = false;
    } else {
      Fail("root");
    }
  }
  return all;
}

sqlite3_stmt* SqliteRegistry::Prepared(Stmt which) { return statements_[which].get(); }

void SqliteRegistry::RunOnKey(std::initializer_list<Stmt> statements, std::int64_t key_id, const char* what) {
  for (Stmt which : statements) {
    sqlite3_stmt* stmt = Prepared(which);
    Reset reset(stmt);
    sqlite3_bind_int64(stmt, 1, key_id);
    if (sqlite3_step(stmt) != SQLITE_DONE) Fail(what);
  }
}

void SqliteRegistry::CheckFresh() {
  if (in_transaction_) return;  // nobody else can commit while we hold the write lock
  std::int64_t version = 0;
  if (sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK) {
    ForgetKeys();
    return;
  }
  if (version != data_version_) {
    ForgetKeys();
    data_version_ = version;
  }
}

void SqliteRegistry::ThrowDeferred() {
  if (deferred_error_.empty()) return;
  std::string message = std::move(deferred_error_);
  deferred_error_.clear();
  throw ERegistryStoreError(message);
}

void SqliteRegistry::BeginWrite() {
  if (in_transaction_) return;
  Exec("BEGIN IMMEDIATE");
  in_transaction_ = true;
  transaction_start_ = std::chrono::steady_clock::now();
  // Another connection may have committed before our write lock.
  std::int64_t version = 0;
  if (sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK ||
      version != data_version_) {
    ForgetKeys();
    data_version_ = version;
  }
  wake_.notify_all();
}

void SqliteRegistry::CommitLocked() {
  if (!in_transaction_) return;
  int rc = WritePending();
  // Once the write lock is let go, others may change what was read.
  value_cache_.clear();
  pending_.clear();  // written, or dropped with the transaction below
  if (rc == SQLITE_OK) rc = sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
  std::string detail = rc == SQLITE_OK ? std::string() : sqlite3_errmsg(db_.get());
  if (rc != SQLITE_OK && !sqlite3_get_autocommit(db_.get())) {
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  in_transaction_ = false;
  if (rc != SQLITE_OK) {
    ForgetKeys();
    throw ERegistryStoreError(Format(kStoreCommitFailed, {file_.string(), detail}));
  }
  ++commits_;
  // Our own commit moves the data version too; read it so that it does not
  // look like another writer's.
  std::int64_t version = 0;
  if (sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_DATA_VERSION, &version) == SQLITE_OK) {
    data_version_ = version;
  }
}

void SqliteRegistry::RollbackLocked() {
  updating_ = false;
  value_cache_.clear();
  pending_.clear();
  if (!in_transaction_) return;
  if (!sqlite3_get_autocommit(db_.get())) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  in_transaction_ = false;
  // Ids of keys made in the dropped transaction are gone with it.
  ForgetKeys();
}

void SqliteRegistry::CommitterLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (!in_transaction_ || updating_) {
      wake_.wait(lock);
      continue;
    }
    auto due = transaction_start_ + kCommitDelay;
    if (std::chrono::steady_clock::now() < due) {
      wake_.wait_until(lock, due);
      continue;
    }
    try {
      CommitLocked();
    } catch (const ERegistryStoreError& e) {
      // Reported to the next caller: the writes of this transaction are lost.
      deferred_error_ = e.what();
    }
  }
}

void SqliteRegistry::ForgetKeys() {
  key_cache_.clear();
  for (RecentKey& recent : recent_keys_) recent.name.clear();
}

std::optional<std::int64_t> SqliteRegistry::ResolveKey(RegistryHive hive, std::string_view key,
                                                        bool create, bool* too_long) {
  // The few keys asked for over and over are known by the name as given.
  for (const RecentKey& recent : recent_keys_) {
    if (recent.hive == hive && !recent.name.empty() && recent.name == key) return recent.id;
  }
  std::optional<std::int64_t> id = ResolveKeyByPath(hive, key, create, too_long);
  if (id && !key.empty()) {
    RecentKey& slot = recent_keys_[next_recent_key_];
    next_recent_key_ = (next_recent_key_ + 1) % recent_keys_.size();
    slot.hive = hive;
    slot.name.assign(key);
    slot.id = *id;
  }
  return id;
}

std::optional<std::int64_t> SqliteRegistry::ResolveKeyByPath(RegistryHive hive, std::string_view key,
                                                              bool create, bool* too_long) {
  HiveRoot where = RootOf(hive);
  if (key_cache_.size() > kMaxCachedKeys) ForgetKeys();
  // A key used before is found by its whole name; the walk below finds and
  // makes the others level by level.
  if (auto it = key_cache_.find(FoldedKeyPath(where.root, where.base, key)); it != key_cache_.end()) {
    return it->second;
  }
  std::vector<std::string> parts = SplitKey(where.base);
  for (std::string& p : SplitKey(key)) parts.push_back(std::move(p));
  std::int64_t id = roots_[where.root];
  std::string cache_key = std::to_string(where.root);
  for (const std::string& part : parts) {
    std::string fold = WinUpperCase(part);
    cache_key += '\\';
    cache_key += fold;
    if (auto it = key_cache_.find(cache_key); it != key_cache_.end()) {
      id = it->second;
      continue;
    }
    sqlite3_stmt* find = Prepared(kFindKey);
    {
      Reset reset(find);
      sqlite3_bind_int64(find, 1, id);
      BindText(find, 2, fold);
      int rc = sqlite3_step(find);
      if (rc == SQLITE_ROW) {
        id = sqlite3_column_int64(find, 0);
        key_cache_[cache_key] = id;
        continue;
      }
      if (rc != SQLITE_DONE) Fail("find key");
    }
    if (!create) return std::nullopt;
    // A name longer than Windows allows, or holding a control character: a
    // line break in a key name would let exported registry text say
    // something else than the registry holds.
    if (part.size() > kMaxKeyNameLength || HasControlCharacter(part)) {
      if (too_long) *too_long = true;
      return std::nullopt;
    }
    sqlite3_stmt* insert = Prepared(kInsertKey);
    Reset reset(insert);
    sqlite3_bind_int64(insert, 1, id);
    BindText(insert, 2, part);
    BindText(insert, 3, fold);
    if (sqlite3_step(insert) != SQLITE_DONE) Fail("create key");
    id = sqlite3_last_insert_rowid(db_.get());
    key_cache_[cache_key] = id;
  }
  return id;
}

bool SqliteRegistry::KeyExists(RegistryHive hive, std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  CheckFresh();
  return ResolveKey(hive, key, false).has_value();
}

WinStatus SqliteRegistry::CreateKey(RegistryHive hive, std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  CheckFresh();
  if (ResolveKey(hive, key, false)) return WinStatus::Ok();
  BeginWrite();
  bool too_long = false;
  if (!ResolveKey(hive, key, true, &too_long)) {
    return WinStatus::Error(too_long ? kErrorInvalidParameter : kErrorFileNotFound);
  }
  return WinStatus::Ok();
}

WinResult<std::vector<std::string>> SqliteRegistry::SubKeys(RegistryHive hive, std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  CheckFresh();
  auto id = ResolveKey(hive, key, false);
  if (!id) return WinResult<std::vector<std::string>>::Error(kErrorFileNotFound);
  std::vector<std::string> names;
  sqlite3_stmt* stmt = Prepared(kSubKeys);
  Reset reset(stmt);
  sqlite3_bind_int64(stmt, 1, *id);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) names.push_back(ColumnText(stmt, 0));
  if (rc != SQLITE_DONE) Fail("list keys");
  return names;
}

WinStatus SqliteRegistry::DeleteKey(RegistryHive hive, std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  CheckFresh();
  if (SplitKey(key).empty()) return WinStatus::Error(kErrorAccessDenied);  // a hive is not deleted
  auto id = ResolveKey(hive, key, false);
  if (!id) return WinStatus::Error(kErrorFileNotFound);
  {
    sqlite3_stmt* stmt = Prepared(kHasSubKeys);
    Reset reset(stmt);
    sqlite3_bind_int64(stmt, 1, *id);
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return WinStatus::Error(kErrorAccessDenied);
    if (rc != SQLITE_DONE) Fail("delete key");
  }
  BeginWrite();
  if (WritePending() != SQLITE_OK) Fail("write value");
  ForgetKeys();
  value_cache_.clear();
  RunOnKey({kDeleteKeyValues, kDeleteKeyRow}, *id, "delete key");
  return WinStatus::Ok();
}

WinStatus SqliteRegistry::DeleteTree(RegistryHive hive, std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  CheckFresh();
  if (SplitKey(key).empty()) return WinStatus::Error(kErrorAccessDenied);  // a hive is not deleted
  auto id = ResolveKey(hive, key, false);
  if (!id) return WinStatus::Error(kErrorFileNotFound);
  BeginWrite();
  if (WritePending() != SQLITE_OK) Fail("write value");
  ForgetKeys();
  value_cache_.clear();
  RunOnKey({kDeleteTreeValues, kDeleteTreeKeys}, *id, "delete tree");
  return WinStatus::Ok();
}

std::optional<RegistryValue> SqliteRegistry::QueryValue(RegistryHive hive, std::string_view key,
                                                        std::string_view name) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  CheckFresh();
  auto id = ResolveKey(hive, key, false);
  if (!id) return std::nullopt;
  std::string cached_name;
  if (in_transaction_) {
    cached_name = ValueCacheName(*id, name);
    if (auto it = value_cache_.find(cached_name); it != value_cache_.end()) return it->second;
  }
  sqlite3_stmt* stmt = Prepared(kGetValue);
  Reset reset(stmt);
  sqlite3_bind_int64(stmt, 1, *id);
  BindText(stmt, 2, WinUpperCase(name));
  int rc = sqlite3_step(stmt);
  std::optional<RegistryValue> value;
  if (rc == SQLITE_ROW) {
    value = RegistryValue{static_cast<RegistryValueType>(sqlite3_column_int64(stmt, 0)), ColumnText(stmt, 1)};
  } else if (rc != SQLITE_DONE) {
    Fail("read value");
  }
  if (in_transaction_) RememberValue(std::move(cached_name), value);
  return value;
}

int SqliteRegistry::WritePending() {
  while (!pending_.empty()) {
    auto next = pending_.begin();
    const PendingUpdate& update = next->second;
    sqlite3_stmt* stmt = Prepared(kUpsertValue);
    Reset reset(stmt);
    sqlite3_bind_int64(stmt, 1, update.key_id);
    BindText(stmt, 2, update.name);
    BindText(stmt, 3, WinUpperCase(update.name));
    sqlite3_bind_int64(stmt, 4, static_cast<std::int64_t>(update.value.type));
    sqlite3_bind_blob(stmt, 5, update.value.data.data(), static_cast<int>(update.value.data.size()),
                      SQLITE_TRANSIENT);
    int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) return rc == SQLITE_OK ? SQLITE_ERROR : rc;  // kept for the next try
    pending_.erase(next);
  }
  return SQLITE_OK;
}

void SqliteRegistry::RememberValue(std::string cached_name, const std::optional<RegistryValue>& value) {
  if (value_cache_.size() >= kMaxCachedValues) {
    // Every pending update has its value here.
    if (WritePending() != SQLITE_OK) Fail("write value");
    value_cache_.clear();
  }
  value_cache_.insert_or_assign(std::move(cached_name), value);
}

WinResult<std::vector<std::string>> SqliteRegistry::ValueNames(RegistryHive hive, std::string_view key) {
  auto values = Values(hive, key);
  if (!values) return WinResult<std::vector<std::string>>::Error(values.error());
  std::vector<std::string> names;
  for (RegistryValueEntry& entry : *values) names.push_back(std::move(entry.name));
  return names;
}

WinResult<std::vector<RegistryValueEntry>> SqliteRegistry::Values(RegistryHive hive, std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  CheckFresh();
  auto id = ResolveKey(hive, key, false);
  if (!id) return WinResult<std::vector<RegistryValueEntry>>::Error(kErrorFileNotFound);
  if (WritePending() != SQLITE_OK) Fail("write value");
  std::vector<RegistryValueEntry> entries;
  sqlite3_stmt* stmt = Prepared(kListValues);
  Reset reset(stmt);
  sqlite3_bind_int64(stmt, 1, *id);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    entries.push_back({ColumnText(stmt, 0),
                       {static_cast<RegistryValueType>(sqlite3_column_int64(stmt, 1)), ColumnText(stmt, 2)}});
  }
  if (rc != SQLITE_DONE) Fail("list values");
  return entries;
}

WinStatus SqliteRegistry::SetValue(RegistryHive hive, std::string_view key, std::string_view name,
                                   const RegistryValue& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  CheckFresh();
  BeginWrite();
  auto id = ResolveKey(hive, key, false);
  if (!id) return WinStatus::Error(kErrorFileNotFound);
  // A value read before is kept right; one only written is not kept (most
  // are never read back). One known to exist takes its new data at the
  // commit (see pending_).
  std::string cached_name = ValueCacheName(*id, name);
  auto cached = value_cache_.find(cached_name);
  if (cached != value_cache_.end() && cached->second.has_value()) {
    cached->second = value;
    pending_.insert_or_assign(std::move(cached_name), PendingUpdate{*id, std::string(name), value});
    return WinStatus::Ok();
  }
  sqlite3_stmt* stmt = Prepared(kUpsertValue);
  Reset reset(stmt);
  sqlite3_bind_int64(stmt, 1, *id);
  BindText(stmt, 2, name);
  BindText(stmt, 3, WinUpperCase(name));
  sqlite3_bind_int64(stmt, 4, static_cast<std::int64_t>(value.type));
  sqlite3_bind_blob(stmt, 5, value.data.data(), static_cast<int>(value.data.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(stmt) != SQLITE_DONE) {
    if (cached != value_cache_.end()) value_cache_.erase(cached);
    Fail("write value");
  }
  if (cached != value_cache_.end()) cached->second = value;
  return WinStatus::Ok();
}

WinStatus SqliteRegistry::DeleteValue(RegistryHive hive, std::string_view key, std::string_view name) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  CheckFresh();
  auto id = ResolveKey(hive, key, false);
  if (!id) return WinStatus::Error(kErrorFileNotFound);
  BeginWrite();
  if (WritePending() != SQLITE_OK) Fail("write value");
  sqlite3_stmt* stmt = Prepared(kDeleteValue);
  Reset reset(stmt);
  sqlite3_bind_int64(stmt, 1, *id);
  BindText(stmt, 2, WinUpperCase(name));
  value_cache_.erase(ValueCacheName(*id, name));
  if (sqlite3_step(stmt) != SQLITE_DONE) Fail("delete value");
  if (sqlite3_changes(db_.get()) == 0) return WinStatus::Error(kErrorFileNotFound);
  return WinStatus::Ok();
}

WinStatus SqliteRegistry::Flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  if (!updating_) CommitLocked();
  return WinStatus::Ok();
}

void SqliteRegistry::BeginUpdate() {
  std::lock_guard<std::mutex> lock(mutex_);
  ThrowDeferred();
  CommitLocked();
  CheckFresh();
  BeginWrite();
  updating_ = true;
}

void SqliteRegistry::EndUpdate(bool commit) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!updating_) return;
  if (!commit) return RollbackLocked();
  updating_ = false;
  CommitLocked();
}

}  // namespace brimwell
