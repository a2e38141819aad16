// The month's bundle on libzip. The coupons are read twice: once to add up
// the summary, and once more, one at a time, while libzip writes them, so
// that a month of any size needs the memory of one coupon. The second
// reading must give the same bytes as the first, or nothing is written.
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "archive/bundle.h"
#include "digest.h"

namespace kovrad::archive {
namespace {

// One coupon of the bundle, as the summary read it.
struct Member {
  std::string key;
  Kind kind;
  int64_t issued;
  int64_t size;
  std::string sha256;
};

std::string MemberName(const Member& m) {
  return std::string(m.kind == Kind::kSale ? "vendas/" : "cancelamentos/") + "CFe" + m.key + ".xml";
}

time_t LocalTime(int64_t issued) {
  std::tm t{};
  t.tm_year = static_cast<int>(issued / 10000000000) - 1900;
  t.tm_mon = static_cast<int>(issued / 100000000 % 100) - 1;
  t.tm_mday = static_cast<int>(issued / 1000000 % 100);
  t.tm_hour = static_cast<int>(issued / 10000 % 100);
  t.tm_min = static_cast<int>(issued / 100 % 100);
  t.tm_sec = static_cast<int>(issued % 100);
  t.tm_isdst = -1;
  return std::mktime(&t);
}

// A libzip source that reads its coupon from the archive when libzip opens it.
struct CouponSource {
  Archive* archive;
  Member member;
  std::string* failure;  // the first coupon that could not be read again
  std::string xml;
  size_t offset = 0;
  zip_error_t error;

  zip_int64_t Fail(const std::string& why) {
    if (failure->empty()) *failure = why;
    zip_error_set(&error, ZIP_ER_READ, EIO);
    return -1;
  }

  zip_int64_t Open() {
    std::string problem;
    xml.clear();
    offset = 0;
    if (archive->Xml(member.key, &xml, &problem) != Read::kFound) return Fail(problem);
    if (Sha256(xml) != member.sha256) {
      return Fail("CFe" + member.key + " mudou durante a exportação");
    }
    return 0;
  }

