// The chain's central PostgreSQL: its schema, made and migrated in numbered
// steps, and the store's coupons and status snapshots written into it in
// batches. A coupon is taken once by its access key however often it is
// sent, so a batch sent again after an outage changes nothing.
#pragma once

#include <libpq-fe.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config.h"
#include "outbox.h"

namespace kovrad::hub {

class Central {
 public:
  // Connects as `config` says; nothing, with the reason, when the server
  // cannot be reached or refuses.
  static std::unique_ptr<Central> Connect(const CentralConfig& config, std::string* error);
  ~Central();
  Central(const Central&) = delete;
  Central& operator=(const Central&) = delete;

  // Brings the schema to the latest version; `applied` gets the steps
  // run now (none when it was up to date).
  bool Prepare(std::vector<std::string>* applied, std::string* error);
  // The schema's version; 0 when it was never prepared.
  int Version(std::string* error);

  // Writes `entries` in one transaction; what the central database had
  // already is left as it is. False, with the reason, when nothing was kept.
  bool Ship(const std::vector<OutboxEntry>& entries, std::string* error);

  // The XML of every coupon of issuer `cnpj` issued from `from` to before
  // `to` ("AAAA-MM-DD"), in order of issue, one row at a time; `visit`
  // returns false to stop. False, with the reason, when the query failed.
  bool ForEachCoupon(const std::string& cnpj, const std::string& from, const std::string& to,
                     const std::function<bool(const std::string& xml)>& visit, std::string* error);

  // Whether the last failure was the server refusing the data itself (a
  // constraint, a malformed value), which sending it again cannot mend.
  bool Refused() const;
  // Whether the connection still works.
  bool Healthy() const;

 private:
  explicit Central(PGconn* connection) : connection_(connection) {}
  bool Exec(const std::string& sql, std::string* error);
  bool EnsureMonth(const char* table, const std::string& timestamp, std::string* error);

  PGconn* connection_;
  std::set<std::string> months_;    // partitions known to exist: "table:AAAA-MM"
  std::set<std::string> prepared_;  // statements kept on the server, by name
  std::string last_state_;          // SQLSTATE of the last failure
};

// The highest schema version this hub knows.
int LatestCentralVersion();

// `kovrad-hub central preparar` and `exportar`: the exit status.
int RunCentralCommand(const std::vector<std::string>& args);
// `kovrad-hub central exportar` (central_export.cpp).
int RunCentralExport(const std::vector<std::string>& args);

}  // namespace kovrad::hub
