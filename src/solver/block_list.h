#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

namespace quarn {

// An ordered set kept in short sorted blocks: the same order, uniqueness and
// iteration as std::set with the same comparator, but an element costs its own
// size plus a little slack instead of a tree node, and neighbours share cache
// lines. Elements equivalent under `Less` are one key: inserting a second one
// does nothing. Blocks split in halves above `kMaxBlock` elements; an emptied
// block is dropped. Small blocks suit lists that change mostly at the front.
template <typename T, typename Less, size_t kMaxBlock = 64>
class BlockList {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = const T&;

    const_iterator() = default;
    reference operator*() const { return (*blocks_)[block_][index_]; }
    pointer operator->() const { return &(*blocks_)[block_][index_]; }
    const_iterator& operator++() {
      if (++index_ == (*blocks_)[block_].size()) {
        ++block_;
        index_ = 0;
      }
      return *this;
    }
    bool operator==(const const_iterator& other) const {
      return block_ == other.block_ && index_ == other.index_;
    }
    bool operator!=(const const_iterator& other) const { return !(*this == other); }

   private:
    friend class BlockList;
    const_iterator(const std::vector<std::vector<T>>* blocks, size_t block, size_t index)
        : blocks_(blocks), block_(block), index_(index) {}

    const std::vector<std::vector<T>>* blocks_ = nullptr;
    size_t block_ = 0;
    size_t index_ = 0;
  };

  explicit BlockList(Less less = Less()) : less_(std::move(less)) {}

  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  const T& front() const { return blocks_.front().front(); }
  const_iterator begin() const { return const_iterator(&blocks_, 0, 0); }
  const_iterator end() const { return const_iterator(&blocks_, blocks_.size(), 0); }

  void clear() {
    blocks_.clear();
    lasts_.clear();
    size_ = 0;
    slots_ = 0;
  }

  // False when an equivalent element is already present.
  bool insert(const T& value) {
    if (blocks_.empty()) {
      blocks_.emplace_back(1, value);
      lasts_.push_back(value);
      size_ = 1;
      slots_ = blocks_.back().capacity();
      return true;
    }
    // The first block whose last element is not below the value, or the last block.
    size_t b = BlockFor(value);
    if (b == blocks_.size()) b = blocks_.size() - 1;
    std::vector<T>& block = blocks_[b];
    auto at = std::lower_bound(block.begin(), block.end(), value, less_);
    if (at != block.end() && !less_(value, *at)) return false;
    const size_t before = block.capacity();
    block.insert(at, value);
    slots_ += block.capacity() - before;
    lasts_[b] = block.back();
    ++size_;
    if (block.size() > kMaxBlock) Split(b);
    return true;
  }

  // Removes the element equivalent to `value`; 1 when there was one.
  size_t erase(const T& value) {
    const size_t b = BlockFor(value);
    if (b == blocks_.size()) return 0;
    std::vector<T>& block = blocks_[b];
    auto at = std::lower_bound(block.begin(), block.end(), value, less_);
    if (at == block.end() || less_(value, *at)) return 0;
    EraseAt(b, static_cast<size_t>(at - block.begin()));
    return 1;
  }

  void pop_front() { EraseAt(0, 0); }

  // The first element that `value` is below.
  const_iterator upper_bound(const T& value) const {
    size_t b = 0;
    size_t lo = 0;
    size_t hi = lasts_.size();
    while (lo < hi) {  // the first block whose last element lies above the value
      const size_t mid = (lo + hi) / 2;
      if (less_(value, lasts_[mid])) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    b = lo;
    if (b == blocks_.size()) return end();
    const std::vector<T>& block = blocks_[b];
    auto at = std::upper_bound(block.begin(), block.end(), value, less_);
    return const_iterator(&blocks_, b, static_cast<size_t>(at - block.begin()));
  }

  // Removes every element from `first` to the end.
  void erase_to_end(const_iterator first) {
    if (first == end()) return;
    size_t keep_blocks = first.block_;
    if (first.index_ > 0) {
      std::vector<T>& block = blocks_[first.block_];
      size_ -= block.size() - first.index_;
      block.resize(first.index_);
      lasts_[first.block_] = block.back();
      ++keep_blocks;
    }
    for (size_t b = keep_blocks; b < blocks_.size(); ++b) {
      size_ -= blocks_[b].size();
      slots_ -= blocks_[b].capacity();
    }
    blocks_.resize(keep_blocks);
    lasts_.resize(keep_blocks);
  }

  // Removes every element for which pred is true, keeping the order of the rest.
  template <typename Pred>
  void erase_if(Pred pred) {
    size_t kept = 0;
    for (size_t b = 0; b < blocks_.size(); ++b) {
      std::vector<T>& block = blocks_[b];
      size_ -= block.size();
      block.erase(std::remove_if(block.begin(), block.end(), pred), block.end());
      size_ += block.size();
      if (block.empty()) {
        slots_ -= block.capacity();
        continue;
      }
      if (kept != b) blocks_[kept] = std::move(block);
      lasts_[kept] = blocks_[kept].back();
      ++kept;
    }
    blocks_.resize(kept);
    lasts_.resize(kept);
  }

  // Bytes held: element slots of every block and the two block indexes.
  uint64_t bytes() const {
    return slots_ * sizeof(T) + blocks_.capacity() * sizeof(std::vector<T>) +
           lasts_.capacity() * sizeof(T);
  }

 private:
  // The first block whose last element is not below `value`; blocks_.size() when none.
  size_t BlockFor(const T& value) const {
    return static_cast<size_t>(
        std::lower_bound(lasts_.begin(), lasts_.end(), value, less_) - lasts_.begin());
  }

  void EraseAt(size_t b, size_t index) {
    std::vector<T>& block = blocks_[b];
    block.erase(block.begin() + static_cast<std::ptrdiff_t>(index));
    --size_;
    if (block.empty()) {
      slots_ -= block.capacity();
      blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
      lasts_.erase(lasts_.begin() + static_cast<std::ptrdiff_t>(b));
    } else {
      lasts_[b] = block.back();
    }
  }

  void Split(size_t b) {
    std::vector<T>& block = blocks_[b];
    const auto half = static_cast<std::ptrdiff_t>(block.size() / 2);
    std::vector<T> upper(block.begin() + half, block.end());
    block.resize(static_cast<size_t>(half));
    slots_ += upper.capacity();
    lasts_[b] = block.back();
    lasts_.insert(lasts_.begin() + static_cast<std::ptrdiff_t>(b) + 1, upper.back());
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(upper));
  }

  Less less_;
  std::vector<std::vector<T>> blocks_;
  std::vector<T> lasts_;  // the last element of each block, searched before any block
  size_t size_ = 0;
  uint64_t slots_ = 0;  // element capacity of all blocks together
};

}  // namespace quarn
