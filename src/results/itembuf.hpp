// A fixed-capacity list of written items, for records too long or too
// variable to spell out as a brace list (a Traj row holds 43 items, a Wema
// row up to 17). Lives on the stack; nothing is allocated.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <utility>

#include "records/records.hpp"

namespace tacsim {

template <std::size_t N>
class ItemBuf {
public:
    ItemBuf() : items_(blank(std::make_index_sequence<N>{})) {}

    void clear() { count_ = 0; }
    // Items beyond the capacity are dropped (no record of the model needs
    // that many).
    void add(Item v) {
        if (count_ < N) items_[count_++] = v;
    }
    std::size_t size() const { return count_; }
    std::span<const Item> span() const { return std::span<const Item>(items_.data(), count_); }

private:
    template <std::size_t... I>
    static std::array<Item, N> blank(std::index_sequence<I...>) {
        return {{((void)I, Item(0))...}};
    }
    std::array<Item, N> items_;
    std::size_t count_ = 0;
};

}  // namespace tacsim
