#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "localsearch/move_operator.h"
#include "localsearch/neighbours.h"
#include "localsearch/rng.h"
#include "records/operator_count.h"
#include "records/stop_check.h"

namespace quarn {

// Best-improvement descent over granular neighbourhoods: for each target u of a
// work list, every operator is priced against u's nearest targets and the best
// improving move is applied; the targets of changed routes go back on the list,
// or, with `requeue_near`, only the two targets of the move and their nearest
// targets, so that on long routes a move costs no walk of the whole route.
class LocalSearch {
 public:
  // The operators are tried in the given order for every pair of targets.
  LocalSearch(const Neighbours& neighbours, std::vector<std::unique_ptr<MoveOperator>> operators,
              bool requeue_near = false);
  // Relocate, swap, 2-opt, Or-opt, 2-opt* and cross exchange.
  static std::vector<std::unique_ptr<MoveOperator>> AllOperators();

  // `seeds` empty: every assigned target. Ends at a local optimum, or early when
  // `stop` (if given) has expired.
  void Run(LsSolution& s, const LsObjective& objective, Rng& rng, const std::vector<int32_t>& seeds,
           const StopCheck* stop = nullptr);

  // Later runs search these lists; they must outlive this descent.
  void UseNeighbours(const Neighbours& neighbours) { neighbours_ = &neighbours; }

  uint64_t moves_applied() const { return moves_applied_; }
  // Per operator, in the order given: calls of Evaluate and moves applied.
  const std::vector<OperatorCount>& counts() const { return counts_; }

 private:
  const Neighbours* neighbours_;
  bool requeue_near_ = false;
  std::vector<std::unique_ptr<MoveOperator>> operators_;
  std::vector<OperatorCount> counts_;
  std::vector<int32_t> queue_;
  std::vector<uint8_t> queued_;
  std::array<std::vector<int32_t>, 2> kept_;  // the routes before the last move, where it may be taken back
  uint64_t moves_applied_ = 0;
};

}  // namespace quarn
