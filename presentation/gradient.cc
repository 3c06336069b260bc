#include "presentation/gradient.h"

namespace brimwell {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  std::int64_t n = static_cast<std::int64_t>(a) * b;
  std::int64_t d = c;
  if (d < 0) {
    n = -n;
    d = -d;
  }
  // Round half away from zero: add half the divisor on the side of the sign.
  std::int64_t q = n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
  return static_cast<int>(q);
}

}  // namespace brimwell
