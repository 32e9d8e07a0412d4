// Input reading discipline: every export reads exactly the counted bytes.
// Inputs end at the very end of a readable page with an inaccessible page
// after it, and, separately, start right after their count at the very
// start of a page with an inaccessible page before it; a read past either
// edge faults.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "quillet/quillet.h"

namespace {

using Export = ByteString (*)(const ByteString*);

ByteString Password(const ByteString* data) {
  const std::int32_t first = 1, second = -1;
  return DoubleHashPassword(data, &first, &second);
}

const struct {
  const char* name;
  Export call;
} kExports[] = {{"StandardSHA", StandardSHA}, {"BrokenSHA", BrokenSHA},
                {"LockdownSHA", LockdownSHA}, {"MD5", MD5},
                {"DoubleHashPassword", Password}};

std::string Take(ByteString result) {
  std::string bytes(reinterpret_cast<const char*>(result), SysStringByteLen(result));
  SysFreeString(result);
  return bytes;
}

// Two pages, one of them made inaccessible.
class GuardedPages {
 public:
  explicit GuardedPages(bool guard_after) : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
    void* area = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                      -1, 0);
    if (area == MAP_FAILED) std::abort();
    base_ = static_cast<std::uint8_t*>(area);
    usable_ = guard_after ? base_ : base_ + page_;
    if (mprotect(guard_after ? base_ + page_ : base_, page_, PROT_NONE) != 0) std::abort();
  }
  ~GuardedPages() { munmap(base_, 2 * page_); }
  GuardedPages(const GuardedPages&) = delete;
  GuardedPages& operator=(const GuardedPages&) = delete;

  std::uint8_t* usable() const { return usable_; }
  std::size_t page() const { return page_; }

 private:
  std::size_t page_;
  std::uint8_t* base_;
  std::uint8_t* usable_;
};

void Place(std::uint8_t* count_at, const std::vector<std::uint8_t>& content) {
  // The count in the platform's byte order, as the allocator stores it.
  const auto length = static_cast<std::uint32_t>(content.size());
  std::memcpy(count_at, &length, sizeof length);
  if (!content.empty()) std::memcpy(count_at + 4, content.data(), content.size());
}

TEST(GuardPage, ContentEndsAtAnInaccessiblePage) {
  GuardedPages pages(/*guard_after=*/true);
  for (std::size_t length = 0; length <= 200; ++length) {
    std::vector<std::uint8_t> content(length);
    for (std::size_t i = 0; i < length; ++i) content[i] = static_cast<std::uint8_t>(i * 37 + 1);
    std::uint8_t* end = pages.usable() + pages.page();
    Place(end - length - 4, content);
    ByteString edge = reinterpret_cast<ByteString>(end - length);
    ByteString ordinary = SysAllocStringByteLen(reinterpret_cast<const char*>(content.data()),
                                                static_cast<unsigned>(length));
    for (const auto& e : kExports) {
      ASSERT_EQ(Take(e.call(&edge)), Take(e.call(&ordinary))) << e.name << ", " << length;
    }
    SysFreeString(ordinary);
  }
}

TEST(GuardPage, CountIsTheFirstReadableByte) {
  GuardedPages pages(/*guard_after=*/false);
  for (std::size_t length : {0u, 1u, 3u, 55u, 64u, 65u, 200u}) {
    std::vector<std::uint8_t> content(length, 0x5C);
    Place(pages.usable(), content);
    ByteString edge = reinterpret_cast<ByteString>(pages.usable() + 4);
    ByteString ordinary = SysAllocStringByteLen(reinterpret_cast<const char*>(content.data()),
                                                static_cast<unsigned>(length));
    for (const auto& e : kExports) {
      ASSERT_EQ(Take(e.call(&edge)), Take(e.call(&ordinary))) << e.name << ", " << length;
    }
    SysFreeString(ordinary);
  }
}

}  // namespace
