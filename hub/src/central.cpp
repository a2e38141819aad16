#include "central.h"

#include <cstdio>
#include <ctime>

#include "log.h"

namespace kovrad::hub {
namespace {

struct Migration {
  int version;
  const char* description;
  const char* sql;
};

// Each step runs once, in order, in the transaction that records it. A
// step is never changed once released: a change is a new step.
//
// A unique key of a partitioned table must hold the partition key: coupons
// are unique by (access_key, issued_at). The time of issue is part of the
// signed coupon, so every copy of a coupon carries the same one and the pair
// is as unique as the key alone.
constexpr Migration kMigrations[] = {
    {1, "cupons e estados dos SAT, particionados por mês", R"(
CREATE TABLE kovrad.coupons(
  access_key char(44) NOT NULL CHECK (access_key ~ '^[0-9]{44}$'),
  issued_at timestamp NOT NULL,
  kind text NOT NULL CHECK (kind IN ('venda', 'cancelamento')),
  store text NOT NULL,
  device text NOT NULL,
  till integer,
  cnpj text NOT NULL,
  total numeric(15, 2),
  buyer text,
  cancels char(44),
  xml bytea COMPRESSION lz4 NOT NULL,
  received_at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (access_key, issued_at)
) PARTITION BY RANGE (issued_at);
CREATE INDEX coupons_store ON kovrad.coupons(store, issued_at);
CREATE INDEX coupons_device ON kovrad.coupons(device, issued_at);
CREATE INDEX coupons_cnpj ON kovrad.coupons(cnpj, issued_at);
CREATE INDEX coupons_issued ON kovrad.coupons(issued_at);
CREATE INDEX coupons_cancels ON kovrad.coupons(cancels) WHERE cancels IS NOT NULL;

CREATE TABLE kovrad.device_status(
  store text NOT NULL,
  device text NOT NULL,
  taken_at timestamp NOT NULL,
  reply bytea COMPRESSION lz4 NOT NULL,
  received_at timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (store, device, taken_at)
) PARTITION BY RANGE (taken_at);

-- The month's partition of `parent`, made by the first writer that needs it.
CREATE FUNCTION kovrad.ensure_month(parent text, day timestamp) RETURNS void
LANGUAGE plpgsql AS $$
DECLARE
  first date := date_trunc('month', day)::date;
  name text := parent || '_' || to_char(first, 'YYYYMM');
BEGIN
  IF to_regclass('kovrad.' || name) IS NOT NULL THEN RETURN; END IF;
  PERFORM pg_advisory_xact_lock(hashtext('kovrad.' || name));
  IF to_regclass('kovrad.' || name) IS NOT NULL THEN RETURN; END IF;
  EXECUTE format('CREATE TABLE kovrad.%I PARTITION OF kovrad.%I FOR VALUES FROM (%L) TO (%L)',
                 name, parent, first, (first + interval '1 month')::date);
END $$;
)"},
    {2, "vendas com o cancelamento de cada uma", R"(
CREATE VIEW kovrad.sales AS
SELECT s.access_key, s.issued_at, s.store, s.device, s.till, s.cnpj, s.total, s.buyer,
       c.access_key AS cancelled_by, c.issued_at AS cancelled_at
FROM kovrad.coupons s
LEFT JOIN kovrad.coupons c ON c.kind = 'cancelamento' AND c.cancels = s.access_key
WHERE s.kind = 'venda';
)"},
};

constexpr char kBootstrap[] = R"(
SET LOCAL client_min_messages = warning;
SELECT pg_advisory_xact_lock(hashtext('kovrad.schema'));
CREATE SCHEMA IF NOT EXISTS kovrad;
CREATE TABLE IF NOT EXISTS kovrad.schema_migrations(
  version integer PRIMARY KEY,
  description text NOT NULL,
  applied_at timestamptz NOT NULL DEFAULT now());
)";

// Results, cleared at the end of the scope.
struct Result {
  explicit Result(PGresult* r) : result(r) {}
  ~Result() { PQclear(result); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  bool ok() const {
    const ExecStatusType s = PQresultStatus(result);
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
  }
  PGresult* result;
};

std::string Trimmed(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The server's message, and its SQLSTATE in `state`.
std::string Failure(const PGresult* result, std::string* state) {
  const char* code = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  *state = code != nullptr ? code : "";
  return Trimmed(PQresultErrorMessage(result));
}

// The first day of the month `offset` months from now, "AAAA-MM-01".
std::string MonthFromNow(int offset) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const int months = local.tm_year * 12 + local.tm_mon + offset;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-01", 1900 + months / 12, months % 12 + 1);
  return text;
}

constexpr char kCouponColumns[] =
    "INSERT INTO kovrad.coupons(access_key, issued_at, kind, store, device, till, cnpj, total,"
    " buyer, cancels, xml) VALUES ";
constexpr int kCouponParameters = 11;
constexpr char kStatusColumns[] =
    "INSERT INTO kovrad.device_status(store, device, taken_at, reply) VALUES ";
constexpr int kStatusParameters = 4;

constexpr size_t kPreparedLimit = 8;

// Parameters of one multi-row INSERT: texts, and the documents in binary.
class Rows {
 public:
  void Text(std::string value, bool null_when_empty = false) {
    Add(std::move(value), null_when_empty, 0);
  }
  void Bytes(std::string value) { Add(std::move(value), false, 1); }
  // "($1, $2, ...)" for the next `count` parameters, the casts given.
  void Row(std::string* sql, const char* const* casts, int count) {
    *sql += rows_++ == 0 ? "(" : ", (";
    for (int i = 0; i < count; ++i) {
      *sql += (i > 0 ? ", $" : "$") + std::to_string(++placed_) + casts[i];
    }
    *sql += ")";
  }
  // A multi-row INSERT is planned once for each number of rows it takes: the
  // statements of the usual batch sizes are kept on the server.
  bool Run(PGconn* connection, const std::string& sql, const std::string& name,
           std::set<std::string>* prepared, std::string* error, std::string* state) {
    std::vector<const char*> values;
    std::vector<int> lengths;
    for (size_t i = 0; i < values_.size(); ++i) {
      values.push_back(nulls_[i] ? nullptr : values_[i].data());
      lengths.push_back(static_cast<int>(values_[i].size()));
    }
    const int count = static_cast<int>(values.size());
    if (prepared->count(name) == 0 && prepared->size() < kPreparedLimit) {
      Result made(PQprepare(connection, name.c_str(), sql.c_str(), count, nullptr));
      if (!made.ok()) {
        *error = Failure(made.result, state);
        return false;
      }
      prepared->insert(name);
    }
    Result r(prepared->count(name) != 0
                 ? PQexecPrepared(connection, name.c_str(), count, values.data(), lengths.data(),
                                  formats_.data(), 0)
                 : PQexecParams(connection, sql.c_str(), count, nullptr, values.data(),
                                lengths.data(), formats_.data(), 0));
    if (!r.ok()) *error = Failure(r.result, state);
    return r.ok();
  }
  bool empty() const { return rows_ == 0; }
  int rows() const { return rows_; }

