// The immersion, level after level: every pixel of the level with a lower neighbour (off the
// border) is a seed, settled at once from its lower neighbours; the others grow from the seeds
// in breadth-first rounds, and what no round reaches starts new regions.
//
// The rounds are where flat content spends its time: a plateau of graphics is thousands of
// pixels wide. Two things make plateaus cheap without changing a single output byte:
//   - a plateau (the level's non-seeds connected to each other) that no seed touches is a new
//     minimum, and one whose surroundings carry one label takes that label everywhere,
//     unflagged (see SettlePlateaus): both are filled run by run, no rounds needed;
//   - in the rounds over a contested plateau, a pixel whose counting neighbours agree takes
//     their label unflagged, so labels travel with the rounds and only pixels where
//     neighbours disagree are resolved one by one (see GrowFromContacts).
// Seeding takes runs of a row a block at a time, since inside a run only the rows above and
// below can be lower. Levels of grain, whose plateaus are a pixel or two, keep the growth
// level-wide, which has no branch to mispredict.
#include "watershed.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// are read only from neighbours whose state says they carry one, or where they were written
// in the same call (a plateau being explored keeps its runs' chain in its own label entries
// until it is labelled), so the label buffer needs no initialisation.
//
// Growth must tell a neighbour labelled in an earlier round of the level (which counts) from
// one labelled in the current round (which does not). Rounds are breadth-first layers, so a
// pixel grown in round d only ever meets pixels of rounds d - 1, d and d + 1: the parity of
// its round is all it needs to carry. A pixel grown in an odd round sets
// kCountsInEvenRounds, one grown in an even round kCountsInOddRounds. Seeds (round 1) set both
// (kSettled) at once: nothing of round 1 reads them, and from round 3 on nothing meets them.
// A pixel grown over a plateau keeps its one bit for good (the grain path's growth sets both
// when its level is done), so either bit says a pixel is settled. Only a border pixel can
// meet a settled pixel of a lower level as a counting neighbour, and there the samples tell.
constexpr uint8_t kCountsInOddRounds = 0x80;
constexpr uint8_t kCountsInEvenRounds = 0x40;
constexpr uint8_t kSettled = kCountsInOddRounds | kCountsInEvenRounds;
constexpr uint8_t kBorder = 0x20;   // on the image border; set once, kept by every change
constexpr uint8_t kFlagged = 0x01;  // a labelled pixel where two regions met
// The states of unlabelled pixels, without kBorder.
constexpr uint8_t kAbove = 0x00;   // above the current level
constexpr uint8_t kMasked = 0x02;  // at the current level, not reached
constexpr uint8_t kQueued = 0x04;  // at the current level, queued for growth
constexpr uint8_t kPushed = 0x08;  // with kMasked: on the exploration's stack already
constexpr uint8_t kExplored = 0x10;  // at the current level, explored as part of a plateau;
                                      // no other state has this bit
// The label a pixel waiting for its round carries while its counting neighbours disagree
// (regions are numbered from 1).
constexpr int32_t kContested = 0;
// At the current level, reached by growth and waiting for its round, by the round's parity.
// Growth over a plateau meets no masked or pushed pixel (they are all explored by then), so
// there a waiting pixel of a given parity is the only one with that bit: one test finds it.
constexpr uint8_t Waiting(uint32_t round) { return round % 2 ? kQueued : kPushed; }
constexpr uint8_t kKind = static_cast<uint8_t>(~kBorder);

constexpr bool Unexplored(uint8_t state) {
    return (state & static_cast<uint8_t>(kKind & ~kPushed)) == kMasked;
}
constexpr bool Settled(uint8_t state) { return (state & kSettled) != 0; }

// Eight consecutive states, tested together (each test looks at every byte alike, so the
// byte order of the word does not matter).
class StateWord {
public:
    explicit StateWord(const uint8_t* states) { std::memcpy(&word_, states, sizeof word_); }

