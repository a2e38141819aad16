// The coupon archive: every signed sale and cancellation coupon kept exactly
// as the device returned it, for the five years the law asks, in SQLite.
//
// Each coupon is stored once under its access key, compressed with zlib
// (against a dictionary shared by the coupons of one device certificate),
// with the SHA-256 of its bytes, and indexed by key, coupon number and device
// serial, till, date and time of issue, total, buyer's CPF or CNPJ and, for a
// sale, the cancellation that cancels it. Nothing stored is ever changed or
// removed: triggers in the database refuse it, and `Verify` says when the
// bytes, the index or the guards are not what was stored.
//
// An archive either owns its database file (`Open`, created readable by its
// owner only) or lives in a database its caller already has open (`Attach`:
// the hub keeps it in its ledger, so that a coupon and the outcome of the
// sale that made it are committed together). One object may be used from
// several threads; its calls take turns.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/document.h"

namespace kovrad::archive {

// One archived coupon, as its index row holds it.
struct Entry {
  std::string key;  // 44 digits
  Kind kind = Kind::kSale;
  int number = 0;
  std::string serial;
  int till = -1;
  int64_t issued = 0;  // AAAAMMDDhhmmss
  int64_t total = 0;   // cents
  std::string buyer;
  std::string cnpj;
  std::string sale_key;      // a cancellation's sale
  std::string cancelled_by;  // a sale's cancellation, empty while it stands
  int64_t size = 0;          // bytes of the coupon's XML
};

// What a search asks; every member left as it is matches all.
struct Query {
  int64_t from = 0;  // issued at or after, AAAAMMDDhhmmss; 0: no bound
  int64_t to = 0;    // issued at or before; 0: no bound
  int till = -1;
  std::string buyer{};   // CPF or CNPJ, digits
  std::string cnpj{};    // the issuer's
  std::string serial{};  // the device's
  int number = -1;       // nCFe (with `serial` for one device's coupon)
  std::optional<int64_t> total{};
  std::optional<Kind> kind{};
  std::optional<bool> cancelled{};  // sales that were (true) or were not cancelled
  bool latest_first = false;        // `Search` only: the last issued first
  int page = 1;                     // from 1
  int per_page = 50;                // 1 to kMaxPerPage
};
inline constexpr int kMaxPerPage = 500;

struct Page {
  std::vector<Entry> entries;  // in order of issue (see `latest_first`)
  bool more = false;           // a next page holds more
};

enum class Stored {
  kNew,      // archived now
  kAlready,  // the same bytes were archived before under that key
  kRefused,  // not archived: not a coupon, or another coupon under its key
  kFailed,   // not archived: the database failed
};

enum class Read {
  kFound,
  kNotFound,
  kDamaged,  // stored, but its bytes no longer match their SHA-256
  kFailed,   // the database failed
};

// A coupon (or the archive itself, with an empty key) that is not as stored.
struct Problem {
  std::string key;
  std::string what;  // Portuguese
};

struct Verification {
  int64_t checked = 0;
  std::vector<Problem> problems;
  bool ok() const { return problems.empty(); }
};

class Archive {
 public:
  enum class Mode {
    kCreate,    // the file (mode 0600) and the tables made when missing
    kExisting,  // an archive another program made; its tables never touched
  };
  // Opens the archive in the file `path`.
  static std::unique_ptr<Archive> Open(const std::string& path, Mode mode, std::string* error);
  // The archive's tables in `db`, created when missing. `db` stays the
  // caller's, and must outlive the archive; `Put` then runs inside the
  // caller's transaction when one is open.
  static std::unique_ptr<Archive> Attach(sqlite3* db, std::string* error);

  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Archives `xml`, a signed coupon, byte for byte. Atomic: either the
  // coupon and its index are stored, or nothing is.
  Stored Put(std::string_view xml, std::string* error);

  // The index row of the coupon with access key `key` (digits, or "CFe" and
  // digits).
  Read Find(std::string_view key, Entry* entry, std::string* error);
  // The coupon's XML exactly as it was archived.
  Read Xml(std::string_view key, std::string* xml, std::string* error);

  bool Search(const Query& query, Page* page, std::string* error);
  // How many coupons `query` matches, its page ignored.
  bool Count(const Query& query, int64_t* count, std::string* error);

  // Every coupon `query` matches (its page ignored), in order of issue, with
  // its XML checked against its SHA-256; `visit` returns false to stop.
  // False when the database fails or a coupon is damaged (named in `error`).
  using Visit = std::function<bool(const Entry& entry, const std::string& xml)>;
  bool ForEach(const Query& query, const Visit& visit, std::string* error);

  // Re-reads every coupon against its SHA-256, its signature and its index
  // row, and checks the guards that keep the archive append-only.
  // `progress` (optional) is called now and then with coupons done and all.
  using Progress = std::function<void(int64_t done, int64_t total)>;
  Verification Verify(const Progress& progress);

 private:
  Archive(sqlite3* db, bool owned) : db_(db), owned_(owned) {}
  Stored Insert(std::string_view xml, const Document& document, std::string* error);
  bool Dictionary(const std::string& certificate, std::string_view xml, int64_t* id,
                  std::string* bytes, std::string* error);

  std::mutex mutex_;
  sqlite3* db_;
  bool owned_;
};

// Bounds of a search from the texts people write: a day "AAAA-MM-DD" (with
// `end`, its last second), a moment "AAAA-MM-DDThh:mm[:ss]", a month
// "AAAA-MM". False when the text is none of these.
bool ParseDay(std::string_view text, bool end, int64_t* issued);
bool ParseMonth(std::string_view text, int64_t* from, int64_t* to);

// AAAAMMDDhhmmss as "AAAA-MM-DDThh:mm:ss".
std::string FormatIssued(int64_t issued);
// Cents as a decimal with a point: 10220 -> "102.20".
std::string FormatCents(int64_t cents);

}  // namespace kovrad::archive
