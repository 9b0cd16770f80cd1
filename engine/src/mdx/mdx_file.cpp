// Opening, validating and creating .mdx files; the tag table and tag headers.
#include "mdx_file.h"

#include <cstring>
#include <functional>
#include <set>

#include "platform/file_io.h"
#include "../local_date.h"
#include "mdx_tag.h"
#include "page_store.h"
#include "tag_tree.h"
#include "platform/ascii_text.h"

namespace talvex::engine::mdx {

using namespace format;

namespace {

using ascii::upper;

// Text of a NUL-terminated field; *terminated false when no NUL is inside.
std::string fieldText(const uint8_t* p, size_t max, bool* terminated) {
  size_t n = 0;
  while (n < max && p[n] != 0) ++n;
  if (terminated) *terminated = n < max;
  return std::string(reinterpret_cast<const char*>(p), n);
}

Status validateDef(const TagDef& d) {
  if (d.name.empty() || d.name.size() > kMaxTagNameLength)
    return Status::invalid("tag name '" + d.name + "' must have 1 to 10 characters");
  for (char c : d.name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return Status::invalid("tag name '" + d.name + "' may hold only letters, digits and _");
  }
  if (d.expression.empty() || d.expression.size() > kMaxExpressionLength)
    return Status::invalid("tag " + d.name + ": key expression must have 1 to 219 characters");
  if (d.filter.size() > kMaxExpressionLength)
    return Status::invalid("tag " + d.name + ": FOR expression longer than 219 characters");
  switch (d.type) {
    case KeyType::Character:
      if (d.keyLength < 1 || d.keyLength > kMaxCharKeyLength)
        return Status::invalid("tag " + d.name + ": character key length " +
                               std::to_string(d.keyLength) + " is not 1 to 100");
      break;
    case KeyType::Numeric:
      if (d.keyLength != kNumericKeyLength)
        return Status::invalid("tag " + d.name + ": numeric keys are 12 bytes");
      break;
    case KeyType::Date:
      if (d.keyLength != kDateKeyLength)
        return Status::invalid("tag " + d.name + ": date keys are 8 bytes");
      break;
    default:
      return Status::invalid("tag " + d.name + ": key type must be C, N or D");
  }
  return Status::ok();
}

uint16_t itemLengthFor(uint32_t keyLength) { return uint16_t((keyLength + 4 + 3) / 4 * 4); }

void putDate(uint8_t* p, int y, int m, int d) {
  p[0] = uint8_t(y % 100);
  p[1] = uint8_t(m);
  p[2] = uint8_t(d);
}

// Slot threads: a binary search tree on the names, inserted in slot order.
void buildNameTree(uint8_t* header, const std::vector<std::string>& names) {
  for (size_t i = 1; i < names.size(); ++i) {
    size_t at = 0;
    for (;;) {
      uint8_t* slot = header + kFirstSlot + kSlotLength * at;
      bool left = names[i] < names[at];
      uint8_t& link = slot[left ? kSlotLeft : kSlotRight];
      if (link == 0) {
        link = uint8_t(i + 1);
        header[kFirstSlot + kSlotLength * i + kSlotParent] = uint8_t(at + 1);
        break;
      }
      at = size_t(link - 1);
    }
  }
  header[kTagTreeRootByte] = names.empty() ? 0 : 1;
}

}  // namespace

MdxFile::MdxFile() : store_(new PageStore) {}

MdxFile::~MdxFile() {
  if (store_->updateDepth > 0) {
    store_->updateDepth = 1;
    (void)endUpdate();
  }
  (void)flushHeld();  // owners flush first, where a failure can be reported
  store_->unlock();
}

size_t MdxFile::tagCount() const { return tags_.size(); }
Tag& MdxFile::tag(size_t i) { return *tags_.at(i); }
void MdxFile::setTrusted(bool t) {
  store_->trusted = t;
  ++store_->epoch;  // check every tag once more before trusting the cache
}
bool MdxFile::trusted() const { return store_->trusted; }
uint32_t MdxFile::pagesPerBlock() const { return store_->pagesPerBlock; }
uint32_t MdxFile::freeBlockCount() const { return store_->freeCount; }
const std::string& MdxFile::path() const { return store_->path; }

Tag* MdxFile::findTag(std::string_view name) {
  std::string want = upper(name);
  for (auto& t : tags_)
    if (upper(t->def_.name) == want) return t.get();
  return nullptr;
}

std::unique_ptr<MdxFile> MdxFile::open(std::string_view path, const OpenOptions& options,
                                       Status* status) {
  std::unique_ptr<MdxFile> f(new MdxFile);
  PageStore& s = *f->store_;
  std::string err;
  s.file = platform::File::open(path, options.readOnly ? platform::OpenMode::ReadOnly
                                                       : platform::OpenMode::ReadWrite,
                                &err);
  s.path = std::string(path);
  if (!s.file) {
    *status = Status::io("cannot open " + std::string(path) + ": " + err);
    return nullptr;
  }
  s.readOnly = options.readOnly;
  s.lockWaitMs = options.lockWaitMs;
  s.definitionsOnly = options.definitionsOnly;
  Status st = f->parse();
  if (!st) {
    *status = st;
    return nullptr;
  }
  *status = Status::ok();
  return f;
}

Status MdxFile::readDefinitions(std::string_view path, std::vector<TagDef>* defs,
                                CreateOptions* options) {
  Status st;
  OpenOptions lenient;
  lenient.readOnly = true;
  lenient.definitionsOnly = true;
  auto f = open(path, lenient, &st);
  if (!f) return st;
  defs->clear();
  for (auto& t : f->tags_) defs->push_back(t->def_);
  if (options) {
    bool term = false;
    options->dataName = fieldText(f->store_->header + kHdrName, 16, &term);
    options->languageDriver = f->store_->header[kHdrLanguage];
  }
  return Status::ok();
}

Status MdxFile::parse() {
  PageStore& s = *store_;
  if (s.definitionsOnly) return parseHeaders();
  // Under the index lock: a writer elsewhere may be growing the file, and a
  // page count read before its split with a root read after it would make a
  // sound index look damaged.
  Status st = s.lock(false);
  if (!st) return st;
  st = parseHeaders();
  s.unlock();
  return st;
}

Status MdxFile::parseHeaders() {
  PageStore& s = *store_;
  std::vector<std::unique_ptr<Tag>>* tags = &tags_;
  uint64_t size = 0;
  if (!s.file->size(&size)) return Status::io("cannot size " + s.path + ": " + s.file->lastError());
  if (size < kHeaderBytes)
    return Status::corrupt(s.path + " is not an .mdx index: only " + std::to_string(size) + " bytes");
  Status st = s.readRaw(0, s.header, kHeaderBytes);
  if (!st) return st;
  const uint8_t* h = s.header;
  if (h[kHdrVersion] != 2)
    return Status::corrupt(s.path + ": unsupported .mdx version " + std::to_string(h[kHdrVersion]));
  uint32_t ppb = get16(h + kHdrPagesPerBlock), bytes = get16(h + kHdrBlockBytes);
  if (ppb < 1 || ppb > 63 || bytes != ppb * kPageBytes)
    return Status::corrupt(s.path + ": block size " + std::to_string(bytes) + " / " +
                           std::to_string(ppb) + " pages is not valid");
  if (h[kHdrSlotLength] != kSlotLength)
    return Status::corrupt(s.path + ": tag slots of " + std::to_string(h[kHdrSlotLength]) +
                           " bytes are not supported");
  uint32_t inUse = get16(h + kHdrTagsInUse);
  if (inUse > kMaxTags || (h[kHdrSlots] != 0 && inUse + 1 > h[kHdrSlots]))
    return Status::corrupt(s.path + ": " + std::to_string(inUse) + " tags in use is not valid");
  s.pagesPerBlock = ppb;
  s.blockBytes = bytes;
  st = s.reloadHeaderFields();
  if (!st) return st;
  if (!s.definitionsOnly && s.freeHead != 0 && !s.validBlock(s.freeHead))
    return Status::corrupt(s.path + ": free list starts at page " + std::to_string(s.freeHead) +
                           " outside the file");

  std::set<uint32_t> headerPages;
  std::set<std::string> names;
  for (uint32_t i = 0; i < inUse; ++i) {
    const uint8_t* slot = h + kFirstSlot + kSlotLength * i;
    std::unique_ptr<Tag> t(new Tag);
    t->file_ = this;
    t->slot_ = i + 1;
    bool term = false;
    t->def_.name = fieldText(slot + kSlotName, 11, &term);
    if (!term || t->def_.name.empty())
      return Status::corrupt(s.path + ": tag slot " + std::to_string(i + 1) + " has no valid name");
    t->headerPage_ = get32(slot + kSlotHeaderPage);
    if (!s.validBlock(t->headerPage_))
      return Status::corrupt(s.path + ": tag " + t->def_.name + " header page " +
                             std::to_string(t->headerPage_) + " is outside the file");
    if (!headerPages.insert(t->headerPage_).second)
      return Status::corrupt(s.path + ": two tags share header page " +
                             std::to_string(t->headerPage_));
    st = TagTree::loadHeader(*t);
    if (!st) return st;
    if (!names.insert(upper(t->def_.name)).second)
      return Status::corrupt(s.path + ": tag name " + t->def_.name + " appears twice");
    tags->push_back(std::move(t));
  }
  return Status::ok();
}

Status TagTree::loadHeader(Tag& t) {
  PageStore& s = store(t);
  uint8_t* h = nullptr;
  Status st = s.block(t.headerPage_, &h, "tag header");
  if (!st) return st;
  const std::string where = s.path + ": tag " + t.def_.name;
  char type = char(h[kTagType]);
  if (type != 'C' && type != 'N' && type != 'D')
    return Status::corrupt(where + " has key type " + std::to_string(int(uint8_t(type))));
  t.def_.type = KeyType(type);
  t.def_.keyLength = get16(h + kTagKeyLength);
  uint32_t kl = t.def_.keyLength;
  bool lengthOk = (type == 'C' && kl >= 1 && kl <= kMaxCharKeyLength) ||
                  (type == 'N' && kl == kNumericKeyLength) || (type == 'D' && kl == kDateKeyLength);
  if (!lengthOk) return Status::corrupt(where + " has key length " + std::to_string(kl));
  t.itemLength_ = get16(h + kTagItemLength);
  t.maxKeys_ = get16(h + kTagMaxKeys);
  if (t.itemLength_ < kl + 4 || t.itemLength_ > s.blockBytes)
    return Status::corrupt(where + " has item length " + std::to_string(t.itemLength_));
  if (t.maxKeys_ < 2 || kNodeItems + uint64_t(t.maxKeys_) * t.itemLength_ + 4 > s.blockBytes)
    return Status::corrupt(where + " allows " + std::to_string(t.maxKeys_) +
                           " keys per node, which do not fit a block");
  bool term = false;
  t.def_.expression = fieldText(h + kTagExpression, kExpressionField, &term);
  if (!term || t.def_.expression.empty())
    return Status::corrupt(where + " has no valid key expression");
  t.def_.filter.clear();
  if (h[kTagHasFilter] != 0 && kTagFilter + kExpressionField <= s.blockBytes) {
    t.def_.filter = fieldText(h + kTagFilter, kExpressionField, &term);
    if (!term) return Status::corrupt(where + " has an unterminated FOR expression");
  }
  t.formatFlags_ = h[kTagFlags];
  t.def_.descending = (h[kTagFlags] & kFlagDescending) != 0;
  t.def_.unique = (h[kTagFlags] & kFlagUnique) != 0 || h[kTagUniqueByte] != 0;
  t.root_ = get32(h + kTagRoot);
  t.pagesUsed_ = get32(h + kTagPagesUsed);
  t.counter_ = h[kTagCounter];
  if (s.definitionsOnly) return Status::ok();
  if (!s.validBlock(t.root_))
    return Status::corrupt(where + " root page " + std::to_string(t.root_) + " is outside the file");
  if (t.root_ == t.headerPage_) return Status::corrupt(where + " root is its own header page");
  std::memcpy(t.watched_, h, kTagWatchedBytes);
  return Status::ok();
}

std::unique_ptr<MdxFile> MdxFile::create(std::string_view path, const CreateOptions& options,
                                         const std::vector<TagDef>& defs, Status* status,
                                         const OpenOptions& openOptions) {
  if (defs.empty() || defs.size() > kMaxTags) {
    *status = Status::invalid("an .mdx holds 1 to 47 tags, not " + std::to_string(defs.size()));
    return nullptr;
  }
  std::vector<std::string> names;
  for (const TagDef& d : defs) {
    Status st = validateDef(d);
    if (!st) {
      *status = st;
      return nullptr;
    }
    names.push_back(upper(d.name));
    for (size_t i = 0; i + 1 < names.size(); ++i)
      if (names[i] == names.back()) {
        *status = Status::invalid("tag name " + names.back() + " appears twice");
        return nullptr;
      }
  }
  int y = options.year, m = options.month, d = options.day;
  if (y == 0) {
    const LocalDate today = localToday();
    y = today.year;
    m = today.month;
    d = today.day;
  }
  const uint32_t ppb = kDefaultPagesPerBlock, blockBytes = ppb * kPageBytes;
  const uint32_t pages = kHeaderPages + uint32_t(defs.size()) * 2 * ppb;
  std::vector<uint8_t> img(size_t(pages) * kPageBytes, 0);
  uint8_t* h = img.data();
  h[kHdrVersion] = 2;
  putDate(h + kHdrCreated, y, m, d);
  std::string base = upper(options.dataName).substr(0, 16);
  std::memcpy(h + kHdrName, base.data(), base.size());
  put16(h + kHdrPagesPerBlock, ppb);
  put16(h + kHdrBlockBytes, blockBytes);
  h[kHdrProduction] = 1;
  h[kHdrSlots] = uint8_t(kSlotCount);
  h[kHdrSlotLength] = uint8_t(kSlotLength);
  put16(h + kHdrTagsInUse, uint32_t(defs.size()));
  h[kHdrLanguage] = options.languageDriver;
  put32(h + kHdrPageCount, pages);
  putDate(h + kHdrUpdated, y, m, d);
  for (size_t i = 0; i < defs.size(); ++i) {
    const TagDef& def = defs[i];
    uint32_t headerPage = kHeaderPages + uint32_t(i) * 2 * ppb, root = headerPage + ppb;
    uint8_t* slot = h + kFirstSlot + kSlotLength * i;
    put32(slot + kSlotHeaderPage, headerPage);
    std::memcpy(slot + kSlotName, names[i].data(), names[i].size());
    slot[kSlotFormat] = kFlagAlways;
    slot[kSlotMagic] = 0x02;
    slot[kSlotType] = uint8_t(def.type);
    uint8_t* t = img.data() + size_t(headerPage) * kPageBytes;
    uint16_t item = itemLengthFor(def.keyLength);
    put32(t + kTagRoot, root);
    put32(t + kTagPagesUsed, ppb);
    t[kTagFlags] = uint8_t(kFlagAlways | (def.descending ? kFlagDescending : 0) |
                           (def.unique ? kFlagUnique : 0));
    t[kTagType] = uint8_t(def.type);
    t[kTagLanguage] = options.languageDriver;
    put16(t + kTagKeyLength, def.keyLength);
    put16(t + kTagMaxKeys, (blockBytes - 12) / item);
    put16(t + kTagSecondaryType, def.type == KeyType::Date ? 1 : 0);
    put16(t + kTagItemLength, item);
    t[kTagCounter] = 2;
    t[kTagUniqueByte] = def.unique ? 1 : 0;
    std::memcpy(t + kTagExpression, def.expression.data(), def.expression.size());
    if (!def.filter.empty()) {
      t[kTagHasFilter] = 1;
      std::memcpy(t + kTagFilter, def.filter.data(), def.filter.size());
    }
    put32(t + kTagFirstNode, root);
    put32(t + kTagRootCopy, root);
    putDate(t + kTagDate, y, m, d);
    put16(t + kTagFieldCount, 1);
  }
  buildNameTree(h, names);

  std::string err;
  auto file = platform::File::open(path, platform::OpenMode::CreateTruncate, &err);
  if (!file) {
    *status = Status::io("cannot create " + std::string(path) + ": " + err);
    return nullptr;
  }
  if (!file->writeAt(0, img.data(), img.size())) {
    *status = Status::io("cannot write " + std::string(path) + ": " + file->lastError());
    return nullptr;
  }
  file.reset();
  OpenOptions o = openOptions;
  o.readOnly = false;
  return open(path, o, status);
}

Status MdxFile::beginUpdate() {
  PageStore& s = *store_;
  if (s.updateDepth > 0) {
    ++s.updateDepth;
    return Status::ok();
  }
  if (s.readOnly) return Status::invalid(s.path + " is open read-only");
  Status st = s.lock(true);
  if (!st) return st;
  if (!s.trusted) ++s.epoch;
  s.updateFailed = false;
  s.updateDepth = 1;
  // Held deny-write, nobody else can have moved the page count or free list
  // since our last scope (a failed scope re-reads them itself).
  if (!s.trusted || s.headerEpoch != s.epoch) {
    st = s.reloadHeaderFields();
    if (st) s.headerEpoch = s.epoch;
  }
  for (size_t i = 0; st && i < tags_.size(); ++i) st = TagTree::freshen(*tags_[i]);
  if (!st) {
    s.updateDepth = 0;
    s.dropAll();
    s.unlock();
  }
  return st;
}

Status MdxFile::endUpdate() {
  PageStore& s = *store_;
  if (s.updateDepth == 0) return Status::invalid("endUpdate without beginUpdate");
  if (--s.updateDepth > 0) return Status::ok();
  Status st;
  if (!s.updateFailed) {
    for (auto& t : tags_) {
      if (!t->touched_) continue;
      uint8_t* h = nullptr;
      st = s.block(t->headerPage_, &h, "tag header");
      if (!st) break;
      t->counter_ = uint8_t(t->counter_ + 1);
      h[kTagCounter] = t->counter_;
      s.markDirty(t->headerPage_);
      std::memcpy(t->watched_, h, kTagWatchedBytes);
    }
    if (st && s.anyDirty() && !(holdPages_ && s.trusted)) st = s.flush();
  }
  if (s.updateFailed && st) st = s.failure;
  if (s.updateFailed || !st) forgetChanges();
  for (auto& t : tags_) t->touched_ = false;
  s.updateFailed = false;
  s.unlock();
  return st;
}

void MdxFile::forgetChanges() {
  // Nothing reached the file before the flush: forget the changes and
  // re-read the headers, so this object matches the file again.
  PageStore& s = *store_;
  s.dropAll();
  s.headerEpoch = ~uint64_t(0);
  Status r = s.reloadHeaderFields();
  for (auto& t : tags_)
    if (r) r = TagTree::loadHeader(*t);
  for (auto& t : tags_) ++t->version_;
}

void MdxFile::setHoldPages(bool hold) { holdPages_ = hold; }
bool MdxFile::hasHeldPages() const { return store_->updateDepth == 0 && store_->anyDirty(); }
size_t MdxFile::heldPageCount() const { return store_->dirtyCount(); }

Status MdxFile::flushHeld() {
  PageStore& s = *store_;
  if (!hasHeldPages()) return Status::ok();
  Status st = s.lock(true);
  if (!st) return st;
  st = s.flush();
  if (!st) forgetChanges();
  s.unlock();
  return st;
}

}  // namespace talvex::engine::mdx
