#include "watershed.h"

#include <algorithm>
#include <cstddef>

#include "flood_queue.h"
#include "pixel_grid.h"

namespace {

// The neighbours each connectivity visits, as indexes into kNeighbourRow/kNeighbourCol.
template <bool C4>
struct Neighbourhood {
    static constexpr int kCount = 8;
    static constexpr int kIndex[8] = {0, 1, 2, 3, 4, 5, 6, 7};
};
template <>
struct Neighbourhood<true> {
    static constexpr int kCount = 4;
    static constexpr int kIndex[4] = {1, 3, 4, 6};
};

template <bool C4, typename Visit>
inline void ForEachNeighbour(const PixelGrid& grid, uint32_t p, Visit&& visit) {
    using N = Neighbourhood<C4>;
    if (grid.IsInterior(p)) {
        for (int j = 0; j < N::kCount; ++j) visit(grid.Neighbour(p, N::kIndex[j]));
    } else {
        const uint32_t present = grid.PresentNeighbours(p);
        for (int j = 0; j < N::kCount; ++j)
            if (present >> N::kIndex[j] & 1u) visit(grid.Neighbour(p, N::kIndex[j]));
    }
}

// orderBuf is ascending, so the end of the run of `value` that starts at `begin` is found by
// galloping and bisection; the walks over the run then need no pixel values at all.
size_t LevelEnd(const PixelRef* order, size_t begin, size_t count, uint8_t value) {
    size_t below = begin;  // order[below] <= value
    size_t above = count;  // order[above] > value, or the end
    for (size_t stride = 1;; stride *= 2) {
        const size_t probe = below + stride;
        if (probe >= count) break;
        if (*order[probe] > value) {
            above = probe;
            break;
        }
        below = probe;
    }
    while (above - below > 1) {
        const size_t middle = below + (above - below) / 2;
        if (*order[middle] > value)
            above = middle;
        else
            below = middle;
    }
    return above;
}

// While flooding, labelBuf alone carries each pixel's state, so the hot loops read a single
// array: LABEL_INIT above the current level; LABEL_MASK at it and not yet queued; kQueued
// queued for growth; a region label >= 1 when settled. A pixel that takes its label in growth
// round d must not yet count as labelled for the other pixels of round d (the plain
// algorithm tells them apart by distance), so it carries Provisional(label) until the round
// ends. No distances are needed; distBuf only lends space to NameNewMinima.
constexpr int32_t kQueued = -3;
static_assert(kQueued == LABEL_MASK - 1, "growth queues a pixel by subtracting 1");

// Maps labels >= 1 to values <= -4 and back: it is its own inverse.
constexpr int32_t Provisional(int32_t label) { return -label - 3; }

// `yes` if `pick`, else `no`, as bit operations: compilers may turn ?: into a branch, which
// grain makes mispredict about every other time.
inline int32_t Select(bool pick, int32_t yes, int32_t no) {
    const int32_t mask = -static_cast<int32_t>(pick);
    return (yes & mask) | (no & ~mask);
}

template <bool C4>
class Flooding {
public:
    Flooding(const PixelRef* order, const uint8_t* channel, int32_t* label, int32_t* dist,
             uint8_t* boundary, int height, int width)
        : order_(order), channel_(channel), label_(label), dist_(dist), boundary_(boundary),
          grid_(width, height) {}

    void Run() {
        const size_t count = grid_.Size();
        std::fill_n(label_, count, LABEL_INIT);
        std::fill_n(dist_, count, 0);
        std::fill_n(boundary_, count, uint8_t{255});
        // Levels without pixels would mark, seed and grow nothing, so only present ones run.
        for (size_t begin = 0; begin < count;) {
            const size_t end = LevelEnd(order_, begin, count, *order_[begin]);
            MarkAndSeed(begin, end);
            Grow();
            NameNewMinima(begin, end);
            begin = end;
        }
    }

private:
    using Neighbours = Neighbourhood<C4>;

    uint32_t PixelAt(size_t j) const { return static_cast<uint32_t>(order_[j] - channel_); }

    bool HasRegionNeighbour(uint32_t interior) const {
        bool found = false;
        for (int j = 0; j < Neighbours::kCount; ++j)
            found |= label_[grid_.Neighbour(interior, Neighbours::kIndex[j])] >= 1;
        return found;
    }

