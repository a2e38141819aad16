// The extrato as one list of blocks, independent of where it goes: every
// output (image, PDF, text, thermal printer) lays the same blocks out on its
// own number of columns.
#pragma once

#include <string>
#include <vector>

#include "coupon.h"

namespace kovrad::receipt {

struct Block {
  enum class Kind {
    kText,     // `text`, wrapped; centred when `centre`
    kRow,      // `text` on the left, `right` flush right on its last line
    kRule,     // a line of `text`'s one character across the width
    kBarcode,  // `text`: digits, as Code-128C
    kQrCode,   // `text`: the QR code's content
    kGap,      // an empty line
  };
  Kind kind = Kind::kText;
  std::string text;
  std::string right;
  bool bold = false;
  bool centre = false;
};

using Layout = std::vector<Block>;

Layout MakeLayout(const Coupon& coupon);

// A reprint's extrato: "SEGUNDA VIA" above everything else, so that the
// copy is never taken for the original.
void MarkSecondCopy(Layout* layout);

// The lines a text or row block takes on `columns` columns, padded for
// centring and for the right-hand part; a rule is one line. Columns count
// characters, not bytes.
std::vector<std::string> LayOut(const Block& block, int columns);

// Amounts as the buyer reads them: "1234.5" -> "1.234,50".
std::string Money(const std::string& decimal);

// UTF-8 characters in `text`.
int Width(const std::string& text);

}  // namespace kovrad::receipt
