#include "archive/archive.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <variant>

#include "archive/signature.h"
#include "compression.h"
#include "digest.h"
#include "statement.h"

namespace kovrad::archive {
namespace {

// zlib reads at most this much of a dictionary.
constexpr size_t kDictionaryWindow = 32 * 1024;

// The guards are named, so that `Verify` can tell when one was dropped.
constexpr const char* kGuards[] = {"archive_coupons_kept", "archive_coupons_not_removed",
                                   "archive_dictionaries_kept", "archive_dictionaries_not_removed"};

constexpr char kSchema[] = R"(
CREATE TABLE IF NOT EXISTS archive_dictionaries(
  id INTEGER PRIMARY KEY,
  certificate BLOB NOT NULL UNIQUE,
  bytes BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS archive_coupons(
  id INTEGER PRIMARY KEY,
  key TEXT NOT NULL UNIQUE,
  kind INTEGER NOT NULL,
  number INTEGER NOT NULL,
  serial TEXT NOT NULL,
  till INTEGER,
  issued INTEGER NOT NULL,
  total INTEGER NOT NULL,
  buyer TEXT,
  cnpj TEXT NOT NULL,
  sale_key TEXT,
  sha256 BLOB NOT NULL,
  size INTEGER NOT NULL,
  dictionary INTEGER NOT NULL,
  body BLOB NOT NULL,
  archived INTEGER NOT NULL DEFAULT (unixepoch()));
CREATE INDEX IF NOT EXISTS archive_issued ON archive_coupons(issued);
CREATE INDEX IF NOT EXISTS archive_till ON archive_coupons(till, issued);
CREATE INDEX IF NOT EXISTS archive_buyer ON archive_coupons(buyer, issued)
  WHERE buyer IS NOT NULL;
CREATE INDEX IF NOT EXISTS archive_number ON archive_coupons(serial, number);
CREATE INDEX IF NOT EXISTS archive_total ON archive_coupons(total);
CREATE INDEX IF NOT EXISTS archive_sale ON archive_coupons(sale_key)
  WHERE sale_key IS NOT NULL;
CREATE TRIGGER IF NOT EXISTS archive_coupons_kept BEFORE UPDATE ON archive_coupons
  BEGIN SELECT RAISE(ABORT, 'cupons arquivados não se alteram'); END;
CREATE TRIGGER IF NOT EXISTS archive_coupons_not_removed BEFORE DELETE ON archive_coupons
  BEGIN SELECT RAISE(ABORT, 'cupons arquivados não se removem'); END;
CREATE TRIGGER IF NOT EXISTS archive_dictionaries_kept BEFORE UPDATE ON archive_dictionaries
  BEGIN SELECT RAISE(ABORT, 'dicionários do arquivo não se alteram'); END;
CREATE TRIGGER IF NOT EXISTS archive_dictionaries_not_removed BEFORE DELETE ON archive_dictionaries
  BEGIN SELECT RAISE(ABORT, 'dicionários do arquivo não se removem'); END;
)";

// The index columns of a coupon `c`, read by `ReadEntry`.
constexpr char kEntryColumns[] =
    "c.key, c.kind, c.number, c.serial, coalesce(c.till, -1), c.issued, c.total,"
    " coalesce(c.buyer, ''), c.cnpj, coalesce(c.sale_key, ''),"
    " coalesce((SELECT x.key FROM archive_coupons x WHERE x.sale_key = c.key LIMIT 1), ''),"
    " c.size";
constexpr int kEntryColumnCount = 12;
// After them, what reading the coupon's bytes takes.
constexpr char kBodyColumns[] = ", c.sha256, c.body, d.bytes";
constexpr char kBodyJoin[] = " JOIN archive_dictionaries d ON d.id = c.dictionary";

bool Exec(sqlite3* db, const char* sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  if (error != nullptr) *error = message != nullptr ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

std::string DatabaseError(sqlite3* db) {
  return std::string("banco do arquivo: ") + sqlite3_errmsg(db);
}

Entry ReadEntry(Statement& s) {
  Entry e;
  e.key = s.Text(0);
  e.kind = s.Int(1) == 1 ? Kind::kCancellation : Kind::kSale;
  e.number = static_cast<int>(s.Int(2));
  e.serial = s.Text(3);
  e.till = static_cast<int>(s.Int(4));
  e.issued = s.Int(5);
  e.total = s.Int(6);
  e.buyer = s.Text(7);
  e.cnpj = s.Text(8);
  e.sale_key = s.Text(9);
  e.cancelled_by = s.Text(10);
  e.size = s.Int(11);
  return e;
}

// The coupon's bytes from the body columns after the entry's, checked
// against their hash.
Read ReadBody(Statement& s, const Entry& entry, std::string* xml, std::string* error) {
  if (!Inflate(s.Text(kEntryColumnCount + 1), s.Text(kEntryColumnCount + 2),
               static_cast<size_t>(entry.size), xml) ||
      Sha256(*xml) != s.Text(kEntryColumnCount)) {
    *error = "CFe" + entry.key + ": conteúdo arquivado danificado (não confere com seu SHA-256)";
    return Read::kDamaged;
  }
  return Read::kFound;
}

// A search's conditions, as SQL with its values in order.
struct Where {
  std::string sql;
  std::vector<std::variant<int64_t, std::string>> values;

  void Add(const char* condition) {
    sql += (sql.empty() ? " WHERE " : " AND ") + std::string(condition);
  }
  template <typename T>
  void Add(const char* condition, T value) {
    Add(condition);
    values.emplace_back(std::move(value));
  }
  void BindTo(Statement& s) const {
    for (size_t i = 0; i < values.size(); ++i) {
      std::visit([&](const auto& v) { s.Bind(static_cast<int>(i + 1), v); }, values[i]);
    }
  }
};

Where Conditions(const Query& q) {
  Where w;
  if (q.from != 0) w.Add("c.issued >= ?", q.from);
  if (q.to != 0) w.Add("c.issued <= ?", q.to);
  if (q.till >= 0) w.Add("c.till = ?", static_cast<int64_t>(q.till));
  if (!q.buyer.empty()) w.Add("c.buyer = ?", q.buyer);
  if (!q.cnpj.empty()) w.Add("c.cnpj = ?", q.cnpj);
  if (!q.serial.empty()) w.Add("c.serial = ?", q.serial);
  if (q.number >= 0) w.Add("c.number = ?", static_cast<int64_t>(q.number));
  if (q.total) w.Add("c.total = ?", *q.total);
  if (q.kind) w.Add("c.kind = ?", static_cast<int64_t>(*q.kind));
  if (q.cancelled) {
    w.Add(*q.cancelled
              ? "c.kind = 0 AND EXISTS(SELECT 1 FROM archive_coupons x WHERE x.sale_key = c.key)"
              : "c.kind = 0 AND NOT EXISTS(SELECT 1 FROM archive_coupons x WHERE x.sale_key = "
                "c.key)");
  }
  return w;
}

// What the index says against what the coupon says.
std::string IndexMismatch(const Entry& e, const Document& d) {
  if (e.key != d.key) return "chave";
  if (e.kind != d.kind) return "tipo";
  if (e.number != d.number || e.serial != d.serial) return "número ou série";
  if (e.till != d.till) return "caixa";
  if (e.issued != d.issued) return "data de emissão";
  if (e.total != d.total) return "total";
  if (e.buyer != d.buyer) return "CPF/CNPJ do consumidor";
  if (e.cnpj != d.cnpj) return "CNPJ do emitente";
  if (e.sale_key != d.sale_key) return "venda cancelada";
  return "";
}

bool CreateSchema(sqlite3* db, std::string* error) {
  if (Exec(db, kSchema, error)) return true;
  *error = "banco do arquivo: " + *error;
  return false;
}

}  // namespace

std::unique_ptr<Archive> Archive::Open(const std::string& path, Mode mode, std::string* error) {
  if (mode == Mode::kCreate) {
    // Made here, not by SQLite, so that it is its owner's alone from the
    // start; the journal files SQLite adds take the same mode.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
      *error = path + ": " + std::strerror(errno);
      return nullptr;
    }
    close(fd);
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    *error = path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "sem memória");
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<Archive> archive(new Archive(db, true));
  sqlite3_busy_timeout(db, 5000);
  if (mode == Mode::kCreate) {
    if (!Exec(db, "PRAGMA journal_mode=WAL", error) ||
        !Exec(db, "PRAGMA synchronous=FULL", error) || !CreateSchema(db, error)) {
      *error = path + ": " + *error;
      return nullptr;
    }
    return archive;
  }
  Statement tables(db,
                   "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN"
                   " ('archive_coupons', 'archive_dictionaries')");
  if (tables.Step() != SQLITE_ROW || tables.Int(0) != 2) {
    *error = path + ": não é um arquivo de CF-e (nenhum cupom foi arquivado nele)";
    return nullptr;
  }
  return archive;
}

std::unique_ptr<Archive> Archive::Attach(sqlite3* db, std::string* error) {
  if (!CreateSchema(db, error)) return nullptr;
  return std::unique_ptr<Archive>(new Archive(db, false));
}

Archive::~Archive() {
  if (owned_) sqlite3_close(db_);
}

Stored Archive::Put(std::string_view xml, std::string* error) {
  Document document;
  if (!ReadDocument(xml, &document, error)) {
    *error = "cupom não arquivado: " + *error;
    return Stored::kRefused;
  }
  std::lock_guard lock(mutex_);
  // A savepoint nests in the caller's transaction, or is one of its own.
  const bool outermost = sqlite3_get_autocommit(db_) != 0;
  if (!Exec(db_, "SAVEPOINT archive_put", error)) return Stored::kFailed;
  Stored stored = Insert(xml, document, error);
  if (stored != Stored::kNew) Exec(db_, "ROLLBACK TO archive_put", nullptr);
  if (!Exec(db_, "RELEASE archive_put", error)) {
    *error = DatabaseError(db_);
    if (outermost) Exec(db_, "ROLLBACK", nullptr);
    stored = Stored::kFailed;
  }
  return stored;
}

Stored Archive::Insert(std::string_view xml, const Document& d, std::string* error) {
  const std::string sha = Sha256(xml);
  {
    Statement known(db_, "SELECT sha256 FROM archive_coupons WHERE key = ?");
    known.Bind(1, d.key);
    const int step = known.Step();
    if (step == SQLITE_ROW) {
      if (known.Text(0) == sha) return Stored::kAlready;
      *error = "CFe" + d.key + " já está arquivado com outro conteúdo; o novo não foi arquivado";
      return Stored::kRefused;
    }
    if (step != SQLITE_DONE) {
      *error = DatabaseError(db_);
      return Stored::kFailed;
    }
  }
  int64_t dictionary = 0;
  std::string bytes;
  if (!Dictionary(d.certificate, xml, &dictionary, &bytes, error)) return Stored::kFailed;
  const std::string body = Deflate(xml, bytes);
  // What is stored is read back before it counts as stored.
  std::string check;
  if (body.empty() || !Inflate(body, bytes, xml.size(), &check) || check != xml) {
    *error = "CFe" + d.key + ": falha ao compactar o cupom; não foi arquivado";
    return Stored::kFailed;
  }
  Statement insert(db_,
                   "INSERT INTO archive_coupons(key, kind, number, serial, till, issued, total,"
                   " buyer, cnpj, sale_key, sha256, size, dictionary, body)"
                   " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  insert.Bind(1, d.key);
  insert.Bind(2, static_cast<int64_t>(d.kind));
  insert.Bind(3, static_cast<int64_t>(d.number));
  insert.Bind(4, d.serial);
  if (d.till >= 0) insert.Bind(5, static_cast<int64_t>(d.till));
  insert.Bind(6, d.issued);
  insert.Bind(7, d.total);
  insert.BindOptional(8, d.buyer);
  insert.Bind(9, d.cnpj);
  insert.BindOptional(10, d.sale_key);
  insert.BindBlob(11, sha);
  insert.Bind(12, static_cast<int64_t>(xml.size()));
  insert.Bind(13, dictionary);
  insert.BindBlob(14, body);
  if (insert.Step() != SQLITE_DONE) {
    *error = DatabaseError(db_);
    return Stored::kFailed;
  }
  return Stored::kNew;
}

bool Archive::Dictionary(const std::string& certificate, std::string_view xml, int64_t* id,
                         std::string* bytes, std::string* error) {
  const std::string certificate_sha = Sha256(certificate);
  Statement known(db_, "SELECT id, bytes FROM archive_dictionaries WHERE certificate = ?");
  known.BindBlob(1, certificate_sha);
  if (known.Step() == SQLITE_ROW) {
    *id = known.Int(0);
    *bytes = known.Text(1);
    return true;
  }
  // The first coupon of a certificate is the dictionary of those after it.
  *bytes =
      std::string(xml.substr(xml.size() > kDictionaryWindow ? xml.size() - kDictionaryWindow : 0));
  Statement insert(db_, "INSERT INTO archive_dictionaries(certificate, bytes) VALUES(?, ?)");
  insert.BindBlob(1, certificate_sha);
  insert.BindBlob(2, *bytes);
  if (insert.Step() != SQLITE_DONE) {
    *error = DatabaseError(db_);
    return false;
  }
  *id = sqlite3_last_insert_rowid(db_);
  return true;
}

Read Archive::Find(std::string_view key, Entry* entry, std::string* error) {
  const std::string digits = KeyDigits(key);
  if (digits.empty()) return Read::kNotFound;
  std::lock_guard lock(mutex_);
  Statement s(db_,
              std::string("SELECT ") + kEntryColumns + " FROM archive_coupons c WHERE c.key = ?");
  s.Bind(1, digits);
  const int step = s.Step();
  if (step == SQLITE_ROW) {
    *entry = ReadEntry(s);
    return Read::kFound;
  }
  if (step == SQLITE_DONE) return Read::kNotFound;
  *error = DatabaseError(db_);
  return Read::kFailed;
}

Read Archive::Xml(std::string_view key, std::string* xml, std::string* error) {
  const std::string digits = KeyDigits(key);
  if (digits.empty()) return Read::kNotFound;
  std::lock_guard lock(mutex_);
  Statement s(db_, std::string("SELECT ") + kEntryColumns + kBodyColumns +
                       " FROM archive_coupons c" + kBodyJoin + " WHERE c.key = ?");
  s.Bind(1, digits);
  const int step = s.Step();
  if (step == SQLITE_ROW) return ReadBody(s, ReadEntry(s), xml, error);
  if (step == SQLITE_DONE) return Read::kNotFound;
  *error = DatabaseError(db_);
  return Read::kFailed;
}

bool Archive::Search(const Query& query, Page* page, std::string* error) {
  const int per_page = std::clamp(query.per_page, 1, kMaxPerPage);
  const int64_t offset = static_cast<int64_t>(std::max(query.page, 1) - 1) * per_page;
  const Where where = Conditions(query);
  std::lock_guard lock(mutex_);
  Statement s(db_, std::string("SELECT ") + kEntryColumns + " FROM archive_coupons c" + where.sql +
                       (query.latest_first ? " ORDER BY c.issued DESC, c.id DESC"
                                           : " ORDER BY c.issued, c.id") +
                       " LIMIT ? OFFSET ?");
  where.BindTo(s);
  const int next = static_cast<int>(where.values.size()) + 1;
  s.Bind(next, static_cast<int64_t>(per_page + 1));
  s.Bind(next + 1, offset);
  page->entries.clear();
  page->more = false;
  int step;
  while ((step = s.Step()) == SQLITE_ROW) {
    if (static_cast<int>(page->entries.size()) == per_page) {
      page->more = true;
      break;
    }
    page->entries.push_back(ReadEntry(s));
  }
  if (step != SQLITE_ROW && step != SQLITE_DONE) {
    *error = DatabaseError(db_);
    return false;
  }
  return true;
}

bool Archive::Count(const Query& query, int64_t* count, std::string* error) {
  const Where where = Conditions(query);
  std::lock_guard lock(mutex_);
  Statement s(db_, "SELECT count(*) FROM archive_coupons c" + where.sql);
  where.BindTo(s);
  if (s.Step() != SQLITE_ROW) {
    *error = DatabaseError(db_);
    return false;
  }
  *count = s.Int(0);
  return true;
}

bool Archive::ForEach(const Query& query, const Visit& visit, std::string* error) {
  const Where where = Conditions(query);
  std::lock_guard lock(mutex_);
  Statement s(db_, std::string("SELECT ") + kEntryColumns + kBodyColumns +
                       " FROM archive_coupons c" + kBodyJoin + where.sql +
                       " ORDER BY c.issued, c.id");
  where.BindTo(s);
  int step;
  std::string xml;
  while ((step = s.Step()) == SQLITE_ROW) {
    const Entry entry = ReadEntry(s);
    if (ReadBody(s, entry, &xml, error) != Read::kFound) return false;
    if (!visit(entry, xml)) return true;
  }
  if (step != SQLITE_DONE) {
    *error = DatabaseError(db_);
    return false;
  }
  return true;
}

Verification Archive::Verify(const Progress& progress) {
  Verification v;
  std::lock_guard lock(mutex_);
  for (const char* guard : kGuards) {
    Statement s(db_, "SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND name = ?");
    s.Bind(1, guard);
    if (s.Step() != SQLITE_ROW) {
      v.problems.push_back({"", std::string("proteção ") + guard +
                                    " removida: o arquivo deixou de recusar alterações"});
    }
  }
  Statement count(db_, "SELECT count(*) FROM archive_coupons");
  const int64_t total = count.Step() == SQLITE_ROW ? count.Int(0) : 0;
  Statement s(db_, std::string("SELECT ") + kEntryColumns + kBodyColumns +
                       " FROM archive_coupons c LEFT" + kBodyJoin + " ORDER BY c.id");
  int step;
  std::string xml, problem;
  while ((step = s.Step()) == SQLITE_ROW) {
    const Entry entry = ReadEntry(s);
    ++v.checked;
    Document document;
    if (ReadBody(s, entry, &xml, &problem) != Read::kFound) {
      v.problems.push_back({entry.key, "conteúdo danificado: não confere com seu SHA-256"});
    } else if (!ReadDocument(xml, &document, &problem)) {
      v.problems.push_back({entry.key, "não se lê como CF-e: " + problem});
    } else if (const std::string field = IndexMismatch(entry, document); !field.empty()) {
      v.problems.push_back({entry.key, "o índice difere do cupom em: " + field});
    } else if (!VerifySignature(xml, &problem)) {
      v.problems.push_back({entry.key, problem});
    }
    if (progress && (v.checked % 1000 == 0 || v.checked == total)) progress(v.checked, total);
  }
  if (step != SQLITE_DONE) v.problems.push_back({"", DatabaseError(db_)});
  return v;
}

namespace {

bool Number(std::string_view text, size_t at, size_t digits, int low, int high, int* value) {
  if (at + digits > text.size()) return false;
  *value = 0;
  for (size_t i = at; i < at + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return *value >= low && *value <= high;
}

}  // namespace

bool ParseDay(std::string_view text, bool end, int64_t* issued) {
  int year, month, day, hour = end ? 23 : 0, minute = end ? 59 : 0, second = end ? 59 : 0;
  if (text.size() != 10 && text.size() != 16 && text.size() != 19) return false;
  if (!Number(text, 0, 4, 1, 9999, &year) || text[4] != '-' || !Number(text, 5, 2, 1, 12, &month) ||
      text[7] != '-' || !Number(text, 8, 2, 1, 31, &day)) {
    return false;
  }
  if (text.size() > 10 &&
      (text[10] != 'T' || !Number(text, 11, 2, 0, 23, &hour) || text[13] != ':' ||
       !Number(text, 14, 2, 0, 59, &minute) ||
       (text.size() == 19 && (text[16] != ':' || !Number(text, 17, 2, 0, 59, &second))))) {
    return false;
  }
  *issued = ((((year * 100LL + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
  return true;
}

bool ParseMonth(std::string_view text, int64_t* from, int64_t* to) {
  int year, month;
  if (text.size() != 7 || !Number(text, 0, 4, 1, 9999, &year) || text[4] != '-' ||
      !Number(text, 5, 2, 1, 12, &month)) {
    return false;
  }
  const int64_t base = (year * 100LL + month) * 100000000LL;
  *from = base + 1000000;  // day 01, 00:00:00
  *to = base + 31235959;   // day 31, 23:59:59
  return true;
}

std::string FormatIssued(int64_t t) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d",
                static_cast<int>(t / 10000000000 % 10000), static_cast<int>(t / 100000000 % 100),
                static_cast<int>(t / 1000000 % 100), static_cast<int>(t / 10000 % 100),
                static_cast<int>(t / 100 % 100), static_cast<int>(t % 100));
  return text;
}

std::string FormatCents(int64_t cents) {
  const bool negative = cents < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(cents) : static_cast<uint64_t>(cents);
  char text[32];
  std::snprintf(text, sizeof text, "%s%llu.%02llu", negative ? "-" : "",
                static_cast<unsigned long long>(magnitude / 100),
                static_cast<unsigned long long>(magnitude % 100));
  return text;
}

}  // namespace kovrad::archive
