#include "report.h"

#include <cstdio>
#include <cstring>

#include "client/link_error.h"
#include "client/reply_line.h"
#include "client/text.h"
#include "command_line.h"

namespace kovrad::cli {
namespace {

using client::DecodeReply;
using client::SplitFields;

// The name of a link error code ("__TIMEOUT__"); empty for other codes.
std::string_view LinkErrorName(int32_t code) {
  const char* name = client::LinkErrorName(code);
  return name != nullptr ? name : std::string_view();
}

// The record's message, read no further than its field.
std::string RecordMessage(const COMM_ERROR& record) {
  return DecodeReply(std::string_view(record.msg, strnlen(record.msg, sizeof record.msg)));
}

std::string JsonRecord(const COMM_ERROR& record) {
  const std::string_view name = LinkErrorName(record.code);
  return "{\"code\":" + std::to_string(record.code) +
         ",\"nome\":" + (name.empty() ? std::string("null") : JsonString(name)) +
         ",\"msg\":" + JsonString(RecordMessage(record)) + "}";
}

// The reply a report stands for: a lost sale's stored reply when the device
// had one, otherwise the reply of the call.
const std::string& ReplyText(const Report& report) {
  const bool stored = report.recovery && !report.recovery->reply.empty();
  return stored ? report.recovery->reply : report.outcome.text;
}

std::string JsonFields(const Report& report) {
  const std::vector<std::string> fields = SplitFields(DecodeReply(ReplyText(report)));
  // A session's stored reply has the layout of the function that made it.
  const client::Function* layout_of = report.function->sat;
  if (layout_of->passes_through && fields.size() >= 2) {
    if (const client::Function* stored = client::FunctionOfResult(fields[1])) layout_of = stored;
  }
  const std::vector<std::string_view> names = client::FieldNames(layout_of->layout);
  std::string json = "{";
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string name =
        i < names.size() ? std::string(names[i]) : "campo" + std::to_string(i + 1);
    json += (i > 0 ? "," : "") + JsonString(name) + ":" + JsonString(fields[i]);
  }
  return json + "}";
}

}  // namespace

Status Judge(const Report& report) {
  const Outcome& outcome = report.outcome;
  if (!outcome.called) return Status::kLinkError;
  if (!report.function->IsSatFunction()) return outcome.status.value_or(Status::kSuccess);
  if (report.recovery) {
    switch (report.recovery->fate) {
      case SaleFate::kMade:
        return Status::kSuccess;
      case SaleFate::kRefused:
        return Status::kRefused;
      case SaleFate::kNotMade:
        return Status::kNotMade;
      case SaleFate::kUnknown:
        return Status::kUnknown;
    }
  }
  if (!report.record || report.record->code != __NOERROR__) return Status::kLinkError;
  if (FromOtherSession(report)) return Status::kOtherSession;
  const std::vector<std::string> fields = SplitFields(outcome.text);
  const bool success = fields.size() >= 2 && client::Succeeded(*report.function->sat, fields[1]);
  return success ? Status::kSuccess : Status::kRefused;
}

bool FromOtherSession(const Report& report) {
  if (report.function->PassesThrough() && !report.looked_up) return false;
  const std::vector<std::string> fields = SplitFields(report.outcome.text);
  if (fields.empty()) return false;
  int64_t number = 0;
  if (!ParseNumber(fields[0], INT32_MIN, INT32_MAX, &number)) return false;
  return number != report.session && (!report.looked_up || number != *report.looked_up);
}

std::string_view FateText(SaleFate fate) {
  switch (fate) {
    case SaleFate::kMade:
      return "made";
    case SaleFate::kRefused:
      return "refused";
    case SaleFate::kNotMade:
      return "not made";
    case SaleFate::kUnknown:
      return "unknown";
  }
  return {};
}

std::string_view FateName(SaleFate fate) {
  switch (fate) {
    case SaleFate::kMade:
      return "feita";
    case SaleFate::kRefused:
      return "recusada";
    case SaleFate::kNotMade:
      return "nao feita";
    case SaleFate::kUnknown:
      return "desconhecida";
  }
  return {};
}

std::string PlainReport(const Report& report) {
  std::string text;
  const Outcome& outcome = report.outcome;
  if (outcome.has_result && !outcome.null) {
    const std::string result = DecodeReply(outcome.text);
    text += result + (result.ends_with('\n') ? "" : "\n");
  }
  if (report.record) {
    const std::string_view name = LinkErrorName(report.record->code);
    text += "CodigoErro: " + std::to_string(report.record->code);
    if (!name.empty()) text += " (" + std::string(name) + ")";
    text += "\n";
    const std::string message = RecordMessage(*report.record);
    if (!message.empty()) text += message + (message.ends_with('\n') ? "" : "\n");
  }
  if (report.recovery) {
    text += "Recuperada: " + std::string(FateText(report.recovery->fate)) + "\n";
    if (!report.recovery->reply.empty()) text += DecodeReply(report.recovery->reply) + "\n";
  }
  return text;
}

std::string JsonReport(const Report& report) {
  const Outcome& outcome = report.outcome;
  std::string json = "{\"funcao\":" + JsonString(report.function->name);
  if (report.function->IsSatFunction()) {
    json += ",\"numeroSessao\":" + std::to_string(report.session) +
            ",\"resposta\":" + JsonString(DecodeReply(ReplyText(report))) +
            ",\"campos\":" + JsonFields(report);
    if (const auto& r = report.recovery) {
      json += ",\"recuperacao\":{\"resultado\":" + JsonString(FateName(r->fate)) +
              ",\"consultas\":" + std::to_string(r->attempts) +
              ",\"respostaOriginal\":" + JsonString(DecodeReply(outcome.text)) +
              ",\"motivo\":" + (r->reason.empty() ? "null" : JsonString(DecodeReply(r->reason))) +
              "}";
    }
  } else if (outcome.has_result) {
    json += ",\"resultado\":";
    if (outcome.null) {
      json += "null";
    } else {
      json += outcome.numeric ? outcome.text : JsonString(DecodeReply(outcome.text));
    }
  }
  if (report.record) json += ",\"CodigoErro\":" + JsonRecord(*report.record);
  if (!report.diagnosis.empty()) json += ",\"diagnostico\":" + JsonString(report.diagnosis);
  return json + "}\n";
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        json += "\\\"";
        break;
      case '\\':
        json += "\\\\";
        break;
      case '\n':
        json += "\\n";
        break;
      case '\r':
        json += "\\r";
        break;
      case '\t':
        json += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          json += escaped;
        } else {
          json += c;
        }
    }
  }
  return json + "\"";
}

}  // namespace kovrad::cli
