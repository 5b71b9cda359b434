// Writer and repairer round trip over an I/O table kept in memory, built
// for both platforms: under Wine it runs the i686 code velmora.exe links.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "par2.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Store = std::map<std::string, Bytes>;

// Files in a map; an output lands in the map only when kept.
struct MemoryIo {
  Store files;
  struct Handle {
    std::string name;
    Bytes data;
    size_t pos;
  };
  static MemoryIo& self(void* c) { return *static_cast<MemoryIo*>(c); }
  par2::Io table() {
    par2::Io io;
    io.context = this;
    io.open_read = [](void* c, const char* name) -> void* {
      auto f = self(c).files.find(name);
      return f == self(c).files.end() ? nullptr : new Handle{name, f->second, 0};
    };
    io.read = [](void*, void* h, void* buffer, size_t length) -> int64_t {
      Handle& f = *static_cast<Handle*>(h);
      size_t n = f.pos >= f.data.size() ? 0 : std::min(length, f.data.size() - f.pos);
      std::copy(f.data.begin() + f.pos, f.data.begin() + f.pos + n, static_cast<unsigned char*>(buffer));
      f.pos += n;
      return static_cast<int64_t>(n);
    };
    io.seek = [](void*, void* h, uint64_t offset) {
      static_cast<Handle*>(h)->pos = static_cast<size_t>(offset);
      return 0;
    };
    io.close_read = [](void*, void* h) { delete static_cast<Handle*>(h); };
    io.open_write = [](void*, const char* name) -> void* { return new Handle{name, {}, 0}; };
    io.write = [](void*, void* h, const void* data, size_t length) {
      const unsigned char* p = static_cast<const unsigned char*>(data);
      static_cast<Handle*>(h)->data.insert(static_cast<Handle*>(h)->data.end(), p, p + length);
      return 0;
    };
    io.close_write = [](void* c, void* h, int keep) {
      Handle* f = static_cast<Handle*>(h);
      if (keep) self(c).files[f->name] = f->data;
      delete f;
      return 0;
    };
    io.message = nullptr;
    return io;
  }
};

// Six pieces, three volumes: every count of lost pieces from none to four,
// the first piece always among them, the others deleted or damaged in turn.
TEST(MemoryRoundTrip, AnyThreeLostPiecesComeBackAndFourAreRefused) {
  std::mt19937 rng(3);
  Store pieces;
  std::vector<std::string> names;
  for (int i = 0; i < 6; ++i) {
    names.push_back("set." + std::to_string(i));
    Bytes b(i == 5 ? 777 : 4001 + i * 2);
    for (auto& c : b) c = static_cast<unsigned char>(rng());
    pieces[names.back()] = b;
  }
  MemoryIo written;
  written.files = pieces;
  par2::Writer w;
  ASSERT_EQ(w.start(names, 3), par2::Result::ok);
  for (int pass = 0; pass < 2; ++pass) {
    for (uint32_t i = 0; i < names.size(); ++i) {
      const Bytes& b = pieces[names[i]];
      for (size_t at = 0; at < b.size(); at += 1001) {
        size_t n = std::min<size_t>(1001, b.size() - at);
        ASSERT_EQ(pass ? w.encode(i, b.data() + at, n) : w.hash(i, b.data() + at, n), par2::Result::ok);
      }
    }
    ASSERT_EQ(pass ? w.end_encoding() : w.end_hashing(), par2::Result::ok);
  }
  std::vector<std::string> par2_names{"set.par2"};
  ASSERT_EQ(w.write_index(written.table(), "set.par2"), par2::Result::ok);
  for (uint32_t e = 0; e < 3; ++e) {
    par2_names.push_back(par2::Writer::volume_name("set", e, 3));
    ASSERT_EQ(w.write_volume(written.table(), par2_names.back(), e), par2::Result::ok);
  }
  for (uint32_t lost = 0; lost <= 4; ++lost) {
    SCOPED_TRACE(lost);
    MemoryIo io;
    io.files = written.files;
    for (uint32_t k = 0; k < lost; ++k) {
      if (k % 2 == 0) io.files.erase(names[k]);
      else io.files[names[k]][100] ^= 0xFF;
    }
    const Store before = io.files;
    par2::Repairer r(io.table());
    ASSERT_EQ(r.load(par2_names), par2::Result::ok);
    par2::Result checked = r.check();
    EXPECT_EQ(r.missing_slices(), lost);
    if (lost > 3) {
      EXPECT_EQ(checked, par2::Result::not_enough_recovery);
      EXPECT_EQ(r.more_needed(), lost - 3);
      EXPECT_EQ(r.repair(), par2::Result::not_enough_recovery);
      EXPECT_TRUE(io.files == before);
      continue;
    }
    ASSERT_EQ(checked, par2::Result::ok);
    ASSERT_EQ(r.repair(), par2::Result::ok) << r.error_text();
    for (const auto& p : pieces) EXPECT_TRUE(io.files[p.first] == p.second) << p.first;
  }
}

}  // namespace
