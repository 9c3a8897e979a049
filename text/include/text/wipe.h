// Overwriting secrets (passwords, and the settings and buffers that held them) before their memory
// is given back or reused, in a way the compiler may not leave out as a dead store: explicit_bzero
// on glibc, SecureZeroMemory on Windows.
//
// A copy that is never wiped defeats the rest: keep a secret in as few buffers as possible. A
// short std::string keeps its characters inside the object itself, and moving it copies them and
// leaves them in the moved-from object; a string reserved beyond that inner buffer moves by
// pointer only.
#pragma once

#include <cstddef>
#include <tuple>

namespace text {

void Wipe(void* data, std::size_t bytes) noexcept;

// Zeroes every element of the container's storage, its spare capacity included, and empties it.
// The storage stays allocated (and zero) until the container reallocates or dies. For
// std::basic_string and std::vector of trivial elements.
template <class Container>
void WipeClear(Container& c) noexcept {
  c.resize(c.capacity());  // within the capacity: no allocation
  if (!c.empty()) Wipe(c.data(), c.size() * sizeof(c[0]));
  c.clear();
}

// Wipes the containers it is given when it goes out of scope, however the scope is left.
template <class... Containers>
class WipeOnExit {
 public:
  explicit WipeOnExit(Containers&... c) : c_(&c...) {}
  ~WipeOnExit() {
    std::apply([](auto*... c) { (WipeClear(*c), ...); }, c_);
  }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  std::tuple<Containers*...> c_;
};

}  // namespace text
