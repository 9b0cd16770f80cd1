// Memo tables made byte by byte, the way other programs leave them: a .dbf
// with an ID (C 4) and a NOTE (M) field, one record per memo, and its .dbt
// with the memos laid out from block 1 in the dBASE IV or dBASE III style.
// Tests then cut or patch the .dbt to get the shape they need.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine_test_util.h"

namespace enginetest {

inline void put32le(std::vector<unsigned char>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

inline uint32_t get32le(const std::vector<unsigned char>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

struct MemoTableShape {
  uint8_t version = 0x8B;     // 0x83: dBASE III
  uint32_t blockSize = 512;   // dBASE IV only
  std::vector<std::string> memos;  // "" = no memo in that record
};

// Writes base.dbf and base.dbt; returns the .dbt bytes as written (header
// next-free word = the block after the last memo).
inline std::vector<unsigned char> writeMemoTable(const std::string& base, const MemoTableShape& s) {
  const bool iv = s.version != 0x83;
  const uint32_t bs = iv ? s.blockSize : 512;
  std::vector<unsigned char> dbt(bs, 0);
  if (iv) {
    std::memcpy(dbt.data() + 8, "FIXTURE", 7);
    dbt[18] = 0x02;
    dbt[19] = 0x01;
    dbt[20] = static_cast<unsigned char>(bs);
    dbt[21] = static_cast<unsigned char>(bs >> 8);
  } else {
    dbt[16] = 0x03;
  }
  std::vector<uint32_t> blocks;
  for (const std::string& m : s.memos) {
    if (m.empty()) {
      blocks.push_back(0);
      continue;
    }
    blocks.push_back(static_cast<uint32_t>(dbt.size() / bs));
    std::vector<unsigned char> body;
    if (iv) {
      body.assign(8, 0);
      put32le(body, 0, 0x0008FFFF);
      put32le(body, 4, static_cast<uint32_t>(m.size() + 8));
      body.insert(body.end(), m.begin(), m.end());
    } else {
      body.assign(m.begin(), m.end());
      body.push_back(0x1A);
      body.push_back(0x1A);
    }
    body.resize((body.size() + bs - 1) / bs * bs, 0);
    dbt.insert(dbt.end(), body.begin(), body.end());
  }
  put32le(dbt, 0, static_cast<uint32_t>(dbt.size() / bs));

  const uint16_t headerLen = 32 + 2 * 32 + 1, recLen = 1 + 4 + 10;
  std::vector<unsigned char> dbf(headerLen, 0);
  dbf[0] = s.version;
  dbf[1] = 124;
  dbf[2] = 5;
  dbf[3] = 17;
  put32le(dbf, 4, static_cast<uint32_t>(s.memos.size()));
  dbf[8] = headerLen & 0xFF;
  dbf[9] = headerLen >> 8;
  dbf[10] = recLen & 0xFF;
  dbf[11] = recLen >> 8;
  std::memcpy(dbf.data() + 32, "ID", 2);
  dbf[32 + 11] = 'C';
  dbf[32 + 16] = 4;
  std::memcpy(dbf.data() + 64, "NOTE", 4);
  dbf[64 + 11] = 'M';
  dbf[64 + 16] = 10;
  dbf[96] = 0x0D;
  for (size_t i = 0; i < s.memos.size(); ++i) {
    char rec[32];
    char ptr[11];
    if (blocks[i] == 0)
      std::snprintf(ptr, sizeof ptr, "%10s", "");
    else
      std::snprintf(ptr, sizeof ptr, iv ? "%010u" : "%10u", static_cast<unsigned>(blocks[i]));
    std::snprintf(rec, sizeof rec, " R%03u%s", static_cast<unsigned>(i + 1), ptr);
    dbf.insert(dbf.end(), rec, rec + recLen);
  }
  dbf.push_back(0x1A);
  writeBytes(base + ".dbf", dbf);
  writeBytes(base + ".dbt", dbt);
  return dbt;
}

}  // namespace enginetest
