// The XML documents EnviarDadosVenda and CancelarUltimaVenda take: UTF-8,
// elements in the layout's order, no blanks between them, decimals with the
// layout's precision and text escaped. Write what Check() passed: the writer
// does not check.
#pragma once

#include <string>

#include "cfe/sale.h"

namespace kovrad::cfe {

std::string WriteXml(const Sale& sale);
std::string WriteXml(const Cancellation& cancellation);

}  // namespace kovrad::cfe
