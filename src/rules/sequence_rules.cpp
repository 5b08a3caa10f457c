#include "rules/sequence_rules.h"

#include <numeric>
#include <stdexcept>

namespace quarn {
namespace {

const char* KindText(PairKind kind) {
  switch (kind) {
    case PairKind::kSame:
      return " (same agent)";
    case PairKind::kDiff:
      return " (different agents)";
    case PairKind::kPlain:
      break;
  }
  return "";
}

std::string IdOf(int32_t v, const std::vector<uint32_t>& ids) {
  return v >= 0 && static_cast<size_t>(v) < ids.size() ? std::to_string(ids[static_cast<size_t>(v)])
                                                       : std::to_string(v);
}

}  // namespace

void SequenceRules::Set(size_t num_nodes, const std::vector<IndexPair>& pairs) {
  num_nodes_ = num_nodes;
  pairs_.clear();
  for (const IndexPair& pair : pairs) {
    if (pair.before < 0 || pair.after < 0 || Idx(pair.before) >= num_nodes || Idx(pair.after) >= num_nodes) {
      continue;
    }
    pairs_.push_back(pair);
  }
  first_.assign(num_nodes + 1, 0);
  for (const IndexPair& pair : pairs_) {
    ++first_[Idx(pair.before) + 1];
    if (pair.after != pair.before) ++first_[Idx(pair.after) + 1];
  }
  std::partial_sum(first_.begin(), first_.end(), first_.begin());
  of_.assign(static_cast<size_t>(first_.back()), 0);
  std::vector<int32_t> fill(first_.begin(), first_.end() - 1);
  for (size_t k = 0; k < pairs_.size(); ++k) {
    of_[static_cast<size_t>(fill[Idx(pairs_[k].before)]++)] = static_cast<int32_t>(k);
    if (pairs_[k].after != pairs_[k].before) {
      of_[static_cast<size_t>(fill[Idx(pairs_[k].after)]++)] = static_cast<int32_t>(k);
    }
  }
}

int32_t SequenceRules::BrokenWithin(const std::vector<int32_t>& path) const {
  if (pairs_.empty() || path.size() < 3) return -1;
  std::vector<int32_t>& pos = Scratch().pos;
  pos.assign(num_nodes_, -1);
  for (size_t p = 1; p + 1 < path.size(); ++p) {
    if (Paired(path[p])) pos[Idx(path[p])] = static_cast<int32_t>(p);
  }
  for (size_t p = 1; p + 1 < path.size(); ++p) {
    const int32_t v = path[p];
    if (!Paired(v)) continue;
    for (const int32_t* k = begin_of(v); k != end_of(v); ++k) {
      const IndexPair& pair = pairs_[static_cast<size_t>(*k)];
      const int32_t a = pos[Idx(pair.before)];
      const int32_t b = pos[Idx(pair.after)];
      const bool broken = pair.kind == PairKind::kDiff   ? a >= 0 && b >= 0
                          : pair.kind == PairKind::kSame ? a < 0 || b < 0 || a > b
                                                         : a >= 0 && b >= 0 && a > b;
      if (broken) return *k;
    }
  }
  return -1;
}

std::string SequenceRules::Describe(int32_t k, const std::vector<uint32_t>& ids) const {
  const IndexPair& pair = pairs_.at(static_cast<size_t>(k));
  return "the pair " + IdOf(pair.before, ids) + " before " + IdOf(pair.after, ids) + KindText(pair.kind);
}

void SequenceRules::Judge(const Work& w, LinkedTiming& out) const {
  for (size_t k = 0; k < pairs_.size(); ++k) {
    const IndexPair& pair = pairs_[k];
    const int32_t ra = w.route[Idx(pair.before)];
    const int32_t rb = w.route[Idx(pair.after)];
    double weight = 0.0;
    int32_t charged = rb >= 0 ? rb : ra;
    switch (pair.kind) {
      case PairKind::kPlain:
        // `after` served without `before` breaks it; `before` alone keeps it.
        // A start pulled early by a window's warp is charged as warp already.
        if (rb >= 0 && ra < 0) {
          weight = 1.0;
        } else if (rb >= 0 && w.forced[k] != 0) {
          weight = 1.0 + std::max(w.end[Idx(pair.before)] - w.start[Idx(pair.after)], 0.0);
        }
        break;
      case PairKind::kSame:
        if ((ra >= 0) != (rb >= 0) || (ra >= 0 && (ra != rb || w.pos[Idx(pair.before)] > w.pos[Idx(pair.after)]))) {
          weight = 1.0;
        }
        break;
      case PairKind::kDiff:
        if (ra >= 0 && ra == rb) weight = 1.0;
        break;
    }
    if (weight > 0.0 && charged >= 0) {
      out.broken[static_cast<size_t>(charged)] += weight;
      if (out.first_broken < 0) out.first_broken = static_cast<int32_t>(k);
    }
  }
}

void CheckPairs(size_t num_nodes, const std::vector<IndexPair>& pairs, const std::vector<uint32_t>& ids) {
  // "same" pairs join their targets into groups that one agent serves.
  std::vector<int32_t> group(num_nodes);
  std::iota(group.begin(), group.end(), 0);
  auto find = [&group](int32_t v) {
    while (group[static_cast<size_t>(v)] != v) v = group[static_cast<size_t>(v)] = group[static_cast<size_t>(group[static_cast<size_t>(v)])];
    return v;
  };
  std::vector<std::vector<int32_t>> next(num_nodes);
  for (const IndexPair& pair : pairs) {
    if (pair.kind == PairKind::kDiff) continue;
    next[static_cast<size_t>(pair.before)].push_back(pair.after);
    if (pair.kind == PairKind::kSame) group[static_cast<size_t>(find(pair.before))] = find(pair.after);
  }
  for (const IndexPair& pair : pairs) {
    if (pair.kind == PairKind::kDiff && find(pair.before) == find(pair.after)) {
      throw std::invalid_argument("the sequence pairs ask for nodes " + IdOf(pair.before, ids) + " and " +
                                  IdOf(pair.after, ids) +
                                  " to be served by different agents and by the same agent");
    }
  }
  // Both kinds order their targets in time, so a cycle through either can never be kept.
  std::vector<uint8_t> state(num_nodes, 0);  // 0 new, 1 on the path, 2 done
  std::vector<std::pair<int32_t, size_t>> stack;
  for (size_t root = 0; root < num_nodes; ++root) {
    if (state[root] != 0) continue;
    stack.emplace_back(static_cast<int32_t>(root), 0);
    state[root] = 1;
    while (!stack.empty()) {
      auto& [v, i] = stack.back();
      const std::vector<int32_t>& out = next[static_cast<size_t>(v)];
      if (i == out.size()) {
        state[static_cast<size_t>(v)] = 2;
        stack.pop_back();
        continue;
      }
      const int32_t w = out[i++];
      if (state[static_cast<size_t>(w)] == 1) {
        std::string cycle;
        size_t from = 0;
        while (stack[from].first != w) ++from;
        for (size_t k = from; k < stack.size(); ++k) cycle += IdOf(stack[k].first, ids) + " -> ";
        throw std::invalid_argument("the sequence pairs form a cycle: " + cycle + IdOf(w, ids));
      }
      if (state[static_cast<size_t>(w)] == 0) {
        state[static_cast<size_t>(w)] = 1;
        stack.emplace_back(w, 0);
      }
    }
  }
}

}  // namespace quarn
