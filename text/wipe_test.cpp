#include "text/wipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace text {
namespace {

// The storage a container had before the wipe: still its own afterwards, and all zero over the
// whole capacity.
template <class Container>
void ExpectWiped(Container& c, const void* data, std::size_t capacity) {
  EXPECT_TRUE(c.empty());
  ASSERT_EQ(static_cast<const void*>(c.data()), data) << "the storage was given back unwiped";
  ASSERT_EQ(c.capacity(), capacity);
  const auto* bytes = static_cast<const unsigned char*>(data);
  const std::size_t n = capacity * sizeof(c[0]);
  EXPECT_EQ(std::count(bytes, bytes + n, 0), static_cast<std::ptrdiff_t>(n));
}

TEST(Wipe, ClearsTheWholeCapacityOfEachKindOfBuffer) {
  std::string inner = "Pw 9";  // in the object's own buffer
  std::string heap(40, 'p');
  heap.resize(10);  // spare capacity that held the secret too
  std::u16string wide = u"Secret password, wide";
  std::vector<unsigned short> units(30, 0x50);
  const void* const data[] = {inner.data(), heap.data(), wide.data(), units.data()};
  const std::size_t capacity[] = {inner.capacity(), heap.capacity(), wide.capacity(),
                                  units.capacity()};
  WipeClear(inner);
  WipeClear(heap);
  WipeClear(wide);
  WipeClear(units);
  ExpectWiped(inner, data[0], capacity[0]);
  ExpectWiped(heap, data[1], capacity[1]);
  ExpectWiped(wide, data[2], capacity[2]);
  ExpectWiped(units, data[3], capacity[3]);
}

TEST(Wipe, OnExitWipesHoweverTheScopeIsLeft) {
  std::string a(32, 'a');
  std::u16string b(32, u'b');
  const void* const da = a.data();
  const void* const db = b.data();
  const std::size_t ca = a.capacity(), cb = b.capacity();
  try {
    WipeOnExit wipe(a, b);
    throw 1;
  } catch (int) {
  }
  ExpectWiped(a, da, ca);
  ExpectWiped(b, db, cb);
}

}  // namespace
}  // namespace text
