// The coupon archive at the size of five busy years: N coupons (default
// 5,000,000) spread evenly over five years, one month of them (N / 50:
// 100,000 at the default) archived one by one as the hub does, the rest
// copied in bulk from a few dozen archived coupons with their index fields
// changed (a copy's bytes then disagree with its index; only the bundled
// month is ever read whole). Then: the lookup of a coupon by key, a day's
// list, the month's bundle and the disk taken per coupon.
//
//   bench_archive [COUPONS] [--dir DIR] [--keep]
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "archive/archive.h"
#include "archive/bundle.h"
#include "figures.h"

namespace {

using namespace kovrad::archive;
using namespace kovrad::bench;

constexpr int kYears = 5;
constexpr int kSeeds = 64;  // distinct coupons the bulk copies
constexpr int kDevices = 4;
constexpr int kTills = 12;
constexpr int kLookups = 10000;
constexpr int kDays = 40;

std::mt19937_64 random_bits(20261208);

std::string ReadSample() {
  std::ifstream in(RECEIPT_SALE, std::ios::binary);
  std::ostringstream read;
  read << in.rdbuf();
  return read.str();
}

// `text` between `open` and `close` replaced by `value`.
void Put(std::string* xml, const std::string& open, const std::string& close,
         const std::string& value) {
  const size_t begin = xml->find(open);
  if (begin == std::string::npos) return;
  const size_t from = begin + open.size();
  xml->replace(from, xml->find(close, from) - from, value);
}

std::string RandomBase64(size_t length) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text(length, 'A');
  for (char& c : text) c = kAlphabet[random_bits() % 64];
  return text.substr(0, length - 2) + "==";
}

std::string Digits(uint64_t value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*llu", width, static_cast<unsigned long long>(value));
  return text;
}

// Five years from 2022 in seconds, and the month archived one by one.
constexpr char kMonth[] = "2024-07";
constexpr int64_t kSpan = kYears * 365LL * 86400;

int64_t Seconds(int year, int month) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = 1;
  std::tm origin{};
  origin.tm_year = 122;
  origin.tm_mday = 1;
  return timegm(&t) - timegm(&origin);
}

// `seconds` after the start of 2022 as AAAAMMDDhhmmss.
int64_t Issued(int64_t seconds) {
  std::tm t{};
  t.tm_year = 122;
  t.tm_mday = 1 + static_cast<int>(seconds / 86400);
  t.tm_sec = static_cast<int>(seconds % 86400);
  timegm(&t);
  return ((((t.tm_year + 1900LL) * 100 + t.tm_mon + 1) * 100 + t.tm_mday) * 100 + t.tm_hour) *
             10000 +
         t.tm_min * 100 + t.tm_sec;
}

struct Fields {
  std::string key;
  int number = 0;
  std::string serial;
  int till = 0;
  int64_t issued = 0;
  int64_t total = 0;
  std::string buyer;
};

// Coupon `i` of the archive, issued `seconds` after the start of 2022.
Fields FieldsOf(int64_t i, int64_t seconds) {
  Fields f;
  f.issued = Issued(seconds);
  f.serial = Digits(900000000 + static_cast<uint64_t>(i % kDevices), 9);
  f.number = static_cast<int>(i / kDevices % 999999 + 1);
  f.key = "35" + Digits(static_cast<uint64_t>(f.issued / 100000000 % 10000), 4) + "08723218000186" +
          "59" + f.serial + Digits(static_cast<uint64_t>(i), 12) + "9";
  f.till = static_cast<int>(i % kTills + 1);
  f.total = static_cast<int64_t>(random_bits() % 50000 + 100);
  if (random_bits() % 10 < 3) f.buyer = Digits(random_bits() % 100000 * 1000 + 35, 11);
  return f;
}

// The sample sale as coupon `f`, with signatures of its own.
std::string CouponXml(const std::string& sample, const Fields& f) {
  std::string xml = sample;
  const std::string issued = Digits(static_cast<uint64_t>(f.issued), 14);
  Put(&xml, "Id=\"CFe", "\"", f.key);
  Put(&xml, "URI=\"#CFe", "\"", f.key);
  Put(&xml, "<nserieSAT>", "<", f.serial);
  Put(&xml, "<nCFe>", "<", Digits(static_cast<uint64_t>(f.number), 6));
  Put(&xml, "<dEmi>", "<", issued.substr(0, 8));
  Put(&xml, "<hEmi>", "<", issued.substr(8));
  Put(&xml, "<numeroCaixa>", "<", Digits(static_cast<uint64_t>(f.till), 3));
  Put(&xml, "<CPF>", "<", f.buyer.empty() ? "00000000000" : f.buyer);
  Put(&xml, "<vCFe>", "<", FormatCents(f.total));
  Put(&xml, "<assinaturaQRCODE>", "<", RandomBase64(344));
  Put(&xml, "<DigestValue>", "<", RandomBase64(44));
  Put(&xml, "<SignatureValue>", "<", RandomBase64(344));
  return xml;
}

bool Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  std::fprintf(stderr, "bench_archive: %s: %s\n", sql, message);
  sqlite3_free(message);
  return false;
}

