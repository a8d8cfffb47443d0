#include "gateway/history/aggregate.h"

#include <algorithm>

namespace brivane::gateway {

void Aggregate::Add(double value) {
  min = count == 0 ? value : std::min(min, value);
  max = count == 0 ? value : std::max(max, value);
  sum += value;
  ++count;
}

void Aggregate::Merge(const Aggregate& other) {
  if (other.count == 0) {
    return;
  }
  min = count == 0 ? other.min : std::min(min, other.min);
  max = count == 0 ? other.max : std::max(max, other.max);
  sum += other.sum;
  count += other.count;
}

}  // namespace brivane::gateway
