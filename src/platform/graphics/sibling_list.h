#pragma once
// The ordered children of a tree node (subviews, sublayers), for lists that grow long: putting a
// child directly above or below a sibling, or taking one out, costs the same however many
// siblings there are. The children are chained in drawing order (the bottom one first); the
// vector that readers see follows the chain, and is put back in step on the first read after
// a change anywhere but the top, so that building a deck's long lists reads them once.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace qrn::graphics {

// Where a child sits among its siblings. Each child type holds one as `siblingLink_` and makes
// SiblingList a friend.
template <class T> struct SiblingLink {
    T* below = nullptr;
    T* above = nullptr;
    // The child's place in the list's own storage (see SiblingList::holder).
    std::uint32_t slot = 0;
};

// Serializes putting lists back in step: a tree handed to other threads for drawing may be read
// by several of them at once.
std::mutex& siblingListMutex();

template <class T> class SiblingList {
  public:
    using Ptr = std::shared_ptr<T>;

    SiblingList() = default;
    SiblingList(const SiblingList&) = delete;
    SiblingList& operator=(const SiblingList&) = delete;
    // Children that outlive the list keep no links into it.
    ~SiblingList() {
        for (T* n = bottom(); n;) {
            T* next = n->siblingLink_.above;
            n->siblingLink_ = {};
            n = next;
        }
    }

    // Bottom (index 0) to top.
    const std::vector<Ptr>& ordered() const {
        if (!chain_) {
            static const std::vector<Ptr> none;
            return none;
        }
        if (chain_->stale.load(std::memory_order_acquire))
            rebuild();
        else if (chain_->shifted.load(std::memory_order_relaxed))
            chain_->shifted.store(0, std::memory_order_relaxed);
        return chain_->ordered;
    }
    std::size_t size() const { return chain_ ? chain_->count : 0; }
    bool empty() const { return size() == 0; }
    T* bottom() const { return chain_ ? chain_->bottom : nullptr; }
    T* top() const { return chain_ ? chain_->top : nullptr; }
    static T* above(const T& n) { return n.siblingLink_.above; }
    static T* below(const T& n) { return n.siblingLink_.below; }

    // Puts `node` (in no list) directly above `under`, a child of this list; null: at the bottom.
    void insertAbove(Ptr node, T* under) {
        if (!chain_)
            chain_ = std::make_unique<Chain>();
        Chain& c = *chain_;
        auto& link = node->siblingLink_;
        T* over = under ? under->siblingLink_.above : c.bottom;
        link.below = under;
        link.above = over;
        (under ? under->siblingLink_.above : c.bottom) = node.get();
        (over ? over->siblingLink_.below : c.top) = node.get();
        ++c.count;
        if (!c.stale.load(std::memory_order_relaxed) && !over) {
            // On top: the vector stays in step.
            link.slot = static_cast<std::uint32_t>(c.ordered.size());
            c.ordered.push_back(std::move(node));
            return;
        }
        link.slot = static_cast<std::uint32_t>(c.ordered.size() + c.added.size());
        c.added.push_back(std::move(node));
        c.stale.store(true, std::memory_order_release);
    }

    // Takes a child of this list out of it; the list's reference is handed back.
    Ptr remove(T* node) {
        Chain& c = *chain_;
        auto& link = node->siblingLink_;
        (link.below ? link.below->siblingLink_.above : c.bottom) = link.above;
        (link.above ? link.above->siblingLink_.below : c.top) = link.below;
        --c.count;
        Ptr keep = std::move(holder(*node));
        const bool inStep = !c.stale.load(std::memory_order_relaxed);
        const std::size_t tail = inStep ? c.ordered.size() - link.slot - 1 : 0;
        const std::size_t shifted = c.shifted.load(std::memory_order_relaxed);
        if (inStep && tail == 0) {
            c.ordered.pop_back();
        } else if (inStep && shifted + tail <= c.ordered.size()) {
            // Taken out of the middle of a list in step (a child raised to the top, say): the
            // children above it move down one place at once, which costs less than finding them
            // all again along the chain. Past one list's worth of such moves between reads, as
            // when many children go at once, the list is put back in step once, on the read.
            c.shifted.store(shifted + tail, std::memory_order_relaxed);
            for (std::size_t i = link.slot; i + 1 < c.ordered.size(); ++i) {
                c.ordered[i] = std::move(c.ordered[i + 1]);
                c.ordered[i]->siblingLink_.slot = static_cast<std::uint32_t>(i);
            }
            c.ordered.pop_back();
        } else {
            c.stale.store(true, std::memory_order_release);
        }
        link = {};
        return keep;
    }

    // Empties the list, handing back the children in order.
    std::vector<Ptr> takeAll() {
        if (!chain_)
            return {};
        ordered();
        std::vector<Ptr> all = std::move(chain_->ordered);
        for (auto& n : all)
            n->siblingLink_ = {};
        chain_.reset();
        return all;
    }

  private:
    // Most nodes are leaves: the chain, and the vector readers see, are made with the first child.
    struct Chain {
        std::vector<Ptr> ordered;
        T* bottom = nullptr;
        T* top = nullptr;
        std::size_t count = 0;
        std::vector<Ptr> added;
        std::atomic<bool> stale{false};
        // Children moved down by takings out of the middle since the list was last read.
        std::atomic<std::size_t> shifted{0};
    };

    // Children in step with the chain sit in `ordered` at their slot; those added since, at their
    // slot past its end in `added`. A child taken out leaves an empty holder behind.
    Ptr& holder(const T& n) const {
        const std::size_t slot = n.siblingLink_.slot;
        auto& ordered = chain_->ordered;
        return slot < ordered.size() ? ordered[slot] : chain_->added[slot - ordered.size()];
    }

    void rebuild() const {
        std::lock_guard lock(siblingListMutex());
        Chain& c = *chain_;
        if (!c.stale.load(std::memory_order_relaxed))
            return;
        std::vector<Ptr> fresh;
        fresh.reserve(c.count);
        for (T* n = c.bottom; n; n = n->siblingLink_.above) {
            fresh.push_back(std::move(holder(*n)));
            n->siblingLink_.slot = static_cast<std::uint32_t>(fresh.size() - 1);
        }
        c.ordered = std::move(fresh);
        c.added.clear();
        c.added.shrink_to_fit();
        c.shifted.store(0, std::memory_order_relaxed);
        c.stale.store(false, std::memory_order_release);
    }

    std::unique_ptr<Chain> chain_;
};

} // namespace qrn::graphics
