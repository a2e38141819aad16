// What a process sees of the library before anything else has run: the first
// two session numbers and the decoded document, printed on one line.
#include <cstdio>

#include "kovrad.h"

int main() {
  const int32_t first = GeraNumeroSessao();
  const int32_t second = GeraNumeroSessao();
  std::printf("%d %d \"%s\"\n", first, second, Base64ToAscii());
  return 0;
}
