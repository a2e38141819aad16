// The extrato's machine-readable marks as grids of modules: the QR code
// (libqrencode) and the access key's Code-128C barcode (zint).
#pragma once

#include <string>
#include <vector>

namespace kovrad::receipt {

struct Modules {
  int width = 0, height = 0;
  std::vector<bool> dark;  // row by row
  bool At(int x, int y) const { return dark[static_cast<size_t>(y) * width + x]; }
};

// Level M error correction, as point-of-sale readers expect.
bool QrModules(const std::string& content, Modules* modules, std::string* error);

// One row of bars (height 1), without quiet zones.
bool BarcodeModules(const std::string& digits, Modules* modules, std::string* error);

// The parts of a key printed as separate barcodes where one does not fit in
// `dots`: the whole key, or its two halves.
std::vector<std::string> BarcodeParts(const std::string& digits, int dots, int module_dots);

}  // namespace kovrad::receipt
