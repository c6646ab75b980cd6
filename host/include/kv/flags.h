// kvFlags<E>: the daemon's bit set over an enumeration, passed by value.
#pragma once

#include <type_traits>

template <typename E>
class kvFlags {
 public:
  using Bits = std::underlying_type_t<E>;

  constexpr kvFlags() : bits(0) {}
  constexpr kvFlags(E flag) : bits(static_cast<Bits>(flag)) {}  // NOLINT: implicit by design
  constexpr explicit kvFlags(Bits value, int /*raw*/) : bits(value) {}

  static constexpr kvFlags FromBits(Bits value) { return kvFlags(value, 0); }

  constexpr Bits Value() const { return bits; }
  constexpr bool Test(E flag) const { return (bits & static_cast<Bits>(flag)) != 0; }
  constexpr bool operator==(kvFlags other) const { return bits == other.bits; }
  constexpr bool operator!=(kvFlags other) const { return bits != other.bits; }
  constexpr kvFlags operator|(kvFlags other) const { return FromBits(bits | other.bits); }
  constexpr kvFlags& operator|=(kvFlags other) {
    bits = static_cast<Bits>(bits | other.bits);
    return *this;
  }

 private:
  Bits bits;
};
