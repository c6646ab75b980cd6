// CheckAbiRecord: the magic, then each little-endian field of the record, in order.
#include "tools/player/abi_record.h"

#include <cstdio>
#include <cstring>

#include "tools/constants.h"

namespace replay {

namespace {

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08x", value);
  return text;
}

struct Field {
  size_t offset;
  const char* name;
  uint32_t expected;
  bool hex;
};

constexpr Field kFields[] = {
    {4, "length", kAbiLength, false},
    {8, "interface level", kAbiInterfaceLevel, false},
    {12, "date stamp", kAbiDateStamp, true},
    {16, "field at offset 16", kAbiFixed16, false},
    {20, "field at offset 20", kAbiFixed20, false},
    {24, "field at offset 24", kAbiFixed24, false},
    {28, "field at offset 28", kAbiFixed28, false},
};

}  // namespace

std::string CheckAbiRecord(const uint8_t* record, size_t size) {
  if (size != kAbiRecordSize) {
    return "the record is " + std::to_string(size) + " bytes long, expected " +
           std::to_string(kAbiRecordSize);
  }
  if (std::memcmp(record, kAbiMagic, sizeof(kAbiMagic)) != 0) {
    return "the magic is not \"BAPK\"";
  }
  for (const Field& field : kFields) {
    const uint32_t value = ReadLittleEndian32(record + field.offset);
    if (value != field.expected) {
      const std::string shown = field.hex ? Hex(value) : std::to_string(value);
      const std::string wanted = field.hex ? Hex(field.expected) : std::to_string(field.expected);
      return std::string("the ") + field.name + " is " + shown + ", expected " + wanted;
    }
  }
  return std::string();
}

}  // namespace replay