 private:
  void Add(std::string value, bool null_when_empty, int format) {
    nulls_.push_back(null_when_empty && value.empty());
    values_.push_back(std::move(value));
    formats_.push_back(format);
  }
  std::vector<std::string> values_;
  std::vector<bool> nulls_;
  std::vector<int> formats_;
  int rows_ = 0;
  int placed_ = 0;
};

}  // namespace

int LatestCentralVersion() {
  return std::end(kMigrations)[-1].version;
}

std::unique_ptr<Central> Central::Connect(const CentralConfig& config, std::string* error) {
  // Later entries win: the time limits may be changed in the connection
  // string, the TLS settings of [central] may not.
  std::vector<const char*> keys = {"connect_timeout",  "keepalives_idle", "options",
                                   "application_name", "dbname",          "sslmode"};
  std::vector<const char*> values = {"10",
                                     "30",
                                     "-c statement_timeout=60000",
                                     "kovrad-hub",
                                     config.connection.c_str(),
                                     config.tls.c_str()};
  const std::pair<const char*, const std::string*> files[] = {{"sslrootcert", &config.tls_ca},
                                                              {"sslcert", &config.tls_certificate},
                                                              {"sslkey", &config.tls_key}};
  for (const auto& [key, value] : files) {
    if (value->empty()) continue;
    keys.push_back(key);
    values.push_back(value->c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* connection = PQconnectdbParams(keys.data(), values.data(), 1);
  if (connection == nullptr) return *error = "sem memória", nullptr;
  if (PQstatus(connection) != CONNECTION_OK) {
    *error = Trimmed(PQerrorMessage(connection));
    PQfinish(connection);
    return nullptr;
  }
  return std::unique_ptr<Central>(new Central(connection));
}

Central::~Central() {
  PQfinish(connection_);
}

bool Central::Healthy() const {
  return PQstatus(connection_) == CONNECTION_OK;
}

bool Central::Exec(const std::string& sql, std::string* error) {
  Result r(PQexec(connection_, sql.c_str()));
  if (!r.ok()) *error = Failure(r.result, &last_state_);
  return r.ok();
}

bool Central::Refused() const {
  // Data exceptions and integrity violations: this entry, not the server.
  return last_state_.starts_with("22") || last_state_.starts_with("23");
}

int Central::Version(std::string* error) {
  Result r(PQexec(connection_,
                  "SELECT CASE WHEN to_regclass('kovrad.schema_migrations') IS NULL THEN 0"
                  " ELSE (SELECT coalesce(max(version), 0) FROM kovrad.schema_migrations) END"));
  if (!r.ok() || PQntuples(r.result) != 1) {
    *error = Trimmed(PQresultErrorMessage(r.result));
    return -1;
  }
  return std::atoi(PQgetvalue(r.result, 0, 0));
}

bool Central::Prepare(std::vector<std::string>* applied, std::string* error) {
  if (!Exec("BEGIN", error)) return false;
  bool ok = Exec(kBootstrap, error);
  const int version = ok ? Version(error) : -1;
  ok = ok && version >= 0;
  if (ok && version > LatestCentralVersion()) {
    *error = "o banco central está na versão " + std::to_string(version) +
             ", mais nova que a deste hub (" + std::to_string(LatestCentralVersion()) +
             "): atualize o kovrad-hub";
    ok = false;
  }
  for (const Migration& m : kMigrations) {
    if (!ok || m.version <= version) continue;
    const char* values[] = {nullptr, m.description};
    const std::string number = std::to_string(m.version);
    values[0] = number.c_str();
    ok = Exec(m.sql, error);
    if (ok) {
      Result r(PQexecParams(connection_,
                            "INSERT INTO kovrad.schema_migrations(version, description)"
                            " VALUES($1, $2)",
                            2, nullptr, values, nullptr, nullptr, 0));
      ok = r.ok();
      if (!ok) *error = Trimmed(PQresultErrorMessage(r.result));
    }
    if (ok) applied->push_back(number + ": " + m.description);
    if (!ok) *error = "versão " + number + ": " + *error;
  }
  std::string ignored;
  if (!ok) return Exec("ROLLBACK", &ignored), false;
  if (!Exec("COMMIT", error)) return false;
  // This month's and the next two months' partitions, ahead of the first sales.
  for (int offset = 0; offset < 3 && ok; ++offset) {
    const std::string month = MonthFromNow(offset);
    ok = EnsureMonth("coupons", month, error) && EnsureMonth("device_status", month, error);
  }
  return ok;
}

bool Central::EnsureMonth(const char* table, const std::string& timestamp, std::string* error) {
  const std::string month = std::string(table) + ":" + timestamp.substr(0, 7);
  if (months_.count(month) != 0) return true;
  // In a transaction of its own: making a partition locks the whole table,
  // which must not wait for, or hold up, the batches of other stores.
  const char* values[] = {table, timestamp.c_str()};
  Result r(PQexecParams(connection_, "SELECT kovrad.ensure_month($1, $2::timestamp)", 2, nullptr,
                        values, nullptr, nullptr, 0));
  if (!r.ok()) {
    *error = Failure(r.result, &last_state_);
    return false;
  }
  months_.insert(month);
  return true;
}

bool Central::Ship(const std::vector<OutboxEntry>& entries, std::string* error) {
  static const char* const kCouponCasts[kCouponParameters] = {
      "", "::timestamp", "", "", "", "::integer", "", "::numeric", "", "", "::bytea"};
  static const char* const kStatusCasts[kStatusParameters] = {"", "", "::timestamp", "::bytea"};
  last_state_.clear();
  Rows coupons, statuses;
  std::string coupon_sql = kCouponColumns, status_sql = kStatusColumns;
  for (const OutboxEntry& e : entries) {
    const bool status = e.kind == Kind::kStatus;
    if (!EnsureMonth(status ? "device_status" : "coupons", e.issued_at, error)) return false;
    if (status) {
      statuses.Text(e.store);
      statuses.Text(e.device);
      statuses.Text(e.issued_at);
      statuses.Bytes(e.document);
      statuses.Row(&status_sql, kStatusCasts, kStatusParameters);
      continue;
    }
    coupons.Text(e.access_key);
    coupons.Text(e.issued_at);
    coupons.Text(KindName(e.kind));
    coupons.Text(e.store);
    coupons.Text(e.device);
    coupons.Text(e.till >= 0 ? std::to_string(e.till) : std::string(), true);
    coupons.Text(e.cnpj);
    coupons.Text(e.total, true);
    coupons.Text(e.buyer, true);
    coupons.Text(e.cancels, true);
    coupons.Bytes(e.document);
    coupons.Row(&coupon_sql, kCouponCasts, kCouponParameters);
  }
  constexpr char kKeep[] = " ON CONFLICT DO NOTHING";
  if (!Exec("BEGIN", error)) return false;
  const bool ok = (coupons.empty() || coupons.Run(connection_, coupon_sql + kKeep,
                                                  "coupons_" + std::to_string(coupons.rows()),
                                                  &prepared_, error, &last_state_)) &&
                  (statuses.empty() || statuses.Run(connection_, status_sql + kKeep,
                                                    "status_" + std::to_string(statuses.rows()),
                                                    &prepared_, error, &last_state_));
  std::string ignored;
  if (!ok) return Exec("ROLLBACK", &ignored), false;
  return Exec("COMMIT", error);
}

bool Central::ForEachCoupon(const std::string& cnpj, const std::string& from, const std::string& to,
                            const std::function<bool(const std::string& xml)>& visit,
                            std::string* error) {
  const char* values[] = {cnpj.c_str(), from.c_str(), to.c_str()};
  // Row by row: a month of a chain's taxpayer does not fit in memory at once.
  if (PQsendQueryParams(connection_,
                        "SELECT xml FROM kovrad.coupons WHERE cnpj = $1 AND issued_at >= $2::date"
                        " AND issued_at < $3::date ORDER BY issued_at, access_key",
                        3, nullptr, values, nullptr, nullptr, 1) == 0 ||
      PQsetSingleRowMode(connection_) == 0) {
    *error = Trimmed(PQerrorMessage(connection_));
    return false;
  }
  bool ok = true, going = true;
  while (PGresult* row = PQgetResult(connection_)) {
    const Result r(row);
    const ExecStatusType status = PQresultStatus(row);
    if (status == PGRES_SINGLE_TUPLE && going) {
      going =
          visit(std::string(PQgetvalue(row, 0, 0), static_cast<size_t>(PQgetlength(row, 0, 0))));
    } else if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK) {
      *error = Trimmed(PQresultErrorMessage(row));
      ok = false;
    }
  }
  return ok;
}

}  // namespace kovrad::hub

namespace kovrad::hub {

int RunCentralCommand(const std::vector<std::string>& args) {
  constexpr char kUsage[] =
      "uso: kovrad-hub central preparar [--config ARQUIVO]\n"
      "     kovrad-hub central exportar --mes AAAA-MM --cnpj CNPJ --saida ARQUIVO.zip\n"
      "                                 [--config ARQUIVO]\n"
      "\n"
      "Cria ou atualiza o esquema do banco central da rede ([central] da configuração).\n"
      "Pode ser executado de novo: só aplica as versões que faltam. exportar grava o\n"
      "pacote do contador do mês para um CNPJ, com os cupons de todas as lojas.\n";
  if (args.size() >= 2 && args[1] == "exportar") return RunCentralExport(args);
  std::string path = "/etc/kovrad/kovrad-hub.toml";
  const bool with_config = args.size() == 4 && args[2] == "--config";
  if (args.size() < 2 || args[1] != "preparar" || (args.size() != 2 && !with_config)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (with_config) path = args[3];
  std::string error;
  const auto config = LoadConfig(path, &error);
  if (!config) {
    std::fprintf(stderr, "kovrad-hub: configuração: %s\n", error.c_str());
    return 2;
  }
  if (!config->central.enabled()) {
    std::fprintf(stderr, "kovrad-hub: %s não tem a seção [central]\n", path.c_str());
    return 2;
  }
  const auto central = Central::Connect(config->central, &error);
  std::vector<std::string> applied;
  if (!central || !central->Prepare(&applied, &error)) {
    std::fprintf(stderr, "kovrad-hub: banco central: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& step : applied) std::printf("aplicada a versão %s\n", step.c_str());
  std::printf("banco central na versão %d\n", LatestCentralVersion());
  return 0;
}

}  // namespace kovrad::hub
