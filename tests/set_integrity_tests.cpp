// The checksum arithmetic and the integrity record of a split set.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crc32.h"
#include "set_integrity.h"
#include "test_support.h"

namespace {

using namespace splitset;

const Crc32Table& table() {
  static Crc32Table* t = [] {
    auto* made = new Crc32Table;
    crc32_init(*made);
    return made;
  }();
  return *t;
}

uint32_t crc_of(const std::string& bytes) { return crc32_update(table(), 0, bytes.data(), bytes.size()); }

TEST(Crc32, KnownValuesAndPiecewiseUpdate) {
  EXPECT_EQ(crc_of(""), 0u);
  EXPECT_EQ(crc_of("123456789"), 0xCBF43926u);
  EXPECT_EQ(crc_of("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  // Any cut of the data, also one that is not a multiple of eight, agrees.
  std::string data = testing_support::pattern_bytes(5003, 7);
  for (size_t cut : {0u, 1u, 7u, 8u, 2048u, 5002u}) {
    uint32_t a = crc32_update(table(), 0, data.data(), cut);
    EXPECT_EQ(crc32_update(table(), a, data.data() + cut, data.size() - cut), crc_of(data)) << cut;
    // And the combination of the two halves' own CRCs gives the same.
    uint32_t b = crc_of(data.substr(cut));
    EXPECT_EQ(crc32_combine(a, b, data.size() - cut), crc_of(data)) << cut;
  }
  // A long second part: every bit of its length takes part.
  std::string zeros(3 * 1024 * 1024 + 5, '\0');
  EXPECT_EQ(crc32_combine(crc_of(data), crc_of(zeros), zeros.size()), crc_of(data + zeros));
}

SplitHeader header_named(const char* name) {
  SplitHeader header;
  std::memset(&header, 0, sizeof header);
  std::strcpy(header.file_name, name);
  header.payload_size = 123456;
  header.piece_count = 4;
  header.compressed = 1;
  return header;
}

TEST(IntegrityRecord, SealedHeaderReadsBackAndEveryMeaningfulByteIsGuarded) {
  SplitHeader header = header_named("report.doc");
  IntegrityRecord record{};
  record.piece_count = 4;
  record.payload_length = 123456;
  record.payload_crc = 0xDEADBEEF;
  ASSERT_TRUE(put_integrity(table(), header, record));
  EXPECT_EQ(std::memcmp(reinterpret_cast<char*>(&header) + 232, "VRXC", 4), 0);
  IntegrityRecord read{};
  ASSERT_EQ(get_integrity(table(), header, read), Integrity::kSound);
  EXPECT_EQ(read.payload_crc, 0xDEADBEEFu);

  // One bit flipped in any field a reader acts on is caught.
  const size_t guarded[] = {0, 3, 4, 13, 264, 267, 268, 232 + 12, 232 + 16, 232 + 20, 232 + 28};
  for (size_t at : guarded) {
    SplitHeader damaged = header;
    reinterpret_cast<unsigned char*>(&damaged)[at] ^= 0x10;
    EXPECT_EQ(get_integrity(table(), damaged, read), Integrity::kDamaged) << at;
  }
  // Bytes between the name's zero and the record carry nothing.
  SplitHeader loose = header;
  reinterpret_cast<unsigned char*>(&loose)[100] ^= 0xFF;
  EXPECT_EQ(get_integrity(table(), loose, read), Integrity::kSound);
}

TEST(IntegrityRecord, NoRecordWhereTheNameLeavesNoRoomOrNoneWasWritten) {
  std::string longest(kIntegrityMaxNameLength, 'n');
  std::string too_long(kIntegrityMaxNameLength + 1, 'n');
  SplitHeader fits = header_named(longest.c_str()), no_room = header_named(too_long.c_str());
  IntegrityRecord record{}, read{};
  EXPECT_TRUE(put_integrity(table(), fits, record));
  EXPECT_EQ(get_integrity(table(), fits, read), Integrity::kSound);
  EXPECT_FALSE(put_integrity(table(), no_room, record));
  EXPECT_EQ(std::string(no_room.file_name), too_long);
  EXPECT_EQ(get_integrity(table(), no_room, read), Integrity::kNone);
  SplitHeader old = header_named("old.bin");
  EXPECT_EQ(get_integrity(table(), old, read), Integrity::kNone);
}

TEST(ChecksumFile, LinesAreWrittenAndFoundByNameWithoutRegardToCase) {
  char line[64];
  EXPECT_EQ(sfv_line(line, "reportVRAX.000", 0x0A1B2C3D), 25u);
  EXPECT_STREQ(line, "reportVRAX.000 0A1B2C3D\r\n");
  std::string text = "; made by velmora\r\n\r\nreportVRAX.exe 11111111\r\nmy file VRAX.000  2222aaaa\n"
                     "bad line\nshort 1234\nreportVRAX.001 00000003";
  struct Case {
    const char* name;
    bool found;
    uint32_t crc;
  } cases[] = {{"REPORTvrax.EXE", true, 0x11111111}, {"my file VRAX.000", true, 0x2222AAAA},
               {"reportVRAX.001", true, 3},          {"reportVRAX.00", false, 0},
               {"short", false, 0},                  {"bad", false, 0}};
  for (const Case& c : cases) {
    uint32_t crc = 0xdeadbeef;
    EXPECT_EQ(sfv_find(text.data(), text.size(), c.name, crc), c.found) << c.name;
    if (c.found) EXPECT_EQ(crc, c.crc) << c.name;
  }
}

}  // namespace
