#pragma once

#include <stdexcept>

namespace quarn {

// A lookup that must succeed. The message is the system's own, whatever the
// standard library would say, so callers (and Python users) see one stable text.
template <typename Map, typename Key>
auto CheckedAt(Map& map, const Key& key) -> decltype(map.find(key)->second)& {
  auto it = map.find(key);
  if (it == map.end()) throw std::out_of_range("invalid unordered_map<K, T> key");
  return it->second;
}

}  // namespace quarn
