// Tests of the kv_plugin_abi record check: the accepted record, then each field wrong in turn.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "tools/abi_record.h"

namespace {

using Record = std::array<uint8_t, 32>;

Record GoodRecord() {
  return {'B',  'A',  'P',  'K',  0x20, 0x00, 0x00, 0x00, 0x19, 0x00, 0x00,
          0x00, 0x09, 0x03, 0x23, 0x20, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x60, 0x0b, 0x00, 0x00, 0x48, 0x00, 0x00, 0x00};
}

std::string Check(const Record& record) {
  return replay::CheckAbiRecord(record.data(), 32);
}

TEST(AbiRecord, AcceptsTheDaemonsRecord) {
  EXPECT_EQ(Check(GoodRecord()), "");
}

TEST(AbiRecord, RefusesARecordOfAnotherSize) {
  const Record record = GoodRecord();
  EXPECT_EQ(replay::CheckAbiRecord(record.data(), 4), "the record is 4 bytes long, expected 32");
  EXPECT_EQ(replay::CheckAbiRecord(record.data(), 40), "the record is 40 bytes long, expected 32");
}

TEST(AbiRecord, RefusesAnotherMagic) {
  Record record = GoodRecord();
  record[3] = 'X';
  EXPECT_EQ(Check(record), "the magic is not \"BAPK\"");
}

TEST(AbiRecord, NamesEachWrongFieldWithItsValue) {
  struct Case {
    size_t offset;
    uint8_t byte;
    const char* message;
  };
  const Case cases[] = {
      {4, 0x21, "the length is 33, expected 32"},
      {8, 0x18, "the interface level is 24, expected 25"},
      {12, 0x08, "the date stamp is 0x20230308, expected 0x20230309"},
      {16, 0x02, "the field at offset 16 is 2, expected 1"},
      {20, 0x01, "the field at offset 20 is 1, expected 0"},
      {24, 0x61, "the field at offset 24 is 2913, expected 2912"},
      {28, 0x49, "the field at offset 28 is 73, expected 72"},
  };
  for (const Case& c : cases) {
    Record record = GoodRecord();
    record[c.offset] = c.byte;
    EXPECT_EQ(Check(record), c.message) << "offset " << c.offset;
  }
}

TEST(AbiRecord, ReadsFieldsLittleEndian) {
  // 25 written big-endian is 0x19000000 read little-endian.
  Record record = GoodRecord();
  record[8] = 0x00;
  record[11] = 0x19;
  EXPECT_EQ(Check(record), "the interface level is 419430400, expected 25");
}

}  // namespace
