#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace quarn {

// Plain: the service at `after` starts no earlier than the one at `before`
// ends, whoever serves them. Same: one route serves both, `before` first.
// Diff: two routes serve them.
enum class PairKind : uint8_t { kPlain = 0, kSame = 1, kDiff = 2 };

struct IndexPair {
  int32_t before = -1;
  int32_t after = -1;
  PairKind kind = PairKind::kPlain;
};

// When a set of routes is served with the plain pairs' waits: per route its
// finishing time, the time travelled back to meet windows, and the weight of
// the pair rules it breaks (each broken pair counts 1, a plain pair met late
// also the time it is late by; charged to the route serving `after`).
struct LinkedTiming {
  std::vector<double> finish;
  std::vector<double> warp;
  std::vector<double> broken;
  int32_t first_broken = -1;  // a broken pair's index, or -1
};

// The pair rules by node index, with each node's pairs at hand so that a move
// or an insertion asks only about the pairs of the targets it touches.
class SequenceRules {
 public:
  // Pairs naming a node outside [0, num_nodes) are dropped (the set-up refuses them).
  void Set(size_t num_nodes, const std::vector<IndexPair>& pairs);
  bool empty() const { return pairs_.empty(); }
  const std::vector<IndexPair>& pairs() const { return pairs_; }
  bool Paired(int32_t v) const { return v >= 0 && static_cast<size_t>(v) < first_.size() && first_[Idx(v)] != first_[Idx(v) + 1]; }
  // Indices into pairs() of the pairs naming v.
  const int32_t* begin_of(int32_t v) const { return of_.data() + first_[Idx(v)]; }
  const int32_t* end_of(int32_t v) const { return of_.data() + first_[Idx(v) + 1]; }

  // The first pair one route breaks by itself (a plain or "same" pair in the
  // wrong order, a "same" pair split, a "diff" pair together), or -1.
  int32_t BrokenWithin(const std::vector<int32_t>& path) const;
  // Text naming pair k by the nodes' ids.
  std::string Describe(int32_t k, const std::vector<uint32_t>& ids) const;

  // Walks every route at once from time 0, each node after its predecessor and
  // after the ends of its plain pairs' `before` nodes; a wait across routes that
  // can never end (a cycle) is broken at the lowest waiting route. `travel(r, u,
  // v)`: the leg; `admits(r, v)`; `earliest(v)`, `latest(v)`, `service(v)`. A
  // late arrival travels back to the window's close, counted as warp, as the
  // improvement phase times routes; a route without an arc finishes at +infinity.
  template <class Travel, class Admits, class Window>
  LinkedTiming Schedule(const std::vector<const std::vector<int32_t>*>& paths, const Travel& travel,
                        const Admits& admits, const Window& window) const;

  // The start and end of each node's service in the last Schedule on this thread.
  static const std::vector<double>& starts() { return Scratch().start; }
  static const std::vector<double>& ends() { return Scratch().end; }

 private:
  struct Work {
    std::vector<int32_t> route;    // by node: the route serving it, -1
    std::vector<int32_t> pos;      // by node: its position there
    std::vector<int32_t> pending;  // by node: plain `before` nodes not yet timed
    std::vector<uint8_t> done;
    std::vector<uint8_t> lost;     // by route: a leg without an arc or a node refused
    std::vector<uint8_t> forced;   // by pair: broken to end a cycle
    std::vector<double> start;
    std::vector<double> end;
    std::vector<size_t> next;      // by route: the next position to time
    std::vector<double> clock;
    std::vector<int32_t> ready;
  };
  static Work& Scratch() {
    thread_local Work work;
    return work;
  }
  static size_t Idx(int32_t v) { return static_cast<size_t>(v); }
  // Weighs the breaks of every pair into `out` once the nodes are timed.
  void Judge(const Work& w, LinkedTiming& out) const;

  size_t num_nodes_ = 0;
  std::vector<IndexPair> pairs_;
  std::vector<int32_t> first_;  // CSR over nodes into of_
  std::vector<int32_t> of_;
};

// Refuses (std::invalid_argument, naming the nodes by `ids`) pairs that no plan
// can keep: a cycle of plain or "same" pairs, or a "diff" pair whose targets
// "same" pairs bind to one agent. The nodes must be valid indices.
void CheckPairs(size_t num_nodes, const std::vector<IndexPair>& pairs, const std::vector<uint32_t>& ids);

