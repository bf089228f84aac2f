#include "watershed.h"

#include <algorithm>
#include <cstddef>

#include "pixel_grid.h"
#include "prefetch.h"

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

// The neighbours of one connectivity around a packed index, meant to live in a local: the
// hot loops store state bytes, which may alias anything, so a member would be loaded again
// after every store, where a local stays in a register. Offsets are signed, so that a
// neighbour is one address computation from the pixel's own position.
template <bool C4>
class Around {
public:
    using N = Neighbourhood<C4>;
    static constexpr int kCount = N::kCount;

    explicit Around(const PixelGrid& grid)
        : grid_(grid), width_(static_cast<ptrdiff_t>(grid.Width())) {}

    // The offset of the k-th neighbour in visiting order.
    ptrdiff_t Offset(int k) const {
        return kNeighbourRow[N::kIndex[k]] * width_ + kNeighbourCol[N::kIndex[k]];
    }

    // Calls visit(k, offset) for each neighbour of p that exists, in visiting order.
    template <typename Visit>
    void ForEach(uint32_t p, bool onBorder, Visit&& visit) const {
        if (!onBorder) {
            for (int k = 0; k < kCount; ++k) visit(k, Offset(k));
        } else {
            const uint32_t present = grid_.PresentNeighbours(p);
            for (int k = 0; k < kCount; ++k)
                if (present >> N::kIndex[k] & 1u) visit(k, Offset(k));
        }
    }

private:
    const PixelGrid& grid_;
    ptrdiff_t width_;
};

// The order is ascending, so the end of the run of `value` that starts at `begin` is found by
// galloping and bisection; the walks over the run then need no pixel values at all.
template <typename Sample>
size_t LevelEnd(const Sample* channel, const uint32_t* order, size_t begin, size_t count,
                Sample value) {
    size_t below = begin;  // order[below] <= value
    size_t above = count;  // order[above] > value, or the end
    for (size_t stride = 1;; stride *= 2) {
        const size_t probe = below + stride;
        if (probe >= count) break;
        if (channel[order[probe]] > value) {
            above = probe;
            break;
        }
        below = probe;
    }
    while (above - below > 1) {
        const size_t middle = below + (above - below) / 2;
        if (channel[order[middle]] > value)
            above = middle;
        else
            below = middle;
    }
    return above;
}

// While flooding, the boundary buffer holds one state byte per pixel, and the tests of the hot
// loops read these bytes (or the channel's), a quarter of the memory that labels take. Labels
// are read only from neighbours whose state says they carry one, and every label is written
// exactly once, so the label buffer needs no initialisation.
//
// Growth must tell a neighbour labelled in an earlier round of the level (which counts) from
// one labelled in the current round (which does not). Rounds are breadth-first layers, so a
// pixel grown in round d only ever meets pixels of rounds d - 1, d and d + 1: the parity of
// its round is all it needs to carry. A pixel grown in an odd round sets
// kCountsInEvenRounds, one grown in an even round kCountsInOddRounds; when its level is done
// it sets both (kSettled), like every pixel of a lower level. Seeds (round 1) are settled
// at once: nothing of round 1 reads them, and from round 3 on nothing meets them.
constexpr uint8_t kCountsInOddRounds = 0x80;
constexpr uint8_t kCountsInEvenRounds = 0x40;
constexpr uint8_t kSettled = kCountsInOddRounds | kCountsInEvenRounds;
constexpr uint8_t kBorder = 0x20;   // on the image border; set once, kept by every change
constexpr uint8_t kFlagged = 0x01;  // a labelled pixel where two regions met
// The states of unlabelled pixels, without kBorder.
constexpr uint8_t kAbove = 0x00;   // above the current level
constexpr uint8_t kMasked = 0x02;  // at the current level, not reached
constexpr uint8_t kQueued = 0x04;  // at the current level, queued for growth
constexpr uint8_t kKind = static_cast<uint8_t>(~kBorder);

// The bit that makes a neighbour count for a pixel grown in `round`.
constexpr int CountsShift(uint32_t round) { return round % 2 ? 7 : 6; }
// What a pixel grown in `round` carries, so that it counts in the next round.
constexpr uint8_t GrownIn(uint32_t round) {
    return round % 2 ? kCountsInEvenRounds : kCountsInOddRounds;
}

// Each level's pixels lie scattered over the frame, so the walks over them ask for the memory
// of the pixel this many entries ahead: far enough for it to arrive in time, near enough for
// it to stay. (16 and 64 do as well; 4 to 8 is too late.)
constexpr size_t kLookAhead = 32;

