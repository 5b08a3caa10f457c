#pragma once

#include <stdexcept>
#include <string>

namespace quarn {

// A lookup that must succeed. The message is the system's own text, whatever the
// standard library would say, followed by what `describe()` says was looked up
// (called only on a miss), so a Python user learns which agent or type is wrong.
template <typename Map, typename Key, typename Describe>
auto CheckedAt(Map& map, const Key& key, Describe describe) -> decltype(map.find(key)->second)& {
  auto it = map.find(key);
  if (it == map.end()) {
    throw std::out_of_range(std::string("invalid unordered_map<K, T> key: ") + describe());
  }
  return it->second;
}

}  // namespace quarn
