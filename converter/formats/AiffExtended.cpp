#include "converter/formats/AiffExtended.h"

#include "converter/Bytes.h"

#include <cmath>

namespace sx {

void PutExtended(Bytes& Out, uint32_t Rate) {
  int E = 31;
  while (E > 0 && !(Rate >> E))
    --E;
  PutBE16(Out, Rate == 0 ? 0 : 16383 + E);
  uint64_t Mantissa = Rate == 0 ? 0 : uint64_t(Rate) << (63 - E);
  PutBE32(Out, static_cast<uint32_t>(Mantissa >> 32));
  PutBE32(Out, static_cast<uint32_t>(Mantissa));
}

uint32_t ReadExtended(const uint8_t* P) {
  int Exponent = ((P[0] & 0x7F) << 8 | P[1]) - 16383 - 63;
  uint64_t Mantissa = 0;
  for (int I = 2; I < 10; ++I)
    Mantissa = Mantissa << 8 | P[I];
  if ((P[0] & 0x80) || Mantissa == 0 || Exponent > -32 || Exponent < -95)
    return 0;
  double Value = std::ldexp(static_cast<double>(Mantissa), Exponent);
  return Value < 1 || Value > 4294967295.0 ? 0 : static_cast<uint32_t>(std::llround(Value));
}

} // namespace sx