// A copy of seed row `seed` under the fields `f`.
bool Copy(sqlite3_stmt* insert, const Fields& f, int64_t seed) {
  sqlite3_reset(insert);
  sqlite3_bind_text(insert, 1, f.key.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(insert, 2, f.number);
  sqlite3_bind_text(insert, 3, f.serial.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(insert, 4, f.till);
  sqlite3_bind_int64(insert, 5, f.issued);
  sqlite3_bind_int64(insert, 6, f.total);
  if (f.buyer.empty()) {
    sqlite3_bind_null(insert, 7);
  } else {
    sqlite3_bind_text(insert, 7, f.buyer.c_str(), -1, SQLITE_TRANSIENT);
  }
  sqlite3_bind_int64(insert, 8, seed);
  return sqlite3_step(insert) == SQLITE_DONE;
}

struct Made {
  std::vector<std::string> keys;  // every 100th key, for the lookups
  std::vector<int64_t> days;      // the start of days to list
  double seconds = 0;
};

// `count` coupons in one transaction: the month's through `Put`, the
// others copied from seeds.
bool Fill(sqlite3* db, Archive& archive, int64_t count, Made* made) {
  const std::string sample = ReadSample();
  const int64_t month_size = std::max<int64_t>(count / 50, 1), others = count - month_size;
  const int64_t month_from = Seconds(2024, 7), month_span = Seconds(2024, 8) - month_from;
  std::string error;
  if (!Exec(db, "BEGIN")) return false;
  // The seeds, from 2021: outside the five years.
  for (int s = 0; s < kSeeds; ++s) {
    Fields f = FieldsOf(count + s, 0);
    f.issued -= 10000000000;
    if (archive.Put(CouponXml(sample, f), &error) != Stored::kNew) {
      std::fprintf(stderr, "bench_archive: %s\n", error.c_str());
      return false;
    }
  }
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(
      db,
      "INSERT INTO archive_coupons(key, kind, number, serial, till, issued, total, buyer, cnpj,"
      " sha256, size, dictionary, body)"
      " SELECT ?1, 0, ?2, ?3, ?4, ?5, ?6, ?7, cnpj, sha256, size, dictionary, body"
      " FROM archive_coupons WHERE id = ?8",
      -1, &insert, nullptr);
  const Clock::time_point start = Clock::now();
  int64_t i = 0, month_done = 0;
  bool ok = true;
  for (int64_t j = 0; ok && j < others; ++j) {
    // The others spread over the five years less the month, which comes
    // whole at its place.
    int64_t at = j * (kSpan - month_span) / others;
    if (at >= month_from) {
      for (; ok && month_done < month_size; ++month_done, ++i) {
        const Fields f = FieldsOf(i, month_from + month_done * month_span / month_size);
        ok = archive.Put(CouponXml(sample, f), &error) == Stored::kNew;
        if (i % 100 == 0) made->keys.push_back(f.key);
      }
      at += month_span;
    }
    const Fields f = FieldsOf(i++, at);
    ok = ok && Copy(insert, f, 1 + static_cast<int64_t>(random_bits() % kSeeds));
    if (i % 100 == 0) made->keys.push_back(f.key);
    if (i % 1000000 == 0) {
      std::fprintf(stderr, "bench_archive: %lld coupons, %.0f s\n", static_cast<long long>(i),
                   Ms(Clock::now() - start) / 1000);
    }
  }
  sqlite3_finalize(insert);
  if (!ok) {
    std::fprintf(stderr, "bench_archive: coupon %lld: %s %s\n", static_cast<long long>(i),
                 error.c_str(), sqlite3_errmsg(db));
    return false;
  }
  for (int d = 0; d < kDays; ++d) {
    made->days.push_back(
        static_cast<int64_t>(random_bits() % static_cast<uint64_t>(kSpan / 86400)) * 86400);
  }
  made->days.push_back(month_from + 86400 * 14);  // a day of the busy month
  const bool committed = Exec(db, "COMMIT");
  made->seconds = Ms(Clock::now() - start) / 1000;
  return committed;
}

struct Options {
  int64_t count = 5000000;
  std::string dir;
  bool keep = false;
};

bool ReadOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dir" && i + 1 < argc) {
      o->dir = argv[++i];
    } else if (arg == "--keep") {
      o->keep = true;
    } else if (!arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos &&
               arg.size() < 10 && std::stoll(arg) >= 1000) {
      o->count = std::stoll(arg);
    } else {
      std::fprintf(stderr, "usage: bench_archive [COUPONS (at least 1000)] [--dir DIR] [--keep]\n");
      return false;
    }
  }
  return true;
}

std::string Thousands(int64_t n) {
  std::string text = std::to_string(n);
  for (int at = static_cast<int>(text.size()) - 3; at > 0; at -= 3) text.insert(at, ",");
  return text;
}

const char* Verdict(bool met) {
  return met ? "met" : "MISSED";
}

