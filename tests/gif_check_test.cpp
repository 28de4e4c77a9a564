#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gif_check.h"

namespace {

// A GIF with a 4-entry global table (or none), one picture of the given
// LZW codes at code size 2 (clear 4, end 5) packed lowest bit first, with
// sizes growing as a decoder's would.
std::string MakeGif(const std::vector<int>& codes, bool table, int localEntries = 0) {
  std::string g = "GIF89a";
  g += std::string("\x04\x00\x01\x00", 4);  // 4 x 1
  g += (char)(table ? 0x81 : 0x00);          // global table of 2 << 1 = 4 entries
  g += std::string("\x00\x00", 2);
  if (table) g += std::string(12, '\x7f');
  g += std::string("\x21\xf9\x04\x00\x00\x00\x00\x00", 8);  // an extension to skip
  g += std::string("\x2c\x00\x00\x00\x00\x04\x00\x01\x00\x00", 10);
  if (localEntries) {
    g.back() = (char)(0x80 | (localEntries == 2 ? 0 : 1));
    g += std::string((size_t)localEntries * 3, '\x10');
  }
  g += '\x02';
  std::string data;
  uint32_t bits = 0;
  int count = 0, size = 3, next = 6;
  bool previous = false;
  for (int code : codes) {
    bits |= (uint32_t)code << count;
    count += size;
    while (count >= 8) {
      data += (char)(bits & 0xFF);
      bits >>= 8;
      count -= 8;
    }
    if (code == 4) {
      size = 3, next = 6, previous = false;
    } else if (code != 5) {
      if (previous && next < 4096 && ++next == (1 << size) && size < 12) size++;
      previous = true;
    }
  }
  if (count) data += (char)(bits & 0xFF);
  for (size_t at = 0; at < data.size(); at += 255) {
    std::string block = data.substr(at, 255);
    g += (char)block.size();
    g += block;
  }
  g += '\0';
  g += ';';
  return g;
}

bool Damaged(const std::string& gif, size_t pieceSize) {
  GifCheck check;
  GifCheckStart(&check);
  for (size_t at = 0; at < gif.size(); at += pieceSize)
    GifCheckFeed(&check, (const uint8_t*)gif.data() + at, std::min(pieceSize, gif.size() - at));
  return GifCheckDamaged(&check);
}

TEST(GifCheck, Verdicts) {
  struct Case {
    const char* what;
    std::string gif;
    bool damaged;
  } cases[] = {
      {"plain pixels", MakeGif({4, 0, 1, 2, 3, 5}, true), false},
      // 6 is the entry being made from the previous code: valid.
      {"entry made by this code", MakeGif({4, 1, 6, 5}, true), false},
      {"code two beyond the table", MakeGif({4, 1, 7, 5}, true), true},
      {"a table code right after a clear", MakeGif({4, 6, 5}, true), true},
      {"no table: any index goes", MakeGif({4, 3, 2, 5}, false), false},
      {"index past a 2-entry local table", MakeGif({4, 0, 3, 5}, true, 2), true},
      {"indices inside a 2-entry local table", MakeGif({4, 0, 1, 5}, true, 2), false},
      {"cut short: no verdict from what is missing", MakeGif({4, 0, 1, 2, 3, 5}, true).substr(0, 40), false},
      {"not a picture at all", std::string("GIF89a") + std::string(200, '\xff'), false},
      {"empty", std::string(), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Damaged(c.gif, c.gif.size() + 1), c.damaged) << c.what;
    EXPECT_EQ(Damaged(c.gif, 1), c.damaged) << c.what << ", fed a byte at a time";
  }
}

TEST(GifCheck, LongStreamsGrowTheirCodes) {
  // Enough codes to pass 3, 4 ... 12 bits and fill the table: all valid.
  std::vector<int> codes = {4};
  for (int i = 0; i < 5000; i++) codes.push_back(i % 4);
  codes.push_back(5);
  EXPECT_FALSE(Damaged(MakeGif(codes, true), 7));
}

}  // namespace
