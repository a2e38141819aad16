// Settling a sale whose reply was lost: which outcomes call for a lookup, and
// what each stored reply the device hands back means.
#include <gtest/gtest.h>

#include <QByteArray>
#include <deque>

#include "client/recovery.h"
#include "kovrad.h"

namespace kovrad::client {
namespace {

std::string Base64(std::string_view text) {
  return QByteArray::fromStdString(std::string(text)).toBase64().toStdString();
}

const std::string kCoupon = "<?xml version=\"1.0\"?><CFe><infCFe Id=\"CFe1\"/></CFe>";
const std::string kMadeSale =
    "004242|06000|0000|Emitido com sucesso|||" + Base64(kCoupon) + "|20240315103000|CFe1|1.00||x";

// Answers the lookups in turn and remembers what was asked.
struct ScriptedLookup {
  explicit ScriptedLookup(std::initializer_list<LookupReply> replies) : answers(replies) {}
  std::deque<LookupReply> answers;
  std::vector<std::pair<int32_t, int32_t>> asked;
  SessionLookup Get() {
    return [this](int32_t session, int32_t looked_up) {
      asked.emplace_back(session, looked_up);
      LookupReply next = answers.front();
      if (answers.size() > 1) answers.pop_front();
      return next;
    };
  }
};

LookupReply Line(std::string reply, int32_t code = __NOERROR__) {
  return {true, std::move(reply), code};
}

Recovery Recover(ScriptedLookup& lookup, std::string_view function = "EnviarDadosVenda") {
  int32_t next = 100;
  return RecoverSale(
      function, 4242, [&next] { return next++; }, lookup.Get(), kRecoveryAttempts, 0);
}

TEST(SaleRecovery, OnlyALostSaleReplyCallsForALookup) {
  EXPECT_TRUE(OutcomeUncertain("EnviarDadosVenda", 4242, __TIMEOUT__, "004242|9999|Timeout"));
  EXPECT_TRUE(OutcomeUncertain("CancelarUltimaVenda", 4242, __SEMCTS__, "004242|9999|x"));
  // Cut short: no result code, another session's line, a success without its coupon.
  EXPECT_TRUE(OutcomeUncertain("EnviarDadosVenda", 4242, __NOERROR__, ""));
  EXPECT_TRUE(OutcomeUncertain("EnviarDadosVenda", 4242, __NOERROR__, "000001|06000|0000|x|||"));
  EXPECT_TRUE(OutcomeUncertain("EnviarDadosVenda", 4242, __NOERROR__, "004242|06000|0000|x|||"));

  EXPECT_FALSE(OutcomeUncertain("EnviarDadosVenda", 4242, __NOERROR__, kMadeSale));
  EXPECT_FALSE(OutcomeUncertain("EnviarDadosVenda", 4242, __NOERROR__, "004242|06001|0000|x|||"));
  // The port never opened: nothing was sent.
  EXPECT_FALSE(OutcomeUncertain("EnviarDadosVenda", 4242, __NOCONNECT__, "Erro"));
  EXPECT_FALSE(OutcomeUncertain("BloquearSAT", 4242, __TIMEOUT__, "004242|9999|Timeout"));
}

TEST(SaleRecovery, TheStoredReplySettlesTheFate) {
  ScriptedLookup made{Line(kMadeSale)};
  Recovery found = Recover(made);
  EXPECT_EQ(found.fate, SaleFate::kMade);
  EXPECT_EQ(found.coupon, kCoupon);
  EXPECT_EQ(found.reply, kMadeSale);
  // Each lookup carries a fresh session number of its own.
  ASSERT_EQ(made.asked.size(), 1u);
  EXPECT_EQ(made.asked[0], std::make_pair(100, 4242));

  ScriptedLookup refused{Line("004242|06001|0000|Codigo de ativacao invalido|||")};
  EXPECT_EQ(Recover(refused).fate, SaleFate::kRefused);
  ScriptedLookup absent{Line("000100|11003|Sessao nao existe||")};
  EXPECT_EQ(Recover(absent).fate, SaleFate::kNotMade);

  // The session number was used by another function: nothing can be said.
  ScriptedLookup other{Line("004242|08000|SAT em operacao||")};
  EXPECT_EQ(Recover(other).fate, SaleFate::kUnknown);
  ScriptedLookup cancelled{Line("004242|07000|0000|Cancelado|||" + Base64("<CFeCanc/></CFeCanc>"))};
  EXPECT_EQ(Recover(cancelled).fate, SaleFate::kUnknown);
  EXPECT_EQ(Recover(cancelled, "CancelarUltimaVenda").fate, SaleFate::kMade);
}

TEST(SaleRecovery, AsksAgainABoundedNumberOfTimes) {
  ScriptedLookup late{Line("000100|9999|Timeout", __TIMEOUT__), Line("000101|11098|Ocupado||"),
                      Line(kMadeSale)};
  EXPECT_EQ(Recover(late).fate, SaleFate::kMade);
  EXPECT_EQ(late.asked.size(), 3u);

  ScriptedLookup silent{Line("000100|9999|Timeout", __TIMEOUT__)};
  const Recovery unknown = Recover(silent);
  EXPECT_EQ(unknown.fate, SaleFate::kUnknown);
  EXPECT_EQ(silent.asked.size(), static_cast<size_t>(kRecoveryAttempts));
  EXPECT_FALSE(unknown.reason.empty());

  // A made sale whose coupon never reads whole is still made.
  ScriptedLookup garbled{Line("004242|06000|0000|x|||%%%|")};
  const Recovery made = Recover(garbled);
  EXPECT_EQ(made.fate, SaleFate::kMade);
  EXPECT_TRUE(made.coupon.empty());
}

}  // namespace
}  // namespace kovrad::client