    bool NoneSettled() const { return !((word_ | word_ << 1) & kHigh); }  // either top bit
    bool NoneUnexplored() const { return UnexploredBytes() == 0; }
    bool AllUnexplored() const { return UnexploredBytes() == kHigh; }
    bool NoneOnBorder() const { return !(word_ & kEach * kBorder); }
    bool AllUnexploredInside() const { return AllUnexplored() && NoneOnBorder(); }

private:
    static constexpr uint64_t kEach = 0x0101010101010101u;
    static constexpr uint64_t kHigh = kEach * 0x80;
    // The top bit of each byte that is kMasked, with or without kPushed and kBorder.
    uint64_t UnexploredBytes() const {
        const uint64_t kind = word_ & kEach * static_cast<uint8_t>(kKind & ~kPushed);
        const uint64_t differs = kind ^ kEach * kMasked;
        const uint64_t nonzero = (((differs & ~kHigh) + ~kHigh) | differs) & kHigh;
        return nonzero ^ kHigh;
    }

    uint64_t word_;
};

// Sixteen consecutive states, tested together: in a few vector operations where the build
// targets SSE2 (x86-64 always does), else as two StateWords.
class StateBlock {
public:
#if defined(__SSE2__)
    explicit StateBlock(const uint8_t* states)
        : bytes_(_mm_loadu_si128(reinterpret_cast<const __m128i*>(states))) {}

    // A 16-bit shift moves each byte's kCountsInEvenRounds bit to its kCountsInOddRounds bit.
    bool NoneSettled() const {
        return _mm_movemask_epi8(_mm_or_si128(bytes_, _mm_slli_epi16(bytes_, 1))) == 0;
    }
    bool NoneUnexplored() const { return Unexplored(kKind & ~kPushed) == 0; }
    bool AllUnexplored() const { return Unexplored(kKind & ~kPushed) == 0xFFFF; }
    // Unexplored and off the border: kMasked, perhaps with kPushed, and nothing else.
    bool AllUnexploredInside() const {
        return Unexplored(static_cast<uint8_t>(~kPushed)) == 0xFFFF;
    }

private:
    // Bit i: state i is kMasked in the bits of `kind`.
    int Unexplored(int kind) const {
        const __m128i bits = _mm_and_si128(bytes_, _mm_set1_epi8(static_cast<char>(kind)));
        return _mm_movemask_epi8(_mm_cmpeq_epi8(bits, _mm_set1_epi8(static_cast<char>(kMasked))));
    }

    __m128i bytes_;
#else
    explicit StateBlock(const uint8_t* states) : low_(states), high_(states + 8) {}

    bool NoneSettled() const { return low_.NoneSettled() && high_.NoneSettled(); }
    bool NoneUnexplored() const { return low_.NoneUnexplored() && high_.NoneUnexplored(); }
    bool AllUnexplored() const { return low_.AllUnexplored() && high_.AllUnexplored(); }
    bool AllUnexploredInside() const {
        return low_.AllUnexploredInside() && high_.AllUnexploredInside();
    }

private:
    StateWord low_, high_;
#endif
};

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

// Runs of the level in a row longer than kShortRun pixels are checked for seeds kBlock
// pixels at a time.
constexpr uint32_t kShortRun = 8;
constexpr uint32_t kBlock = 32;