// `yes` if `pick`, else `no`. Written as a selection of two computed values, which
// compilers turn into a conditional move: grain makes a branch here mispredict about every
// other time.
inline int32_t Select(bool pick, int32_t yes, int32_t no) { return pick ? yes : no; }
inline uint8_t SelectByte(bool pick, uint8_t yes, uint8_t no) { return pick ? yes : no; }

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
        int32_t first;
        int32_t last;
        int32_t between[N - 2];
    };

    template <typename Neighbours>
    explicit LabelPicks(const Neighbours& around) {
        for (uint32_t set = 0; set < (1u << N); ++set) {
            int32_t offsets[N];
            int count = 0;
            for (int j = 0; j < N; ++j)
                if (set >> j & 1u) offsets[count++] = static_cast<int32_t>(around.Offset(j));
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

struct Outcome {
    int32_t label;
    bool flagged;
};

// `at` is the pixel's own entry of labelBuf.
template <int N>
inline Outcome Resolve(const int32_t* at, const typename LabelPicks<N>::Pick& pick) {
    const int32_t first = at[pick.first];
    const int32_t last = at[pick.last];
    bool agree = true;
    for (int m = 0; m < N - 2; ++m) agree &= at[pick.between[m]] == first;
    return {Select(agree, first, last), !(agree & (last == first))};
}

// The hot loops copy the members they use into locals first (see Around).
template <typename Sample, bool C4>
class Flooding {
public:
    Flooding(ChannelScratch<Sample> scratch, int width, int height)
        : order_(scratch.order), channel_(scratch.channel), label_(scratch.label),
          state_(scratch.boundary), rest_(scratch.pixelList), queue_(scratch.queue),
          grid_(width, height), picks_(Around<C4>(grid_)) {}

    void Run() {
        const size_t count = grid_.Size();
        MarkBorder();
        // Levels without pixels would mark, seed and grow nothing, so only present ones run.
        for (size_t begin = 0; begin < count;) {
            const Sample level = channel_[order_[begin]];
            const size_t end = LevelEnd(channel_, order_, begin, count, level);
            const size_t rest = SeedAndMark(begin, end, level);
            Grow(FindSecondRound(rest, level));
            NameNewMinima(rest);
            begin = end;
        }
        // Every pixel is settled now; the state becomes the boundary byte.
        for (size_t i = 0; i < count; ++i)
            state_[i] = static_cast<uint8_t>((state_[i] & kFlagged) - 1u);  // 0 or 255
    }

private:
    static constexpr int kCount = Neighbourhood<C4>::kCount;

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

    // Marking and round 1 of the growth in one walk. A seed is a pixel off the border with a
    // lower neighbour; in round 1 its counting neighbours are exactly its lower ones, all
    // settled, so its outcome is known at once. The order in which the pixels of one round
    // are grown does not matter: each reads only pixels of earlier rounds and lower levels.
    // The other pixels of the level go, in order, to the pixel list.
    size_t SeedAndMark(size_t begin, size_t end, Sample level) {
        const uint32_t* const order = order_;
        const Sample* const channel = channel_;
        int32_t* const label = label_;
        uint8_t* const state = state_;
        uint32_t* const rest = rest_;
        const LabelPicks<kCount>& picks = picks_;
        const Around<C4> around(grid_);
        const size_t width = grid_.Width(), last = grid_.Size() - 1;
        const size_t ahead = end > kLookAhead ? end - kLookAhead : 0;
        size_t count = 0;
        for (size_t j = begin; j < end; ++j) {
            if (j < ahead) {
                // What the seed test and the outcome will read: the pixel's state and label,
                // and the rows above and below in the channel and in the labels.
                const size_t at = order[j + kLookAhead];
                Prefetch(state + at);
                Prefetch(label + at);
                if (at >= width) {
                    Prefetch(channel + at - width);
                    Prefetch(label + at - width);
                }
                Prefetch(channel + std::min(at + width, last));
                Prefetch(label + std::min(at + width, last));
            }
            const uint32_t p = order[j];
            if (state[p] & kBorder) {  // rare, so the branch is predicted
                state[p] = kMasked | kBorder;
                rest[count++] = p;
                continue;
            }
            const Sample* const value = channel + p;
            int32_t* const own = label + p;
            *own = 0;  // read back by Resolve when no neighbour is lower: keeps reads defined
            uint32_t lower = 0;
            for (int k = 0; k < kCount; ++k)
                lower |= static_cast<uint32_t>(value[around.Offset(k)] < level) << k;
            const bool seed = lower != 0;
            const Outcome outcome = Resolve<kCount>(own, picks[lower]);
            *own = outcome.label;
            // A pixel with no lower neighbour is never flagged. Bit operations, not a
            // selection: the compiler turns this one into a branch.
            const uint8_t seedBits = static_cast<uint8_t>(-static_cast<int>(seed));
            state[p] = static_cast<uint8_t>((kMasked ^ (seedBits & (kSettled ^ kMasked))) |
                                            outcome.flagged);
            rest[count] = p;
            count += !seed;
        }
        return count;
    }

    // Round 2 is every pixel of the level that touches a seed. Off the border, a pixel that
    // is no seed has no lower neighbour, so a settled neighbour is a seed; on the border the
    // channel tells. Returns the number of pixels queued.
    size_t FindSecondRound(size_t restCount, Sample level) {
        const uint32_t* const rest = rest_;
        const Sample* const channel = channel_;
        uint8_t* const state = state_;
        uint32_t* const queue = queue_;
        const Around<C4> around(grid_);
        size_t tail = 0;
        for (size_t k = 0; k < restCount; ++k) {
            const uint32_t p = rest[k];
            const uint8_t own = state[p];
            bool touches = false;
            if (!(own & kBorder)) {
                for (int j = 0; j < kCount; ++j) touches |= state[p + around.Offset(j)] >= kSettled;
            } else {
                around.ForEach(p, true, [&](int, ptrdiff_t offset) {
                    touches |= state[p + offset] >= kSettled && channel[p + offset] == level;
                });
            }
            state[p] = SelectByte(touches, static_cast<uint8_t>(own ^ kMasked ^ kQueued), own);
            queue[tail] = p;
            tail += touches;
        }
        return tail;
    }

    // Rounds 2 onward, from the `tail` pixels queued by FindSecondRound. Each round is the
    // stretch of the queue that the previous round appended; every pixel enters the queue
    // once, so it never holds more than the level's pixels.
    void Grow(size_t tail) {
        int32_t* const label = label_;
        uint8_t* const state = state_;
        uint32_t* const queue = queue_;
        const LabelPicks<kCount>& picks = picks_;
        const Around<C4> around(grid_);
        uint32_t round = 2;
        for (size_t head = 0, roundEnd = tail; head < tail;) {
            if (head == roundEnd) {
                roundEnd = tail;
                ++round;
            }
            const uint32_t p = queue[head++];
            const uint8_t own = state[p];
            const int shift = CountsShift(round);
            uint32_t counting = 0;
            around.ForEach(p, own & kBorder, [&](int k, ptrdiff_t offset) {
                const uint8_t theirs = state[p + offset];
                counting |= static_cast<uint32_t>(theirs >> shift & 1u) << k;
                const bool fresh = (theirs & kKind) == kMasked;
                state[p + offset] = SelectByte(
                    fresh, static_cast<uint8_t>(theirs ^ kMasked ^ kQueued), theirs);
                queue[tail] = static_cast<uint32_t>(p + offset);
                tail += fresh;
            });
            // Whoever queued p counts for it, so `counting` is never empty here.
            const Outcome outcome = Resolve<kCount>(label + p, picks[counting]);
            label[p] = outcome.label;
            state[p] = static_cast<uint8_t>((own & kBorder) | GrownIn(round) | outcome.flagged);
        }
    }

    // The level is done. Its pixels grown from round 2 on become settled (the seeds already
    // are); the pixels still masked are kept, in order, in the front of the list: whether a
    // pixel of a grainy level was reached is unpredictable, whether a kept one is still masked
    // when its turn comes mostly is. Each that is starts a region, filled at once; most new
    // minima of grain are a pixel or two, so a neighbour rarely joins and that is a branch.
    void NameNewMinima(size_t restCount) {
        uint32_t* const rest = rest_;
        int32_t* const label = label_;
        uint8_t* const state = state_;
        uint32_t* const queue = queue_;
        const Around<C4> around(grid_);
        size_t count = 0;
        for (size_t k = 0; k < restCount; ++k) {
            const uint32_t p = rest[k];
            const uint8_t own = state[p];
            const bool unreached = (own & kKind) == kMasked;
            rest[count] = p;
            count += unreached;
            state[p] = static_cast<uint8_t>(own | SelectByte(unreached, 0, kSettled));
        }
        int32_t regions = regions_;
        for (size_t k = 0; k < count; ++k) {
            const uint32_t p = rest[k];
            if ((state[p] & kKind) != kMasked) continue;  // joined an earlier new minimum
            label[p] = ++regions;
            state[p] = static_cast<uint8_t>((state[p] & kBorder) | kSettled);
            size_t head = 0, tail = 0;
            queue[tail++] = p;
            while (head != tail) {
                const uint32_t s = queue[head++];
                around.ForEach(s, state[s] & kBorder, [&](int, ptrdiff_t offset) {
                    const uint32_t r = static_cast<uint32_t>(s + offset);
                    if ((state[r] & kKind) != kMasked) return;
                    state[r] = static_cast<uint8_t>((state[r] & kBorder) | kSettled);
                    label[r] = regions;
                    queue[tail++] = r;
                });
            }
        }
        regions_ = regions;
    }

    const uint32_t* order_;
    const Sample* channel_;
    int32_t* label_;
    uint8_t* state_;
    uint32_t* rest_;
    uint32_t* queue_;
    PixelGrid grid_;
    LabelPicks<kCount> picks_;
    int32_t regions_ = 0;
};

}  // namespace

template <typename Sample>
void Watershed(ChannelScratch<Sample> scratch, int width, int height, bool c4) {
    if (c4)
        Flooding<Sample, true>(scratch, width, height).Run();
    else
        Flooding<Sample, false>(scratch, width, height).Run();
}

template void Watershed(ChannelScratch<uint8_t>, int, int, bool);
template void Watershed(ChannelScratch<uint16_t>, int, int, bool);
template void Watershed(ChannelScratch<float>, int, int, bool);
