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

// Calls visit(j, q) for the j-th neighbour q of p in visiting order, where it exists.
template <bool C4, typename Visit>
inline void ForEachNeighbour(const PixelGrid& grid, uint32_t p, bool onBorder, Visit&& visit) {
    using N = Neighbourhood<C4>;
    if (!onBorder) {
        for (int j = 0; j < N::kCount; ++j) visit(j, grid.Neighbour(p, N::kIndex[j]));
    } else {
        const uint32_t present = grid.PresentNeighbours(p);
        for (int j = 0; j < N::kCount; ++j)
            if (present >> N::kIndex[j] & 1u) visit(j, grid.Neighbour(p, N::kIndex[j]));
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

// While flooding, boundaryBuf holds one state byte per pixel, and every test of the hot loops
// reads these bytes only: a quarter of the memory that labels take. Labels are read only
// from neighbours whose state says they carry one, and every label is written exactly once,
// so labelBuf needs no initialisation.
//
// Growth must tell a neighbour labelled in an earlier round of the level (which counts) from
// one labelled in the current round (which does not). Rounds are breadth-first layers, so a
// pixel grown in round d only ever meets pixels of rounds d - 1, d and d + 1: the parity of
// the round it was grown in is all it needs to carry. A pixel grown in an odd round sets
// kCountsInEvenRounds, one grown in an even round kCountsInOddRounds; when its level is done
// it sets both (kSettled), as does every pixel of a lower level. Seeds are grown in round 1,
// and the seed test asks for kCountsInOddRounds, that is for a lower neighbour.
constexpr uint8_t kCountsInOddRounds = 0x80;
constexpr uint8_t kCountsInEvenRounds = 0x40;
constexpr uint8_t kSettled = kCountsInOddRounds | kCountsInEvenRounds;
constexpr uint8_t kBorder = 0x20;   // on the image border; set once, kept by every change
constexpr uint8_t kFlagged = 0x01;  // a labelled pixel where two regions met
// The states of unlabelled pixels, without kBorder.
constexpr uint8_t kAbove = 0x00;    // above the current level
constexpr uint8_t kMasked = 0x02;   // at the current level, not reached
constexpr uint8_t kQueued = 0x04;   // at the current level, queued for growth
constexpr uint8_t kKind = static_cast<uint8_t>(~kBorder);

// The bit that makes a neighbour count for a pixel grown in `round`.
constexpr int CountsShift(uint32_t round) { return round % 2 ? 7 : 6; }
// What a pixel grown in `round` carries, so that it counts in the next round.
constexpr uint8_t GrownIn(uint32_t round) {
    return round % 2 ? kCountsInEvenRounds : kCountsInOddRounds;
}

// `yes` if `pick`, else `no`, as bit operations: compilers may turn ?: into a branch, which
// grain makes mispredict about every other time.
inline int32_t Select(bool pick, int32_t yes, int32_t no) {
    const int32_t mask = -static_cast<int32_t>(pick);
    return (yes & mask) | (no & ~mask);
}
inline uint8_t SelectByte(bool pick, uint8_t yes, uint8_t no) {
    return static_cast<uint8_t>(Select(pick, yes, no));
}

// A pixel reached by growth takes the label of its first counting neighbour (in visiting
// order); at the first label that differs it becomes a boundary pixel, and from then on every
// counting neighbour gives it its label. So it ends with the first label when all counting
// neighbours but the last agree with the first, and with the last label otherwise. For each
// set of counting neighbours (bit j: the j-th in visiting order) this table holds the index
// offsets of the first, the last and those between, padded with the first, so the outcome
// takes a fixed number of loads and no branch. The empty set points at the pixel itself.
template <int N>
class LabelPicks {
public:
    struct Pick {
        uint32_t first;
        uint32_t last;
        uint32_t between[N - 2];
    };

    LabelPicks(const PixelGrid& grid, const int (&index)[N]) {
        for (uint32_t set = 0; set < (1u << N); ++set) {
            uint32_t offsets[N];
            int count = 0;
            for (int j = 0; j < N; ++j)
                if (set >> j & 1u) offsets[count++] = grid.Offset(index[j]);
            Pick& pick = picks_[set];
            pick.first = count > 0 ? offsets[0] : 0;
            pick.last = count > 0 ? offsets[count - 1] : 0;
            for (int m = 0; m < N - 2; ++m)
                pick.between[m] = m + 1 < count - 1 ? offsets[m + 1] : pick.first;
        }
    }

    const Pick& operator[](uint32_t set) const { return picks_[set]; }

private:
    Pick picks_[1u << N];
};

template <bool C4>
class Flooding {
public:
    Flooding(const PixelRef* order, const uint8_t* channel, int32_t* label, int32_t* dist,
             uint8_t* boundary, int height, int width)
        : order_(order), channel_(channel), label_(label), dist_(dist), state_(boundary),
          grid_(width, height), picks_(grid_, Neighbours::kIndex) {}

    void Run() {
        const size_t count = grid_.Size();
        ClearDistances();
        MarkBorder();
        // Levels without pixels would mark, seed and grow nothing, so only present ones run.
        for (size_t begin = 0; begin < count;) {
            const size_t end = LevelEnd(order_, begin, count, *order_[begin]);
            SeedAndMark(begin, end);
            FindSecondRound();
            Grow();
            NameNewMinima(begin, end);
            begin = end;
        }
        // Every pixel is settled now; the state becomes the boundary byte.
        for (size_t i = 0; i < count; ++i)
            state_[i] = static_cast<uint8_t>((state_[i] & kFlagged) - 1u);  // 0 or 255
    }

private:
    using Neighbours = Neighbourhood<C4>;
    static constexpr int kCount = Neighbours::kCount;

    struct Outcome {
        int32_t label;
        bool flagged;
    };

    uint32_t PixelAt(size_t j) const { return static_cast<uint32_t>(order_[j] - channel_); }

    // distBuf must be all zero at return. Only NameNewMinima writes it, and it clears what it
    // wrote, so it nearly always is already: reading it is cheaper than rewriting it (nothing
    // to write back, and pages that were never written stay so). A block that holds anything
    // else is cleared.
    void ClearDistances() {
        constexpr size_t kBlock = 1024;
        const size_t count = grid_.Size();
        for (size_t i = 0; i < count; i += kBlock) {
            const size_t length = std::min(kBlock, count - i);
            int32_t any = 0;
            for (size_t k = 0; k < length; ++k) any |= dist_[i + k];
            if (any != 0) std::fill_n(dist_ + i, length, 0);
        }
    }

    // Every pixel starts above every level; the border bit spares the hot loops a bounds test.
    void MarkBorder() {
        const uint32_t width = grid_.Width(), height = grid_.Height();
        if (width < 3 || height < 3) {
            std::fill_n(state_, grid_.Size(), static_cast<uint8_t>(kAbove | kBorder));
            return;
        }
        std::fill_n(state_, grid_.Size(), kAbove);
        std::fill_n(state_, width, static_cast<uint8_t>(kAbove | kBorder));
        std::fill_n(state_ + (height - 1) * width, width, static_cast<uint8_t>(kAbove | kBorder));
        for (uint32_t y = 1; y + 1 < height; ++y) {
            state_[y * width] = kAbove | kBorder;
            state_[y * width + width - 1] = kAbove | kBorder;
        }
    }

    Outcome Resolve(uint32_t p, uint32_t counting) const {
        const typename LabelPicks<kCount>::Pick& pick = picks_[counting];
        const int32_t first = label_[p + pick.first];
        const int32_t last = label_[p + pick.last];
        bool agree = true;
        for (int m = 0; m < kCount - 2; ++m) agree &= label_[p + pick.between[m]] == first;
        return {Select(agree, first, last), !(agree & (last == first))};
    }

    // Marking and round 1 of the growth in one walk. A seed (a pixel off the border with a
    // lower neighbour) meets only lower neighbours as counting ones in round 1, and those are
    // settled, so its outcome is known at once. The other pixels of the level are queued for
    // FindSecondRound. The order in which the pixels of one round are grown does not matter:
    // each reads only pixels of earlier rounds and lower levels.
    void SeedAndMark(size_t begin, size_t end) {
        queue_.Reserve(end - begin);
        for (size_t j = begin; j < end; ++j) {
            const uint32_t p = PixelAt(j);
            if (state_[p] & kBorder) {  // rare, so the branch is predicted
                state_[p] = kMasked | kBorder;
                queue_.PushIf(p, true);
                continue;
            }
            // Read back by Resolve when no neighbour is lower: keeps every read determinate.
            label_[p] = 0;
            uint32_t lower = 0;
            for (int k = 0; k < kCount; ++k)
                lower |= static_cast<uint32_t>(state_[grid_.Neighbour(p, Neighbours::kIndex[k])] >>
                                               CountsShift(1)) << k;
            const bool seed = lower != 0;
            const Outcome outcome = Resolve(p, lower);
            label_[p] = outcome.label;
            state_[p] = SelectByte(seed, GrownIn(1) | outcome.flagged, kMasked);
            queue_.PushIf(p, !seed);
        }
    }

    // Round 2 is every pixel of the level that touches a seed. Only the queued non-seeds can
    // be one; those that are not stay masked.
    void FindSecondRound() {
        for (size_t left = queue_.Size(); left > 0; --left) {
            const uint32_t p = queue_.Pop();
            const uint8_t own = state_[p];
            bool touches = false;
            ForEachNeighbour<C4>(grid_, p, own & kBorder, [&](int, uint32_t q) {
                touches |= (state_[q] & kSettled) == GrownIn(1);
            });
            state_[p] = SelectByte(touches, static_cast<uint8_t>(own ^ kMasked ^ kQueued), own);
            queue_.PushIf(p, touches);  // after a Pop, there is room
        }
    }

    // Rounds 2 onward, separated by the marker.
    void Grow() {
        if (queue_.Empty()) return;
        queue_.Push(FloodQueue::kMarker);
        uint32_t round = 2;
        for (;;) {
            uint32_t p = queue_.Pop();
            if (p == FloodQueue::kMarker) {
                if (queue_.Empty()) return;
                queue_.Push(FloodQueue::kMarker);
                ++round;
                p = queue_.Pop();
            }
            queue_.Reserve(kCount);
            const uint8_t own = state_[p];
            const int shift = CountsShift(round);
            uint32_t counting = 0;
            ForEachNeighbour<C4>(grid_, p, own & kBorder, [&](int k, uint32_t q) {
                const uint8_t theirs = state_[q];
                counting |= static_cast<uint32_t>(theirs >> shift & 1u) << k;
                const bool fresh = (theirs & kKind) == kMasked;
                state_[q] = SelectByte(fresh, static_cast<uint8_t>(theirs ^ kMasked ^ kQueued),
                                       theirs);
                queue_.PushIf(q, fresh);
            });
            // Whoever queued p counts for it, so `counting` is never empty here.
            const Outcome outcome = Resolve(p, counting);
            label_[p] = outcome.label;
            state_[p] = static_cast<uint8_t>((own & kBorder) | GrownIn(round) | outcome.flagged);
        }
    }

    // The level is done: its labelled pixels become settled, and the pixels still masked are
    // gathered, without a branch, into distBuf (zeroed again here): whether a pixel of a
    // grainy level was reached is unpredictable, whether a gathered one is still masked
    // mostly is. Each still masked when its turn comes starts a region, filled at once.
    void NameNewMinima(size_t begin, size_t end) {
        int32_t* const masked = dist_;
        size_t count = 0;
        for (size_t j = begin; j < end; ++j) {
            const uint32_t p = PixelAt(j);
            const uint8_t own = state_[p];
            const bool unreached = (own & kKind) == kMasked;
            masked[count] = static_cast<int32_t>(p);
            count += unreached;
            state_[p] = static_cast<uint8_t>(own | SelectByte(unreached, 0, kSettled));
        }
        if (count < end - begin) masked[count] = 0;
        for (size_t k = 0; k < count; ++k) {
            const uint32_t p = static_cast<uint32_t>(masked[k]);
            masked[k] = 0;
            if ((state_[p] & kKind) != kMasked) continue;  // joined an earlier new minimum
            label_[p] = ++regions_;
            state_[p] = static_cast<uint8_t>((state_[p] & kBorder) | kSettled);
            queue_.Push(p);
            while (!queue_.Empty()) {
                queue_.Reserve(kCount);
                const uint32_t s = queue_.Pop();
                ForEachNeighbour<C4>(grid_, s, state_[s] & kBorder, [&](int, uint32_t r) {
                    const uint8_t theirs = state_[r];
                    const bool joins = (theirs & kKind) == kMasked;
                    state_[r] = SelectByte(
                        joins, static_cast<uint8_t>((theirs & kBorder) | kSettled), theirs);
                    // s carries the region's label already: the store lands there otherwise.
                    label_[joins ? r : s] = regions_;
                    queue_.PushIf(r, joins);
                });
            }
        }
    }

    const PixelRef* order_;
    const uint8_t* channel_;
    int32_t* label_;
    int32_t* dist_;
    uint8_t* state_;
    PixelGrid grid_;
    LabelPicks<kCount> picks_;
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