  zip_int64_t Command(void* data, zip_uint64_t length, zip_source_cmd_t command) {
    switch (command) {
      case ZIP_SOURCE_OPEN:
        return Open();
      case ZIP_SOURCE_READ: {
        const size_t n = std::min<size_t>(length, xml.size() - offset);
        std::memcpy(data, xml.data() + offset, n);
        offset += n;
        return static_cast<zip_int64_t>(n);
      }
      case ZIP_SOURCE_CLOSE:
        std::string().swap(xml);
        return 0;
      case ZIP_SOURCE_STAT: {
        auto* stat = static_cast<zip_stat_t*>(data);
        zip_stat_init(stat);
        stat->size = static_cast<zip_uint64_t>(member.size);
        stat->mtime = LocalTime(member.issued);
        stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
      }
      case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&error, data, length);
      case ZIP_SOURCE_FREE:
        zip_error_fini(&error);
        delete this;
        return 0;
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
      default:
        zip_error_set(&error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
  }

  static zip_int64_t Callback(void* self, void* data, zip_uint64_t length,
                              zip_source_cmd_t command) {
    return static_cast<CouponSource*>(self)->Command(data, length, command);
  }
};

// The summary of the month's coupons, with what the bundle will hold.
bool ReadMonth(Archive& archive, const Query& query, const Archive::Progress& progress,
               BundleReport* report, std::vector<Member>* members, std::string* error) {
  int64_t count = 0;
  if (!archive.Count(query, &count, error)) return false;
  // The index's own figures, to hold the summary's against.
  Figures index;
  std::string problem;
  const bool read = archive.ForEach(
      query,
      [&](const Entry& entry, const std::string& xml) {
        Document document;
        if (!ReadDocument(xml, &document, &problem) || document.issued != entry.issued) {
          problem = "CFe" + entry.key + " não se lê como o índice o descreve: " + problem;
          return false;
        }
        report->summary.Add(document);
        members->push_back({entry.key, entry.kind, entry.issued, entry.size, Sha256(xml)});
        if (entry.kind == Kind::kSale) {
          ++index.sales;
          index.total += entry.total;
        } else {
          ++index.cancellations;
          index.cancelled += entry.total;
        }
        if (progress && (members->size() % 1000 == 0)) progress(members->size(), count);
        return true;
      },
      error);
  if (!read) return false;
  if (!problem.empty()) {
    *error = problem;
    return false;
  }
  const Figures& all = report->summary.all;
  if (all.sales != index.sales || all.total != index.total ||
      all.cancellations != index.cancellations || all.cancelled != index.cancelled) {
    *error =
        "o resumo dos XML difere do índice do arquivo; verifique o arquivo (satcli arquivo "
        "verificar)";
    return false;
  }
  if (progress) progress(members->size(), count);
  return true;
}

bool AddMember(zip_t* zip, Archive& archive, const Member& member, std::string* failure) {
  auto* state = new CouponSource{&archive, member, failure, {}, 0, {}};
  zip_error_init(&state->error);
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_function_create(CouponSource::Callback, state, &error);
  zip_error_fini(&error);
  if (source == nullptr) {
    zip_error_fini(&state->error);
    delete state;
    return false;
  }
  const zip_int64_t index = zip_file_add(zip, MemberName(member).c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    return false;
  }
  // The fastest deflate: XML shrinks well at any level, and a month is large.
  zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
  zip_file_set_mtime(zip, static_cast<zip_uint64_t>(index), LocalTime(member.issued), 0);
  return true;
}

bool AddBuffer(zip_t* zip, const char* name, const std::string& bytes) {
  zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
  if (source == nullptr) return false;
  if (zip_file_add(zip, name, source, ZIP_FL_ENC_UTF_8) < 0) {
    zip_source_free(source);
    return false;
  }
  return true;
}

// Writes the ZIP at `path`, which nobody else can reach while it is made.
bool WriteZip(Archive& archive, const std::vector<Member>& members, const std::string& csv,
              const std::string& pdf, const std::string& path, std::string* error) {
  int code = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (zip == nullptr) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    *error = path + ": " + zip_error_strerror(&e);
    zip_error_fini(&e);
    return false;
  }
  std::string failure;
  bool ok = AddBuffer(zip, "resumo.csv", csv) && AddBuffer(zip, "resumo.pdf", pdf);
  for (size_t i = 0; ok && i < members.size(); ++i)
    ok = AddMember(zip, archive, members[i], &failure);
  if (!ok || zip_close(zip) != 0) {
    *error = !failure.empty() ? failure : path + ": " + zip_strerror(zip);
    zip_discard(zip);
    return false;
  }
  return true;
}

}  // namespace

bool WriteBundle(Archive& archive, const std::string& month, const std::string& cnpj,
                 const std::string& path, const Archive::Progress& progress, BundleReport* report,
                 std::string* error) {
  Query query;
  if (!ParseMonth(month, &query.from, &query.to)) {
    *error = "mês inválido: \"" + month + "\" (use AAAA-MM)";
    return false;
  }
  query.cnpj = cnpj;
  *report = BundleReport();
  report->summary.month = month;
  report->summary.cnpj = cnpj;
  std::vector<Member> members;
  if (!ReadMonth(archive, query, progress, report, &members, error)) return false;
  std::string pdf;
  if (!SummaryPdf(report->summary, &pdf, error)) return false;
  const std::string csv = SummaryCsv(report->summary);

  // Made in a private folder beside its place, then moved there whole.
  const std::filesystem::path target(path);
  std::string folder =
      (target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path()) /
      ".kovrad-exportacao-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) {
    *error = target.parent_path().string() + ": " + std::strerror(errno);
    return false;
  }
  const std::string draft = folder + "/" + target.filename().string();
  bool ok = WriteZip(archive, members, csv, pdf, draft, error);
  if (ok && (chmod(draft.c_str(), 0600) != 0 || std::rename(draft.c_str(), path.c_str()) != 0)) {
    *error = path + ": " + std::strerror(errno);
    ok = false;
  }
  std::remove(draft.c_str());
  rmdir(folder.c_str());
  report->files = ok ? static_cast<int64_t>(members.size()) : 0;
  return ok;
}

}  // namespace kovrad::archive