void Measure(Archive& archive, const Options& o, const Made& made, const std::string& path) {
  // Wall time, and the thread's own CPU time, which a busy machine's
  // other processes do not stretch.
  std::vector<double> lookups, lookups_cpu;
  std::string xml, error;
  for (int n = 0; n < kLookups; ++n) {
    const std::string& key = made.keys[random_bits() % made.keys.size()];
    timespec cpu_start{}, cpu_end{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_start);
    const Clock::time_point start = Clock::now();
    if (archive.Xml(key, &xml, &error) != Read::kFound) std::fprintf(stderr, "%s\n", error.c_str());
    lookups.push_back(Ms(Clock::now() - start));
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_end);
    lookups_cpu.push_back((cpu_end.tv_sec - cpu_start.tv_sec) * 1e3 +
                          (cpu_end.tv_nsec - cpu_start.tv_nsec) / 1e6);
  }
  std::vector<double> lists;
  int64_t listed = 0;
  for (const int64_t day : made.days) {
    Query q;
    q.from = Issued(day);
    q.to = Issued(day + 86399);
    q.per_page = kMaxPerPage;
    Page page;
    const Clock::time_point start = Clock::now();
    do {
      archive.Search(q, &page, &error);
      listed += static_cast<int64_t>(page.entries.size());
      ++q.page;
    } while (page.more);
    lists.push_back(Ms(Clock::now() - start));
  }
  BundleReport report;
  const std::string bundle = o.dir + "/bundle.zip";
  const std::clock_t cpu_start = std::clock();
  const Clock::time_point start = Clock::now();
  if (!WriteBundle(archive, kMonth, "", bundle, nullptr, &report, &error)) {
    std::fprintf(stderr, "bench_archive: %s\n", error.c_str());
  }
  const double bundle_s = Ms(Clock::now() - start) / 1000;
  const double bundle_cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  int64_t disk = 0;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    struct stat st {};
    if (stat((path + suffix).c_str(), &st) == 0) disk += st.st_size;
  }
  const double per_coupon = static_cast<double>(disk) / static_cast<double>(o.count);
  const double p99 = Quantile(lookups, 0.99),
               list_max = *std::max_element(lists.begin(), lists.end());

  Heading("Coupon archive");
  std::printf(
      "`bench_archive %lld`: %s coupons over five years (2022 to 2026) from four devices "
      "and twelve tills, %s of them in %s archived one by one as the hub does, the rest "
      "copied from %d archived coupons; filled in %.0f s.\n\n",
      static_cast<long long>(o.count), Thousands(o.count).c_str(), Thousands(report.files).c_str(),
      kMonth, kSeeds, made.seconds);
  std::printf(
      "| Measure | Runs | Median | 99th percentile / worst | Target |\n|---|---:|---:|---:|---|\n");
  std::printf(
      "| coupon by key (index, expand, SHA-256) | %d | %.3f ms | %.3f ms | p99 < 5 ms: %s |\n",
      kLookups, Quantile(lookups, 0.5), p99, Verdict(p99 < 5));
  std::printf("| the same, CPU time of the thread | %d | %.3f ms | %.3f ms | |\n", kLookups,
              Quantile(lookups_cpu, 0.5), Quantile(lookups_cpu, 0.99));
  std::printf(
      "| a day's list, every page of %d (%lld coupons a day on average) | %zu | %.2f ms | %.2f ms "
      "| < 50 ms: %s |\n",
      kMaxPerPage, static_cast<long long>(listed / static_cast<int64_t>(lists.size())),
      lists.size(), Quantile(lists, 0.5), list_max, Verdict(list_max < 50));
  std::printf("| the month's bundle (%s coupons; %.1f s of CPU) | 1 | %.1f s | | < 30 s: %s |\n",
              Thousands(report.files).c_str(), bundle_cpu, bundle_s, Verdict(bundle_s < 30));
  std::printf("| disk per coupon (database and journal) | | %.0f bytes | | <= 2048 bytes: %s |\n",
              per_coupon, Verdict(per_coupon <= 2048));
  std::remove(bundle.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ReadOptions(argc, argv, &o)) return 2;
  bool made_dir = false;
  if (o.dir.empty()) {
    char name[] = "/tmp/bench-archive-XXXXXX";
    if (mkdtemp(name) == nullptr) return 1;
    o.dir = name;
    made_dir = true;
  }
  const std::string path = o.dir + "/cfe.db";
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  std::string error;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return 1;
  // Filling is one transaction that never needs to survive a crash.
  Exec(db, "PRAGMA synchronous=OFF");
  Exec(db, "PRAGMA cache_size=-1000000");
  auto filler = Archive::Attach(db, &error);
  Made made;
  const bool filled = filler && Fill(db, *filler, o.count, &made);
  filler.reset();
  sqlite3_close(db);
  int status = 1;
  if (filled) {
    // Measured as the hub reads it: its own connection, in WAL mode.
    auto archive = Archive::Open(path, Archive::Mode::kCreate, &error);
    if (archive) {
      Measure(*archive, o, made, path);
      status = 0;
    } else {
      std::fprintf(stderr, "bench_archive: %s\n", error.c_str());
    }
  }
  if (!o.keep) {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    if (made_dir) std::filesystem::remove(o.dir);
  }
  return status;
}
