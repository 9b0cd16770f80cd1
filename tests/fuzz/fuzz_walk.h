// fuzz_walk.h - one fuzz input = a table's file set (.dbf, .dbt, .mdx) in a
// small container; the walk writes the files into a folder and reads every
// record, field, memo and tag through the engine's C API.
//
// Container: byte 0 flags, bytes 1-4 .dbf length, 5-8 .dbt length (little
// endian), then the .dbf bytes, the .dbt bytes, and the rest is the .mdx.
// Lengths past the end are cut; an input shorter than 9 bytes is all .dbf.
// A part of length 0 is not written, so a missing file is a case too.
#ifndef TALVEX_TESTS_FUZZ_FUZZ_WALK_H
#define TALVEX_TESTS_FUZZ_FUZZ_WALK_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace talvex::fuzz {

enum FuzzFlags : unsigned {
  kOpenIndex = 1,     // open the production index and walk its tags
  kChangeTable = 2,   // append, assign, delete, reindex, check, pack
};

struct FuzzFiles {
  unsigned flags = 0;
  std::string dbf, dbt, mdx;
};

FuzzFiles SplitInput(const std::uint8_t *data, std::size_t size);
std::string PackInput(const FuzzFiles &files);

struct WalkResult {
  bool opened = false;
  int records = 0;  // records visited in physical order
  int tags = 0;     // tags walked
  int keys = 0;     // tag entries visited over all tags
  size_t checksum = 0;  // sum over the values read
  std::string problem;  // non-empty: the engine misbehaved without crashing
};

// A private folder for the walk's files, removed on destruction.
class FuzzFolder {
 public:
  FuzzFolder();
  ~FuzzFolder();
  FuzzFolder(const FuzzFolder &) = delete;
  FuzzFolder &operator=(const FuzzFolder &) = delete;
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

// allow_index false ignores the .mdx part and the index flag.
WalkResult WalkFiles(const FuzzFiles &files, const FuzzFolder &folder, bool allow_index);

}  // namespace talvex::fuzz

#endif
