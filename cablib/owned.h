// Owning text and an owning chain for the library, which is built without
// C++ exceptions and without the C++ runtime's containers: every step that
// allocates says whether it could, so that an export can give its failure
// value when memory runs out. Every block the library allocates for itself
// comes from reallocate() on the C heap; objects are made with create<T>().
#ifndef VORNEX_OWNED_H
#define VORNEX_OWNED_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vornex {

// The allocation seam: when it is not negative, this many more allocations
// succeed, the next one fails and the later ones succeed again (the tests'
// fault injection; the DLL never sets it).
extern long g_allocations_left;

// realloc, or null when the seam says no.
inline void* reallocate(void* block, std::size_t size) {
  if (g_allocations_left >= 0 && g_allocations_left-- == 0) return nullptr;
  return std::realloc(block, size ? size : 1);
}

// A new T on the C heap, or null when no memory was left.
template <typename T, typename... Args>
T* create(Args&&... args) {
  void* block = reallocate(nullptr, sizeof(T));
  return block ? new (block) T(static_cast<Args&&>(args)...) : nullptr;
}

// Destroys an object made by create (nothing for null).
template <typename T>
void destroy(T* object) {
  if (!object) return;
  object->~T();
  std::free(object);
}

// A byte string on the C heap, always NUL-terminated once anything was
// stored. Appending returns false (the text as it was) when no memory is left.
class Text {
 public:
  Text() = default;
  ~Text() { std::free(data_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  bool append(const char* bytes, std::size_t count) {
    if (count > SIZE_MAX - size_ - 1) return false;
    // The bytes may lie inside this text, which the growth below can move.
    std::size_t inside = data_ && bytes >= data_ && bytes <= data_ + size_
                             ? static_cast<std::size_t>(bytes - data_) : SIZE_MAX;
    if (!reserve(size_ + count + 1)) return false;
    if (inside != SIZE_MAX) bytes = data_ + inside;
    if (count) std::memmove(data_ + size_, bytes, count);
    size_ += count;
    data_[size_] = '\0';
    return true;
  }
  bool append(const char* s) { return append(s ? s : "", s ? std::strlen(s) : 0); }
  bool append(char c) { return append(&c, 1); }
  bool append(const Text& t) { return append(t.c_str(), t.size()); }
  bool assign(const char* bytes, std::size_t count) {
    if (data_ && bytes >= data_ && bytes <= data_ + size_) {  // a part of itself
      std::memmove(data_, bytes, count);
      size_ = count;
      data_[size_] = '\0';
      return true;
    }
    clear();
    return append(bytes, count);
  }
  bool assign(const char* s) { return assign(s ? s : "", s ? std::strlen(s) : 0); }
  void clear() { truncate(0); }
  void truncate(std::size_t count) {
    if (count >= size_) return;
    size_ = count;
    data_[size_] = '\0';
  }

  const char* c_str() const { return data_ ? data_ : ""; }
  // Writable bytes for the engine's char* arguments; null while empty.
  char* data() { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  bool equals(const char* s) const { return s && std::strcmp(c_str(), s) == 0; }

 private:
  bool reserve(std::size_t needed) {
    if (needed <= capacity_) return true;
    std::size_t grown = capacity_ < 32 ? 32 : capacity_;
    while (grown < needed) grown = grown > SIZE_MAX / 2 ? needed : grown * 2;
    void* moved = reallocate(data_, grown);
    if (!moved) return false;
    data_ = static_cast<char*>(moved);
    capacity_ = grown;
    return true;
  }

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// A singly linked list that owns its nodes; a node type T has a member
// `T* next`. Linking never allocates: the caller makes the node first.
template <typename T>
class Chain {
 public:
  Chain() = default;
  ~Chain() { clear(); }
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;

  void push_back(T* node) {
    node->next = nullptr;
    if (tail_) tail_->next = node;
    else head_ = node;
    tail_ = node;
  }
  T* first() const { return head_; }
  // Takes `node` out of the chain and hands it to the caller.
  T* unlink(T* node) {
    T* before = nullptr;
    for (T* n = head_; n; before = n, n = n->next) {
      if (n != node) continue;
      (before ? before->next : head_) = n->next;
      if (tail_ == n) tail_ = before;
      n->next = nullptr;
      return n;
    }
    return nullptr;
  }
  void clear() {
    while (head_) {
      T* next = head_->next;
      destroy(head_);
      head_ = next;
    }
    tail_ = nullptr;
  }

 private:
  T* head_ = nullptr;
  T* tail_ = nullptr;
};

}  // namespace vornex

#endif  // VORNEX_OWNED_H