// The number of bits set (blocks are short: a loop over the set bits will do).
uint32_t PopCount(uint32_t bits) {
    uint32_t n = 0;
    for (; bits; bits &= bits - 1) ++n;
    return n;
}

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
            // Levels of grain, whose plateaus are a pixel or two, grow level-wide without a
            // branch to mispredict; levels with long runs go plateau by plateau.
            const Rest rest = SeedAndMark(begin, end, level);
            if (rest.stretches) {
                SettlePlateaus(rest.count, level);
            } else {
                Grow(FindSecondRound(rest.count, level), level);
                NameNewMinima(rest.count);
            }
            begin = end;
        }
        // Every pixel is settled now; the state becomes the boundary byte.
        uint8_t* const state = state_;
        for (size_t i = 0; i < count; ++i)
            state[i] = static_cast<uint8_t>((state[i] & kFlagged) - 1u);  // 0 or 255
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
    // The other pixels of the level go, in order, to the rest list (see SettlePlateaus).
    //
    // Ties are in position order, so pixels of the level that follow each other in a row
    // follow each other in the order too. Flat content has long such runs; SeedRun takes
    // them.
    struct Rest {
        size_t count;     // entries in the rest list
        bool stretches;   // whether one is a stretch
    };
    Rest SeedAndMark(size_t begin, size_t end, Sample level) {
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
        bool stretches = false;
        for (size_t j = begin; j < end; ++j) {
            const uint32_t p = order[j];
            // The order increases within a level: entries that differ by as much as they lie
            // apart enclose consecutive pixels, a run for SeedRun.
            if (j + kShortRun < end && order[j + kShortRun] == p + kShortRun &&
                !(state[p] & kBorder)) {
                const RunSeeded run = SeedRun(j, level, count);
                count = run.count;
                stretches |= run.stretches;
                j += run.length - 1;
                continue;
            }
            if (j < ahead) {
                const size_t at = order[j + kLookAhead];
                // What the seed test and the outcome will read: the pixel's state and label,
                // and the rows above and below in the channel and in the labels.
                Prefetch(state + at);
                Prefetch(label + at);
                if (at >= width) {
                    Prefetch(channel + at - width);
                    Prefetch(label + at - width);
                }
                Prefetch(channel + std::min(at + width, last));
                Prefetch(label + std::min(at + width, last));
            }
            if (state[p] & kBorder) {  // rare, so the branch is predicted
                state[p] = kMasked | kBorder;
                rest[count++] = p;
                continue;
            }
            count = SeedPixel(p, level, count, channel, label, state, rest, picks, around);
        }
        return {count, stretches};
    }

    // Whether the eight pixels from p on are of the level and off the border, all in p's row.
    // `levels` holds eight copies of the level: the channel holds no NaN and no -0, so equal
    // samples are equal bits, and the test is one comparison of memory.
    bool RunGoesOn(uint32_t p, const Sample (&levels)[8]) const {
        if (grid_.Size() - p < 8) return false;
        return std::memcmp(channel_ + p, levels, sizeof levels) == 0 &&
               StateWord(state_ + p).NoneOnBorder();
    }

    // One pixel of the level, off the border, with `count` entries in the rest list: settles
    // it if it is a seed, lists it otherwise. Returns the new count. (Hot loops hand it their
    // locals, see Around.)
    static size_t SeedPixel(uint32_t p, Sample level, size_t count, const Sample* channel,
                            int32_t* label, uint8_t* state, uint32_t* rest,
                            const LabelPicks<kCount>& picks, Around<C4> around) {
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
        return count + !seed;
    }

    // The run of the level in a row that starts at order[j], off the border and longer than
    // kShortRun pixels. Inside the run only the rows above and below can hold lower pixels: a
    // block whose neighbours there are all at or above the level holds no seed, and the
    // pixels without lower neighbours go to the rest list as stretches.
    struct RunSeeded {
        size_t count;       // entries in the rest list
        uint32_t length;    // pixels in the run
        bool stretches;     // whether a stretch was listed
    };
    RunSeeded SeedRun(size_t j, Sample level, size_t count) {
        const uint32_t* const order = order_;
        const Sample* const channel = channel_;
        int32_t* const label = label_;
        uint8_t* const state = state_;
        uint32_t* const rest = rest_;
        const LabelPicks<kCount>& picks = picks_;
        const Around<C4> around(grid_);
        const uint32_t width = grid_.Width();
        const uint32_t first = order[j];
        // The run ends where the row leaves the level, or before the border, where the row
        // ends (pixels of the level in a row follow each other in the order as in the row).
        uint32_t last = first;
        Sample levels[8];
        std::fill_n(levels, 8, level);
        while (RunGoesOn(last + 1, levels)) last += 8;
        while (channel[last + 1] == level && !(state[last + 1] & kBorder)) ++last;

        bool stretches = false;
        // The first pixel's left neighbour may be lower.
        count = SeedPixel(first, level, count, channel, label, state, rest, picks, around);
        if (last == first) return {count, 1, false};  // the row ended right after it
        uint32_t p = first + 1;
        uint32_t stretch = p;  // the pixels from here to p hold no seed and are not listed
        const auto listUpTo = [&](uint32_t end) {  // lists stretch..end - 1
            if (end - stretch >= 2) {
                rest[count++] = end - 1;
                rest[count++] = stretch;
                stretches = true;
            } else if (end - stretch == 1) {
                rest[count++] = stretch;
            }
            stretch = end;
        };
        // The pixels inside, a block at a time (the last may be shorter): their left and
        // right neighbours are of the level. Most hold no seed: all start masked, and seeds
        // are settled over it.
        std::fill(state + p, state + last, kMasked);
        while (p < last) {
            const uint32_t n = std::min(kBlock, last - p);
            const Sample* const above = channel + (p - width) - (C4 ? 0 : 1);
            const Sample* const below = channel + (p + width) - (C4 ? 0 : 1);
            // The lowest of them, as a reduction that compilers turn into vector operations.
            Sample lowest = above[0];
            for (uint32_t i = 0; i < n + (C4 ? 0 : 2); ++i)
                lowest = std::min(lowest, std::min(above[i], below[i]));
            if (!(lowest < level)) {
                p += n;
                continue;
            }
            listUpTo(p);
            if (SeedFromOneSide(p, n, level)) {
                p += n;
                stretch = p;
                continue;
            }
            // Which have lower neighbours: if many (grain), each goes the way of the main
            // walk, without a branch; if few, the others stay in the stretch.
            uint32_t lowered = 0;  // bit i: pixel p + i
            for (uint32_t i = 0; i < n; ++i) {
                bool lower = false;
                for (int k = 0; k < (C4 ? 1 : 3); ++k)
                    lower |= (above[i + k] < level) | (below[i + k] < level);
                lowered |= static_cast<uint32_t>(lower) << i;
            }
            if (PopCount(lowered) > n / 4) {
                for (uint32_t i = 0; i < n; ++i, ++p)
                    count = SeedPixel(p, level, count, channel, label, state, rest, picks, around);
                stretch = p;
                continue;
            }
            for (uint32_t i = 0; i < n; ++i, ++p) {
                if (!(lowered >> i & 1u)) continue;  // stays in the stretch
                listUpTo(p);
                count = SeedPixel(p, level, count, channel, label, state, rest, picks, around);
                stretch = p + 1;
            }
        }
        listUpTo(last);
        // The last pixel's right neighbour may be lower.
        count = SeedPixel(last, level, count, channel, label, state, rest, picks, around);
        return {count, last - first + 1, stretches};
    }

    // The n pixels from p on, inside a run, if every one of them has lower neighbours on one
    // side only (the row above, or below) and they all carry one label there, as on a ramp:
    // then each of them is a seed whose counting neighbours agree, and takes their label
    // unflagged. Returns whether they were such pixels, and seeded.
    bool SeedFromOneSide(uint32_t p, uint32_t n, Sample level) {
        const Sample* const channel = channel_;
        int32_t* const label = label_;
        const uint32_t width = grid_.Width();
        const uint32_t span = n + (C4 ? 0 : 2);  // the neighbours in one row
        const uint32_t start = p - (C4 ? 0 : 1);
        bool allAbove = true, allBelow = true, anyAbove = false, anyBelow = false;
        for (uint32_t i = 0; i < span; ++i) {
            const bool up = channel[start - width + i] < level;
            const bool down = channel[start + width + i] < level;
            allAbove &= up;
            anyAbove |= up;
            allBelow &= down;
            anyBelow |= down;
        }
        const bool fromAbove = allAbove && !anyBelow, fromBelow = allBelow && !anyAbove;
        if (!fromAbove && !fromBelow) return false;
        const int32_t* const side = label + (fromAbove ? start - width : start + width);
        if (C4) {
            std::copy(side, side + n, label + p);
        } else {
            for (uint32_t i = 1; i < span; ++i)
                if (side[i] != side[0]) return false;
            std::fill(label + p, label + p + n, side[0]);
        }
        std::fill_n(state_ + p, n, kSettled);
        return true;
    }

    // Growth level-wide, for levels of grain.

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
                uint8_t any = 0;  // one test for all: either settled bit of any neighbour
                for (int j = 0; j < kCount; ++j) any |= state[p + around.Offset(j)];
                touches = Settled(any);
            } else {
                around.ForEach(p, true, [&](int, ptrdiff_t offset) {
                    touches |= Settled(state[p + offset]) && channel[p + offset] == level;
                });
            }
            // Bit operations, not a selection: the compiler may turn that into a branch, which
            // grain makes mispredict.
            const uint8_t touchBits = static_cast<uint8_t>(-static_cast<int>(touches));
            state[p] = static_cast<uint8_t>(own ^ (touchBits & (kMasked ^ kQueued)));
            queue[tail] = p;
            tail += touches;
        }
        return tail;
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

    // Growth plateau by plateau, for levels with long runs.

    // A plateau: the pixels of the level that are no seeds, connected to each other. Growth
    // reaches it from the seeds next to it; if there are none, it is a new minimum.
    struct Plateau {
        uint32_t lastRun;   // the runs are chained through label[] (see Explore)
        uint32_t runs;
        bool seeded;        // a seed touches it
        bool contested;     // the labels around it differ
        int32_t label;      // the first of them
        size_t contacts;    // pixels next to a seed listed at the end of the queue, or...
        bool listed;        // ...false if they did not fit
    };

    // What growth would do to each plateau of the level, in the order's order of their first
    // pixels. On a plateau whose every counting neighbour carries one label L (the seeds next
    // to it, and the lower neighbours of its border pixels), every pixel takes L and none is
    // flagged: by induction over the rounds, the counting neighbours of a pixel are seeds,
    // pixels of earlier rounds or lower neighbours, all labelled L. So only contested plateaus
    // need the rounds; the others are filled, new minima with a new label.
    //
    // The rest list holds the level's pixels that are no seeds, ascending: a pixel alone, or a
    // stretch of a row as two entries, its last pixel and then its first. An entry followed
    // by a smaller one is therefore a stretch, and the list never outgrows the pixels.
    void SettlePlateaus(size_t restCount, Sample level) {
        const uint32_t* const rest = rest_;
        int32_t regions = regions_;
        for (size_t k = 0; k < restCount; ++k) {
            uint32_t p = rest[k];
            if (k + 1 < restCount && rest[k + 1] < p) p = rest[++k];
            if (!Unexplored(state_[p])) continue;  // part of an earlier plateau
            // A plateau that no seed touches is a new minimum, whatever its border pixels'
            // lower neighbours carry: growth never reaches it.
            const Plateau plateau = Explore(p, level);
            if (!(plateau.seeded && plateau.contested)) {
                regions += !plateau.seeded;
                Fill(plateau, plateau.seeded ? plateau.label : regions);
                continue;
            }
            if (plateau.listed)
                GrowFromContacts(plateau, level);
            else
                GrowListed(List(plateau), level);
        }
        regions_ = regions;
    }

    // Lists the pixels of a plateau explored by runs in the queue; returns how many.
    size_t List(const Plateau& plateau) {
        uint32_t* const queue = queue_;
        size_t size = 0;
        ForEachRun(plateau, [&](uint32_t first, uint32_t last) {
            for (uint32_t p = first; p <= last; ++p) queue[size++] = p;
        });
        return size;
    }

    // The end of a row: only a border pixel can be one, so only those pay a division.
    bool StartsRow(uint32_t p) const {
        return (state_[p] & kBorder) && p % grid_.Width() == 0;
    }
    bool EndsRow(uint32_t p) const {
        return (state_[p] & kBorder) && p % grid_.Width() == grid_.Width() - 1;
    }

    // A scan-line flood over the unexplored pixels connected to `start`, one run of a row at a
    // time. Each run is marked explored and chained: its first pixel's label entry, free until
    // the plateau is labelled, holds the first pixel of the run explored before it, and the
    // second pixel's, if the run has one, its last pixel (see RunAt). The stack (in the queue)
    // holds pixels where runs still to be explored start; a pixel is pushed at most once.
    // Every settled pixel next to the plateau (in the connectivity) is a seed or a lower
    // neighbour of a border pixel, and counts for the pixels next to it.
    Plateau Explore(uint32_t start, Sample level) {
        const Sample* const channel = channel_;
        int32_t* const label = label_;
        uint8_t* const state = state_;
        uint32_t* const stack = queue_;
        const uint32_t width = grid_.Width(), count = grid_.Size();
        Plateau plateau{0, 0, false, false, 0, 0, true};
        bool labelled = false;
        size_t top = 0;
        // Growth will start from the pixels next to a seed (round 2): each such pixel and
        // seed are listed from the end of the queue, two entries, as long as the stack and
        // they leave a third of the queue free (growth lists round 2 from its start).
        const size_t capacity = size_t{count} + 1;
        const auto contact = [&](uint32_t p, uint32_t seed) {
            if (!plateau.listed) return;
            if (3 * (plateau.contacts + 1) + top > capacity) {
                plateau.listed = false;
                return;
            }
            stack[capacity - 1 - 2 * plateau.contacts] = p;
            stack[capacity - 2 - 2 * plateau.contacts] = seed;
            ++plateau.contacts;
        };
        // A settled pixel q next to the pixels first..last of a run; those within the run
        // and next to q are in round 2 if q is a seed.
        const auto counts = [&](uint32_t q, uint32_t first, uint32_t last) {
            const int32_t theirs = label[q];
            if (!labelled) plateau.label = theirs;
            labelled = true;
            plateau.contested |= theirs != plateau.label;
            if (channel[q] != level) return;  // a lower neighbour of a border pixel
            plateau.seeded = true;
            for (uint32_t p = first; p <= last; ++p) contact(p, q);
        };
        // The unexplored stretches of a neighbouring row between a and b, each pushed by its
        // first pixel; the settled pixels there count. Inside a plateau the row is explored
        // already or unexplored throughout: sixteen or eight states at a time are skipped then.
        // `shift` leads from the row scanned to the run's row; first..last is the run.
        const auto scan = [&](uint32_t a, uint32_t b, ptrdiff_t shift, uint32_t first,
                              uint32_t last) {
            bool inside = false;  // within an unexplored stretch
            for (uint32_t q = a; q <= b; ++q) {
                if (b - q >= 15) {  // sixteen at a time, the same way
                    const StateBlock w(state + q);
                    if (w.NoneSettled()) {
                        const bool none = w.NoneUnexplored();
                        if (none || (inside && w.AllUnexplored())) {
                            inside = !none;
                            q += 15;
                            continue;
                        }
                    }
                }
                if (b - q >= 7) {
                    const StateWord w(state + q);
                    if (w.NoneSettled() && (w.NoneUnexplored() || (inside && w.AllUnexplored()))) {
                        inside = !w.NoneUnexplored();
                        q += 7;
                        continue;
                    }
                }
                const uint8_t s = state[q];
                if (Settled(s)) {
                    const uint32_t below = static_cast<uint32_t>(q + shift);  // in the run's row
                    counts(q, C4 ? below : std::max(below, first + 1) - 1,
                           C4 ? below : std::min(below + 1, last));
                    inside = false;
                } else if (Unexplored(s)) {
                    if (!inside && !(s & kPushed)) {
                        state[q] = static_cast<uint8_t>(s | kPushed);
                        stack[top++] = q;
                        // The stack has the queue's start; listed contacts give way.
                        if (3 * plateau.contacts + top > capacity) plateau.listed = false;
                    }
                    inside = true;
                } else {
                    inside = false;
                }
            }
        };
        state[start] |= kPushed;
        stack[top++] = start;
        while (top > 0) {
            const uint32_t p = stack[--top];
            if (!Unexplored(state[p])) continue;  // explored with a run pushed later
            // The run: sixteen or eight at a time while they are unexplored and off the
            // border, so that the row goes on.
            uint32_t first = p, last = p;
            while (first >= 16 && StateBlock(state + first - 16).AllUnexploredInside()) first -= 16;
            while (first >= 8 && StateWord(state + first - 8).AllUnexploredInside()) first -= 8;
            while (!StartsRow(first) && Unexplored(state[first - 1])) --first;
            while (count - last > 16 && StateBlock(state + last + 1).AllUnexploredInside())
                last += 16;
            while (count - last > 8 && StateWord(state + last + 1).AllUnexploredInside()) last += 8;
            while (!EndsRow(last) && Unexplored(state[last + 1])) ++last;
            MarkRun(first, last, kExplored);
            label[first] = static_cast<int32_t>(plateau.lastRun);
            if (last != first) label[first + 1] = static_cast<int32_t>(last);
            plateau.lastRun = first;
            ++plateau.runs;
            const bool openLeft = !StartsRow(first), openRight = !EndsRow(last);
            if (openLeft && Settled(state[first - 1])) counts(first - 1, first, first);
            if (openRight && Settled(state[last + 1])) counts(last + 1, last, last);
            const uint32_t a = C4 || !openLeft ? first : first - 1;
            const uint32_t b = C4 || !openRight ? last : last + 1;
            const ptrdiff_t down = static_cast<ptrdiff_t>(width);
            if (first >= width) scan(a - width, b - width, down, first, last);
            if (first < count - width) scan(a + width, b + width, -down, first, last);
        }
        return plateau;
    }

    // Sets the states of pixels first..last of one row to `kind`, keeping their border bits:
    // off the top and bottom rows only the ends of a run can be on the border.
    void MarkRun(uint32_t first, uint32_t last, uint8_t kind) {
        uint8_t* const state = state_;
        const uint32_t width = grid_.Width();
        if (first < width || last >= grid_.Size() - width) {
            for (uint32_t p = first; p <= last; ++p)
                state[p] = static_cast<uint8_t>((state[p] & kBorder) | kind);
            return;
        }
        // The ends are read before and written after the fill: reading a byte just written
        // by the fill's wide stores would wait for them.
        const uint8_t left = static_cast<uint8_t>((state[first] & kBorder) | kind);
        const uint8_t right = static_cast<uint8_t>((state[last] & kBorder) | kind);
        std::fill(state + first, state + last + 1, kind);
        state[first] = left;
        state[last] = right;
    }

    // The run of an explored plateau that starts at `first`: its last pixel, and the first
    // pixel of the run chained after it.
    struct RunSpan {
        uint32_t last;
        uint32_t next;
    };
    RunSpan RunAt(uint32_t first) const {
        const bool more = !EndsRow(first) && (state_[first + 1] & kKind) == kExplored;
        return {more ? static_cast<uint32_t>(label_[first + 1]) : first,
                static_cast<uint32_t>(label_[first])};
    }

    // Calls visit(first, last) for every run of the plateau; visit may change the run's
    // states and labels.
    template <typename Visit>
    void ForEachRun(const Plateau& plateau, Visit&& visit) {
        uint32_t first = plateau.lastRun;
        for (uint32_t run = 0; run < plateau.runs; ++run) {
            const RunSpan r = RunAt(first);
            visit(first, r.last);
            first = r.next;
        }
    }

    void Fill(const Plateau& plateau, int32_t region) {
        int32_t* const label = label_;
        ForEachRun(plateau, [&](uint32_t first, uint32_t last) {
            std::fill(label + first, label + last + 1, region);
            MarkRun(first, last, kSettled);
        });
    }

    // A contested plateau grows round by round, as Grow does, but each pixel carries the
    // label its counting neighbours agree on: whoever reaches a pixel first hands it its
    // label, and every other pixel of the same round that reaches it (a counting neighbour
    // too) compares. Where all agree, growth's outcome is that label, unflagged; only where
    // they differ, and on the border (lower neighbours count there), is the outcome resolved
    // from the counting neighbours as Grow does. Pixels reached in round r wait as
    // kWaiting(r): a pixel of round r - 1 compares with those, not with the pixels of its own
    // round that wait.
    //
    // Round 2 is the pixels next to a seed, which Explore listed with their seeds at the end
    // of the queue; it goes to the queue's start.
    void GrowFromContacts(const Plateau& plateau, Sample level) {
        int32_t* const label = label_;
        uint8_t* const state = state_;
        uint32_t* const queue = queue_;
        const size_t capacity = size_t{grid_.Size()} + 1;
        size_t tail = 0;
        for (size_t k = 0; k < plateau.contacts; ++k) {
            const uint32_t p = queue[capacity - 1 - 2 * k];
            const int32_t theirs = label[queue[capacity - 2 - 2 * k]];
            const uint8_t own = state[p];
            if ((own & kKind) == kExplored) {
                state[p] = static_cast<uint8_t>((own & kBorder) | Waiting(2));
                label[p] = theirs;
                queue[tail++] = p;
            } else if (label[p] != theirs) {
                label[p] = kContested;
            }
        }
        GrowAgreed(tail, level);
    }

    // The same when the contacts did not fit: round 2 is found among the plateau's pixels,
    // listed in the queue, and the list cut down to it in place. Off the border, a pixel that
    // is no seed has no lower neighbour, so a settled neighbour is a seed; on the border the
    // channel tells.
    void GrowListed(size_t size, Sample level) {
        const Sample* const channel = channel_;
        int32_t* const label = label_;
        uint8_t* const state = state_;
        uint32_t* const queue = queue_;
        const Around<C4> around(grid_);
        size_t tail = 0;
        for (size_t k = 0; k < size; ++k) {
            const uint32_t p = queue[k];
            const uint8_t border = state[p] & kBorder;
            bool touches = false;
            int32_t agreed = 0;
            around.ForEach(p, border, [&](int, ptrdiff_t offset) {
                const uint32_t q = static_cast<uint32_t>(p + offset);
                if (!Settled(state[q]) || (border && channel[q] != level)) return;
                agreed = touches && agreed != label[q] ? kContested : label[q];
                touches = true;
            });
            if (!touches) continue;
            state[p] = static_cast<uint8_t>(border | Waiting(2));
            label[p] = agreed;
            queue[tail++] = p;
        }
        GrowAgreed(tail, level);
    }

    // Bit k: neighbour k of p, a border pixel, lies below the level (and so counts).
    uint32_t LowerNeighbours(uint32_t p, Sample level, const Around<C4>& around) const {
        const Sample* const channel = channel_;
        uint32_t lower = 0;
        around.ForEach(p, true, [&](int k, ptrdiff_t offset) {
            lower |= static_cast<uint32_t>(channel[p + offset] < level) << k;
        });
        return lower;
    }

    // Rounds 2 onward from the `tail` pixels of round 2 in the queue; the plateau's other
    // pixels are explored. Its pixels keep the bit of their round's parity: a pixel of round
    // r meets pixels of rounds r - 1 to r + 1 only.
    void GrowAgreed(size_t tail, Sample level) {
        int32_t* const label = label_;
        uint8_t* const state = state_;
        uint32_t* const queue = queue_;
        const LabelPicks<kCount>& picks = picks_;
        const Around<C4> around(grid_);
        uint32_t round = 2;
        int shift = CountsShift(round);
        uint8_t grown = GrownIn(round), next = Waiting(round + 1);
        for (size_t head = 0, roundEnd = tail; head < tail;) {
            if (head == roundEnd) {
                roundEnd = tail;
                ++round;
                shift = CountsShift(round);
                grown = GrownIn(round);
                next = Waiting(round + 1);
            }
            const uint32_t p = queue[head++];
            const uint8_t border = state[p] & kBorder;
            int32_t own = label[p];
            uint8_t flagged = 0;
            if (border || own == kContested) {
                uint32_t counting = border ? LowerNeighbours(p, level, around) : 0;
                around.ForEach(p, border, [&](int k, ptrdiff_t offset) {
                    counting |= static_cast<uint32_t>(state[p + offset] >> shift & 1u) << k;
                });
                // Whoever reached p counts for it, so `counting` is never empty here.
                const Outcome outcome = Resolve<kCount>(label + p, picks[counting]);
                own = label[p] = outcome.label;
                flagged = outcome.flagged;
            }
            state[p] = static_cast<uint8_t>(border | grown | flagged);
            // Neighbours are addressed from p's own entries: one addressing mode per access.
            uint8_t* const stateAt = state + p;
            int32_t* const labelAt = label + p;
            around.ForEach(p, border, [&](int, ptrdiff_t offset) {
                const uint8_t theirs = stateAt[offset];
                if (theirs & kExplored) {
                    stateAt[offset] = static_cast<uint8_t>((theirs & kBorder) | next);
                    labelAt[offset] = own;
                    queue[tail++] = static_cast<uint32_t>(p + offset);
                } else if ((theirs & next) && labelAt[offset] != own) {
                    labelAt[offset] = kContested;
                }
            });
        }
    }

    // Rounds 2 onward, from the `tail` pixels queued by FindSecondRound. Each round is the
    // stretch of the queue that the previous round appended; every pixel enters the queue
    // once, so it never holds more than the level's pixels.
    void Grow(size_t tail, Sample level) {
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
            if (own & kBorder) counting |= LowerNeighbours(p, level, around);
            // Whoever queued p counts for it, so `counting` is never empty here.
            const Outcome outcome = Resolve<kCount>(label + p, picks[counting]);
            label[p] = outcome.label;
            state[p] = static_cast<uint8_t>((own & kBorder) | GrownIn(round) | outcome.flagged);
        }
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
