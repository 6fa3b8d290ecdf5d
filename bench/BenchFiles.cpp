#include "bench/BenchFiles.h"

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/writer/LargeIspec.h"

namespace ondrel::bench {
namespace fs = std::filesystem;
namespace {

// Written last into a complete profile directory: what it was built as.
constexpr const char* kStampName = "complete";

std::string StampText(const BenchProfile& profile) {
  return std::to_string(profile.records) + " records, " + std::to_string(profile.nodeSize) +
         "-byte nodes, profiles KEYNO and BYNAME\n";
}

bool HasStamp(const fs::path& stamp, const std::string& text) {
  std::ifstream in(stamp);
  if (!in) return false;
  std::stringstream held;
  held << in.rdbuf();
  return held.str() == text;
}

void WriteStamp(const fs::path& stamp, const std::string& text) {
  std::ofstream out(stamp);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + stamp.string());
}

// Runs one statement; throws with SQLite's message on failure.
void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string text = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error(std::string("sqlite: ") + sql + ": " + text);
  }
}

}  // namespace

std::string CountLabel(std::uint64_t records) {
  if (records % 1000000 == 0) return std::to_string(records / 1000000) + "M";
  if (records % 1000 == 0) return std::to_string(records / 1000) + "K";
  return std::to_string(records);
}

std::vector<BenchProfile> ProfileSet(const fs::path& root, const std::vector<std::uint64_t>& records,
                                     const std::vector<int>& nodeSizes) {
  std::vector<BenchProfile> set;
  for (const std::uint64_t count : records) {
    for (const int nodeSize : nodeSizes) {
      BenchProfile profile;
      profile.records = count;
      profile.nodeSize = nodeSize;
      profile.label = CountLabel(count) + "_" + std::to_string(nodeSize);
      profile.directory = root / profile.label;
      profile.sqlite = root / ("sqlite-" + CountLabel(count) + ".db");
      set.push_back(profile);
    }
  }
  return set;
}

bool EnsureProfile(const BenchProfile& profile) {
  const std::string stamp = StampText(profile);
  if (HasStamp(profile.directory / kStampName, stamp)) return false;
  fs::path partial = profile.directory;
  partial += ".partial";
  fs::remove_all(partial);
  fs::remove_all(profile.directory);
  fs::create_directories(partial);
  writer::LargeIspecOptions large;
  large.name = kIspec;
  large.records = profile.records;
  large.nodeSize = profile.nodeSize;
  writer::BuildLargeIspec(partial, large);
  WriteStamp(partial / kStampName, stamp);
  fs::rename(partial, profile.directory);
  return true;
}

bool EnsureSqlite(const BenchProfile& profile) {
  if (fs::exists(profile.sqlite)) return false;
  fs::path partial = profile.sqlite;
  partial += ".partial";
  fs::remove(partial);
  sqlite3* db = nullptr;
  if (sqlite3_open(partial.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot create " + partial.string());
  }
  try {
    // A throw-away build: no journal, no syncing.
    Exec(db, "PRAGMA journal_mode=OFF");
    Exec(db, "PRAGMA synchronous=OFF");
    Exec(db,
         "CREATE TABLE records (keyno TEXT NOT NULL, name TEXT, city TEXT, amount TEXT, branch TEXT)");
    Exec(db, "BEGIN");
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO records VALUES (?1, ?2, ?3, ?4, ?5)", -1, &insert, nullptr) !=
        SQLITE_OK)
      throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db));
    for (std::uint64_t n = 1; n <= profile.records; ++n) {
      const std::vector<std::string> values = writer::LargeRecordValues(n);
      for (int i = 0; i < 5; ++i)
        sqlite3_bind_text(insert, i + 1, values[static_cast<std::size_t>(i)].c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(insert) != SQLITE_DONE) {
        sqlite3_finalize(insert);
        throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db));
      }
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec(db, "COMMIT");
    Exec(db, "CREATE INDEX records_keyno ON records (keyno)");
    Exec(db, "ANALYZE");
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  sqlite3_close(db);
  fs::rename(partial, profile.sqlite);
  return true;
}

std::string KeyOf(std::uint64_t record) {
  char key[32];
  std::snprintf(key, sizeof key, "%010llu", static_cast<unsigned long long>(record));
  return key;
}

namespace {

bool ParseList(const std::string& text, std::vector<std::uint64_t>& out) {
  out.clear();
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (item.empty()) return false;
    std::uint64_t scale = 1;
    if (item.back() == 'M' || item.back() == 'm') scale = 1000000;
    if (item.back() == 'K' || item.back() == 'k') scale = 1000;
    if (scale != 1) item.pop_back();
    if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos || item.size() > 12)
      return false;
    out.push_back(std::stoull(item) * scale);
  }
  return !out.empty();
}

}  // namespace

bool ParseCounts(const std::string& text, std::vector<std::uint64_t>& out) {
  if (!ParseList(text, out)) return false;
  // Entry numbers and record counts are 32-bit in the index.
  for (const std::uint64_t n : out)
    if (n == 0 || n > 0x7fffffffu) return false;
  return true;
}

bool ParseNodeSizes(const std::string& text, std::vector<int>& out) {
  std::vector<std::uint64_t> sizes;
  if (!ParseList(text, sizes)) return false;
  out.clear();
  for (const std::uint64_t n : sizes) {
    if (n != 512 && n != 2048) return false;
    out.push_back(static_cast<int>(n));
  }
  return true;
}

}  // namespace ondrel::bench