template <class Travel, class Admits, class Window>
LinkedTiming SequenceRules::Schedule(const std::vector<const std::vector<int32_t>*>& paths,
                                     const Travel& travel, const Admits& admits,
                                     const Window& window) const {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  Work& w = Scratch();
  const size_t m = paths.size();
  LinkedTiming out;
  out.finish.assign(m, 0.0);
  out.warp.assign(m, 0.0);
  out.broken.assign(m, 0.0);
  w.route.assign(num_nodes_, -1);
  w.pos.assign(num_nodes_, -1);
  w.pending.assign(num_nodes_, 0);
  w.done.assign(num_nodes_, 0);
  w.lost.assign(m, 0);
  w.forced.assign(pairs_.size(), 0);
  w.start.assign(num_nodes_, 0.0);
  w.end.assign(num_nodes_, 0.0);
  w.next.assign(m, 0);
  w.clock.assign(m, 0.0);
  w.ready.clear();
  for (size_t r = 0; r < m; ++r) {
    const std::vector<int32_t>& path = *paths[r];
    for (size_t p = 1; p + 1 < path.size(); ++p) {
      if (!Paired(path[p])) continue;
      w.route[Idx(path[p])] = static_cast<int32_t>(r);
      w.pos[Idx(path[p])] = static_cast<int32_t>(p);
    }
  }
  for (const IndexPair& pair : pairs_) {
    if (pair.kind == PairKind::kPlain && w.route[Idx(pair.before)] >= 0) ++w.pending[Idx(pair.after)];
  }
  for (size_t r = m; r-- > 0;) w.ready.push_back(static_cast<int32_t>(r));
  size_t finished = 0;
  size_t lowest = 0;  // routes below it are finished
  while (finished < m) {
    if (w.ready.empty()) {
      // Every unfinished route waits on another: the lowest one goes on regardless.
      while (w.next[lowest] >= paths[lowest]->size()) ++lowest;
      const int32_t v = (*paths[lowest])[w.next[lowest]];
      for (const int32_t* k = begin_of(v); k != end_of(v); ++k) {
        const IndexPair& pair = pairs_[static_cast<size_t>(*k)];
        if (pair.kind == PairKind::kPlain && pair.after == v && w.route[Idx(pair.before)] >= 0 &&
            w.done[Idx(pair.before)] == 0) {
          w.forced[static_cast<size_t>(*k)] = 1;
        }
      }
      w.pending[Idx(v)] = 0;
      w.ready.push_back(static_cast<int32_t>(lowest));
    }
    const auto r = static_cast<size_t>(w.ready.back());
    w.ready.pop_back();
    const std::vector<int32_t>& path = *paths[r];
    double t = w.clock[r];
    while (w.next[r] < path.size()) {
      const size_t p = w.next[r];
      const int32_t v = path[p];
      const bool paired = p > 0 && p + 1 < path.size() && Paired(v);
      if (paired && w.pending[Idx(v)] > 0) break;
      const double leg = p > 0 ? travel(static_cast<int32_t>(r), path[p - 1], v) : 0.0;
      if (!admits(static_cast<int32_t>(r), v) || !(leg < kInf)) {
        w.lost[r] = 1;
      } else {
        t += leg;
      }
      if (paired) {
        for (const int32_t* k = begin_of(v); k != end_of(v); ++k) {
          const IndexPair& pair = pairs_[static_cast<size_t>(*k)];
          if (pair.kind == PairKind::kPlain && pair.after == v && w.done[Idx(pair.before)] != 0) {
            t = std::max(t, w.end[Idx(pair.before)]);
          }
        }
      }
      const double latest = window.latest(v);
      if (t > latest) {
        out.warp[r] += t - latest;
        t = latest;
      }
      t = std::max(t, window.earliest(v));
      w.start[Idx(v)] = t;
      t += window.service(v);
      w.end[Idx(v)] = t;
      w.done[Idx(v)] = 1;
      ++w.next[r];
      if (!paired) continue;
      for (const int32_t* k = begin_of(v); k != end_of(v); ++k) {
        const IndexPair& pair = pairs_[static_cast<size_t>(*k)];
        if (pair.kind != PairKind::kPlain || pair.before != v) continue;
        const int32_t b = pair.after;
        if (w.pending[Idx(b)] > 0 && --w.pending[Idx(b)] == 0 && w.route[Idx(b)] >= 0) {
          const auto rb = static_cast<size_t>(w.route[Idx(b)]);
          if (rb != r && w.next[rb] == static_cast<size_t>(w.pos[Idx(b)])) w.ready.push_back(static_cast<int32_t>(rb));
        }
      }
    }
    w.clock[r] = t;
    if (w.next[r] == path.size()) {
      out.finish[r] = w.lost[r] != 0 ? kInf : path.empty() ? 0.0 : t;
      ++finished;
    }
  }
  Judge(w, out);
  return out;
}

}  // namespace quarn