    // Marking only turns LABEL_INIT into LABEL_MASK, which no seed test looks for, so both
    // happen in one walk. Border pixels are never seeds. The seeds are flagged as queued
    // afterwards: stored during the walk, that flag would depend on the loads just made, and a
    // pixel's left neighbour is often the previous one's pixel, chaining every iteration.
    void MarkAndSeed(size_t begin, size_t end) {
        queue_.Reserve(end - begin);
        for (size_t j = begin; j < end; ++j) {
            const uint32_t p = PixelAt(j);
            label_[p] = LABEL_MASK;
            queue_.PushIf(p, grid_.IsInterior(p) && HasRegionNeighbour(p));
        }
        queue_.ForEachWaiting([this](uint32_t seed) { label_[seed] = kQueued; });
    }

    // Grain makes every decision below a coin toss for the branch predictor, so they are
    // computed as flags and selections rather than branches.
    void Grow() {
        queue_.Push(FloodQueue::kMarker);
        for (;;) {
            uint32_t p = queue_.Pop();
            if (p == FloodQueue::kMarker) {
                // The round is over: what it labelled counts as labelled from now on.
                queue_.Release([this](uint32_t q) {
                    if (q != FloodQueue::kMarker) label_[q] = Provisional(label_[q]);
                });
                if (queue_.Empty()) return;
                queue_.Push(FloodQueue::kMarker);
                p = queue_.Pop();
            }
            queue_.Reserve(Neighbours::kCount);
            // Every queued pixel has a labelled neighbour from an earlier round (or a lower
            // level), so `own` ends as a region label.
            int32_t own = LABEL_MASK;
            bool flagged = false;
            ForEachNeighbour<C4>(grid_, p, [&](uint32_t q) {
                const int32_t theirs = label_[q];
                const bool reached = theirs >= 1;
                const bool fresh = theirs == LABEL_MASK;
                const bool adopt = reached & ((own == LABEL_MASK) | flagged);
                flagged |= reached & !adopt & (own != theirs);
                own = Select(adopt, theirs, own);
                label_[q] = theirs - fresh;  // LABEL_MASK becomes kQueued
                queue_.PushIf(q, fresh);
            });
            label_[p] = Provisional(own);
            boundary_[p] = static_cast<uint8_t>(flagged - 1);  // 0 or 255
        }
    }

    // The pixels still masked are gathered first, without a branch, into distBuf (scratch,
    // zeroed again here): whether a pixel of a grainy level was reached by growth is
    // unpredictable, whether a gathered one is still masked mostly is.
    void NameNewMinima(size_t begin, size_t end) {
        int32_t* const masked = dist_;
        size_t count = 0;
        for (size_t j = begin; j < end; ++j) {
            const uint32_t p = PixelAt(j);
            masked[count] = static_cast<int32_t>(p);
            count += label_[p] == LABEL_MASK;
        }
        if (count < end - begin) masked[count] = 0;
        for (size_t k = 0; k < count; ++k) {
            const uint32_t p = static_cast<uint32_t>(masked[k]);
            masked[k] = 0;
            if (label_[p] != LABEL_MASK) continue;  // joined an earlier new minimum
            label_[p] = ++regions_;
            queue_.Push(p);
            while (!queue_.Empty()) {
                queue_.Reserve(Neighbours::kCount);
                ForEachNeighbour<C4>(grid_, queue_.Pop(), [&](uint32_t r) {
                    const int32_t theirs = label_[r];
                    const bool joins = theirs == LABEL_MASK;
                    label_[r] = Select(joins, regions_, theirs);
                    queue_.PushIf(r, joins);
                });
            }
            queue_.Release();
        }
    }

    const PixelRef* order_;
    const uint8_t* channel_;
    int32_t* label_;
    int32_t* dist_;
    uint8_t* boundary_;
    PixelGrid grid_;
    FloodQueue queue_;
    int32_t regions_ = 0;
};

}  // namespace

void Watershed(const PixelRef* orderBuf, const uint8_t* channelBuf, int32_t* labelBuf,
               int32_t* distBuf, uint8_t* boundaryBuf, int height, int width, bool c4) {
    if (c4)
        Flooding<true>(orderBuf, channelBuf, labelBuf, distBuf, boundaryBuf, height, width).Run();
    else
        Flooding<false>(orderBuf, channelBuf, labelBuf, distBuf, boundaryBuf, height, width)
            .Run();
}
