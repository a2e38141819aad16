#include "receipt.h"

namespace kovrad::receipt {

std::string RenderText(const Layout& layout, int columns) {
  std::string text;
  for (const Block& block : layout) {
    if (block.kind == Block::Kind::kBarcode || block.kind == Block::Kind::kQrCode) continue;
    for (const std::string& line : LayOut(block, columns)) {
      text += line.substr(0, line.find_last_not_of(' ') + 1);
      text += '\n';
    }
  }
  return text;
}

}  // namespace kovrad::receipt
