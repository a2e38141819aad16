// Prints docs/functions.md from satcli's table of functions.
#include <iostream>

#include "reference.h"

int main() {
  std::cout << kovrad::cli::FunctionReference();
  return 0;
}
