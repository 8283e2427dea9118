#pragma once
// A list as the layer list or the asset strip shows it while one entry is dragged: the entry at
// `from` shown at `to`, the others closed up around it. Out-of-range places change nothing.
#include <string>
#include <vector>

inline std::vector<std::string> movedOrder(std::vector<std::string> order, int from, int to) {
    if (from < 0 || to < 0 || size_t(from) >= order.size() || size_t(to) >= order.size())
        return order;
    const std::string moved = order[size_t(from)];
    order.erase(order.begin() + from);
    order.insert(order.begin() + to, moved);
    return order;
}
