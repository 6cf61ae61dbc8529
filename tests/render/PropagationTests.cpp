#include "render/LabelPropagator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct TestMap {
    std::vector<LabelCell> cells;
    LabelMap map;

    TestMap(int width, int height) : cells(static_cast<size_t>(width) * height, LabelCell{}) {
        map.width = map.boundsWidth = width;
        map.height = map.boundsHeight = height;
        map.cells = cells.data();
    }
    LabelCell& at(int x, int y) { return cells[static_cast<size_t>(y) * map.width + x]; }
    void seed(int x, int y, uint16_t label) {
        LabelCell& c = at(x, y);
        c.label0 = label;
        c.cost0 = 0;
        c.seed = 1;
    }
    void paint(const std::function<int(int, int)>& intensity) {
        for (int y = 0; y < map.height; ++y)
            for (int x = 0; x < map.width; ++x)
                at(x, y).intensity = static_cast<uint8_t>(intensity(x, y));
    }
};

std::string describe(const LabelCell& c) {
    std::ostringstream s;
    s << "[" << c.label0 << ":" << c.cost0 << " " << c.label1 << ":" << c.cost1 << " " << c.label2
      << ":" << c.cost2 << " i" << int(c.intensity) << (c.seed ? " seed" : "") << "]";
    return s.str();
}

bool sameCell(const LabelCell& a, const LabelCell& b) {
    return a.label0 == b.label0 && a.cost0 == b.cost0 && a.label1 == b.label1 &&
           a.cost1 == b.cost1 && a.label2 == b.label2 && a.cost2 == b.cost2 &&
           a.intensity == b.intensity && a.seed == b.seed;
}

int labelCount(const LabelCell& c) {
    return (c.label0 != 0) + (c.label1 != 0) + (c.label2 != 0);
}

bool carries(const LabelCell& c, uint16_t label) {
    return c.label0 == label || c.label1 == label || c.label2 == label;
}

// ---- A plain reference of the same search --------------------------------------------------
// The heap rules written as plainly as possible, one level at a time, on whole items.
struct Arrival {
    int x, y, label, cost;
};

class PlainHeap {
public:
    bool empty() const { return a_.empty(); }
    size_t size() const { return a_.size(); }
    void push(const Arrival& item) {
        a_.push_back(item);
        climb(a_.size() - 1);
    }
    Arrival pop() {
        const Arrival front = a_[0];
        const Arrival last = a_.back();
        a_.pop_back();
        if (a_.empty())
            return front;
        size_t hole = 0;
        while (2 * hole + 1 < a_.size()) {
            const size_t l = 2 * hole + 1, r = l + 1;
            size_t child = l;
            if (r < a_.size() && a_[r].cost <= a_[l].cost)
                child = r;
            a_[hole] = a_[child];
            hole = child;
        }
        a_[hole] = last;
        climb(hole);
        return front;
    }

private:
    void climb(size_t i) {
        while (i > 0 && a_[(i - 1) / 2].cost > a_[i].cost) {
            std::swap(a_[(i - 1) / 2], a_[i]);
            i = (i - 1) / 2;
        }
    }
    std::vector<Arrival> a_;
};

void referencePropagate(std::vector<LabelCell>& cells, int w, int h) {
    const double factor = std::pow(1.0 / 0.1 - 1.0, 1.0 / 4.0);
    PlainHeap heap;
    auto cell = [&](int x, int y) -> LabelCell& { return cells[static_cast<size_t>(y) * w + x]; };
    auto offer = [&](int x, int y, int label, int cost) {
        const int dx[4] = {-1, 1, 0, 0};
        const int dy[4] = {0, 0, -1, 1};
        for (int k = 0; k < 4; ++k) {
            const int nx = x + dx[k], ny = y + dy[k];
            if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                continue;
            const LabelCell& to = cell(nx, ny);
            const int c = std::min(65535, cost + std::abs(cell(x, y).intensity - to.intensity));
            if (to.seed != 0 || carries(to, static_cast<uint16_t>(label)))
                continue;
            if (to.label0 != 0 && to.cost0 * factor < c)
                continue;
            heap.push(Arrival{nx, ny, label, c});
        }
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (cell(x, y).seed != 0)
                offer(x, y, cell(x, y).label0, cell(x, y).cost0);
    while (!heap.empty()) {
        const Arrival a = heap.pop();
        LabelCell& c = cell(a.x, a.y);
        if (carries(c, static_cast<uint16_t>(a.label)))
            continue;
        for (int k = 0; k < 3; ++k) {
            if (c.label(k) == 0) {
                c.set(k, static_cast<uint16_t>(a.label), static_cast<uint16_t>(a.cost));
                offer(a.x, a.y, a.label, a.cost);
                break;
            }
        }
    }
}

// With `storage`, the queue's room comes from there (as a sequence's frames share it).
void expectMatchesReference(TestMap& m, const std::string& what, LabelQueue* storage = nullptr) {
    std::vector<LabelCell> expected = m.cells;
    referencePropagate(expected, m.map.width, m.map.height);
    ASSERT_TRUE(storage != nullptr ? propagateLabels(m.map, *storage) : propagateLabels(m.map));
    int shown = 0;
    for (size_t i = 0; i < expected.size() && shown < 5; ++i) {
        if (!sameCell(m.cells[i], expected[i])) {
            ADD_FAILURE() << what << ": cell (" << i % m.map.width << "," << i / m.map.width
                          << ") got " << describe(m.cells[i]) << " want " << describe(expected[i]);
            ++shown;
        }
    }
}

// ---- Neighbours ----------------------------------------------------------------------------

// Equal costs keep the order of the pushes in the queue: expand offers left, right, up, down,
// leaving out what lies off the map.
TEST(Neighbours, OfferedLeftRightUpDown) {
    TestMap m(4, 3);
    LabelPropagator p(m.map);
    auto offered = [&](uint16_t x, uint16_t y) {
        p.queue.clear();
        p.expand(x, y, LabelSlot{2, 0});
        std::vector<std::pair<int, int>> at;
        for (size_t i = 0; i < p.queue.size(); ++i)
            at.emplace_back(p.queue[i].x, p.queue[i].y);
        return at;
    };
    using V = std::vector<std::pair<int, int>>;
    EXPECT_EQ(offered(1, 1), (V{{0, 1}, {2, 1}, {1, 0}, {1, 2}}));
    EXPECT_EQ(offered(0, 0), (V{{1, 0}, {0, 1}}));
    EXPECT_EQ(offered(3, 2), (V{{2, 2}, {3, 1}}));
    EXPECT_EQ(offered(2, 0), (V{{1, 0}, {3, 0}, {2, 1}}));
}

TEST(Neighbours, BorderCellsOfferToThreeAndCornersToTwo) {
    TestMap m(3, 3);
    LabelPropagator p(m.map);
    auto offers = [&](uint16_t x, uint16_t y) {
        p.queue.clear();
        p.expand(x, y, LabelSlot{2, 0});
        return p.queue.size();
    };
    EXPECT_EQ(offers(1, 1), 4u);
    EXPECT_EQ(offers(1, 0), 3u);
    EXPECT_EQ(offers(0, 1), 3u);
    EXPECT_EQ(offers(2, 1), 3u);
    EXPECT_EQ(offers(1, 2), 3u);
    EXPECT_EQ(offers(0, 0), 2u);
    EXPECT_EQ(offers(2, 2), 2u);
    EXPECT_EQ(offers(2, 0), 2u);
    EXPECT_EQ(offers(0, 2), 2u);

    TestMap line(1, 1);
    LabelPropagator single(line.map);
    single.expand(0, 0, LabelSlot{2, 0});
    EXPECT_TRUE(single.queue.empty());
}

// ---- Queue ---------------------------------------------------------------------------------

TEST(PropagationQueue, EqualCostsLeaveInTheHeapsOwnOrder) {
    // Four equal costs a, b, c, d. Popping a lets the hole sink to the right child (c), and d
    // is placed behind it: the order is a, c, b, d, neither first-in-first-out nor what a
    // sift-down of the last item from the top would give (a, d, ...).
    TestMap m(8, 1);
    LabelPropagator p(m.map);
    for (uint16_t id = 0; id < 4; ++id)
        p.queue.push(QueueItem{id, 0, 2, 5});
    std::vector<int> order;
    while (!p.queue.empty())
        order.push_back(p.queue.pop().x);
    EXPECT_EQ(order, (std::vector<int>{0, 2, 1, 3}));
}

TEST(PropagationQueue, PopsCheapestFirstAndOnlyChildIsTaken) {
    TestMap m(8, 1);
    LabelPropagator p(m.map);
    for (uint16_t c : {9, 4, 7, 1, 4, 8})
        p.queue.push(QueueItem{c, 0, 2, c});
    std::vector<int> costs;
    while (!p.queue.empty())
        costs.push_back(p.queue.pop().cost);
    EXPECT_EQ(costs, (std::vector<int>{1, 4, 4, 7, 8, 9}));
}

// Random pushes and pops with many equal costs, in heaps small and large enough for every
// depth of the sink.
void expectQueueMatchesPlainHeap(uint32_t seed, int steps, int pushPercent, int costRange) {
    std::mt19937 rng(seed);
    TestMap m(2, 2);
    LabelPropagator p(m.map);
    PlainHeap plain;
    uint16_t id = 0;
    for (int step = 0; step < steps; ++step) {
        if (plain.empty() || static_cast<int>(rng() % 100) < pushPercent) {
            const uint16_t cost = static_cast<uint16_t>(rng() % costRange);
            p.queue.push(QueueItem{id, static_cast<uint16_t>(id >> 3), 2, cost});
            plain.push(Arrival{id, id >> 3, 2, cost});
            ++id;
        } else {
            const Arrival want = plain.pop();
            const QueueItem got = p.queue.pop();
            ASSERT_EQ(got.x, want.x) << "seed " << seed << " step " << step;
            ASSERT_EQ(got.cost, want.cost);
        }
        ASSERT_EQ(p.queue.size(), plain.size());
    }
    while (!plain.empty())
        ASSERT_EQ(p.queue.pop().x, plain.pop().x);
}

TEST(PropagationQueue, MatchesThePlainHeapOnRandomTies) {
    for (uint32_t seed = 0; seed < 60; ++seed)
        expectQueueMatchesPlainHeap(seed, 500, 55 + seed % 10, 1 + seed % 6);
}

TEST(PropagationQueue, MatchesThePlainHeapWhenDeep) {
    expectQueueMatchesPlainHeap(1, 200000, 60, 3);
    expectQueueMatchesPlainHeap(2, 200000, 52, 300);
}

// ---- Propagation ---------------------------------------------------------------------------

TEST(Propagation, OneSeedFillsAUniformImageAtCostZero) {
    TestMap m(9, 7);
    m.paint([](int, int) { return 77; });
    m.seed(4, 3, 2);
    ASSERT_TRUE(propagateLabels(m.map));
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 9; ++x) {
            const LabelCell& c = m.at(x, y);
            EXPECT_EQ(c.label0, 2);
            EXPECT_EQ(c.cost0, 0);
            EXPECT_EQ(c.label1, 0) << x << "," << y;
        }
    }
}

TEST(Propagation, TwoSeedsBothReachEveryPixelOfAUniformImage) {
    TestMap m(11, 6);
    m.paint([](int, int) { return 200; });
    m.seed(1, 1, 2);
    m.seed(9, 4, 3);
    std::vector<LabelCell> before = m.cells;
    ASSERT_TRUE(propagateLabels(m.map));
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 11; ++x) {
            const LabelCell& c = m.at(x, y);
            if (c.seed)
                continue;
            EXPECT_TRUE((c.label0 == 2 && c.label1 == 3) || (c.label0 == 3 && c.label1 == 2))
                << x << "," << y << " " << describe(c);
            EXPECT_EQ(c.cost0, 0);
            EXPECT_EQ(c.cost1, 0);
            EXPECT_EQ(c.label2, 0);
        }
    }
    EXPECT_TRUE(sameCell(m.at(1, 1), before[1 * 11 + 1]));
    EXPECT_TRUE(sameCell(m.at(9, 4), before[4 * 11 + 9]));
}

TEST(Propagation, BrightnessStepOfTwoHundredStopsEachLabelAtTheStep) {
    TestMap m(20, 5);
    m.paint([](int x, int) { return x < 10 ? 20 : 220; });
    m.seed(2, 2, 2);
    m.seed(17, 2, 3);
    ASSERT_TRUE(propagateLabels(m.map));
    int crossed = 0;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 20; ++x) {
            const LabelCell& c = m.at(x, y);
            const uint16_t own = x < 10 ? 2 : 3, other = x < 10 ? 3 : 2;
            EXPECT_EQ(c.label0, own) << x << "," << y;
            EXPECT_EQ(c.cost0, 0);
            EXPECT_EQ(c.label2, 0);
            if (x == 9 || x == 10) {
                // The other side's label may sit beside the step, at the step's cost, when it
                // was queued before the own label settled the cell; it goes no further.
                if (c.label1 != 0) {
                    EXPECT_EQ(c.label1, other);
                    EXPECT_EQ(c.cost1, 200);
                    ++crossed;
                }
            } else {
                EXPECT_EQ(c.label1, 0) << x << "," << y << " " << describe(c);
            }
        }
    }
    EXPECT_GT(crossed, 0) << "the flood fronts reach the step at the same cost; some cross";
    TestMap again(20, 5);
    again.paint([](int x, int) { return x < 10 ? 20 : 220; });
    again.seed(2, 2, 2);
    again.seed(17, 2, 3);
    expectMatchesReference(again, "step");
}

struct AdmissionCase {
    int stepCost;
    bool admitted;
};

// Without it the test names print the record's bytes, padding included.
void PrintTo(const AdmissionCase& c, std::ostream* os) {
    *os << "step cost " << c.stepCost << (c.admitted ? ", admitted" : ", refused");
}

class Admission : public ::testing::TestWithParam<AdmissionCase> {};

TEST_P(Admission, SecondLabelWithinRootThreeOfTheFirstIsKept) {
    // Cell 1 already holds label 2 at cost 10; label 3 arrives from the seed at cell 0.
    TestMap m(3, 1);
    m.paint([&](int x, int) { return x == 1 ? GetParam().stepCost : 0; });
    m.seed(0, 0, 3);
    m.at(1, 0).label0 = 2;
    m.at(1, 0).cost0 = 10;
    LabelPropagator p(m.map);
    EXPECT_NEAR(p.admissionFactor, 1.7320508, 1e-7);
    p.expand(0, 0, LabelSlot{3, 0});
    EXPECT_EQ(p.queue.size(), GetParam().admitted ? 1u : 0u);
    ASSERT_TRUE(p.run());
    EXPECT_EQ(m.at(1, 0).label1, GetParam().admitted ? 3 : 0);
    EXPECT_EQ(m.at(1, 0).cost1, GetParam().admitted ? GetParam().stepCost : 0);
}

INSTANTIATE_TEST_SUITE_P(Propagation, Admission,
                         ::testing::Values(AdmissionCase{17, true}, AdmissionCase{18, false},
                                           AdmissionCase{10, true}, AdmissionCase{0, true}));

TEST(Propagation, AdmissionUsesTheSlotCostToo) {
    TestMap m(2, 1);
    m.paint([](int x, int) { return x == 1 ? 5 : 0; });
    m.at(1, 0).label0 = 2;
    m.at(1, 0).cost0 = 10;
    LabelPropagator p(m.map);
    p.expand(0, 0, LabelSlot{3, 12}); // 12 + 5 = 17
    EXPECT_EQ(p.queue.size(), 1u);
    p.queue.clear();
    p.expand(0, 0, LabelSlot{3, 13}); // 18
    EXPECT_EQ(p.queue.size(), 0u);
}

TEST(Propagation, FullCellTakesNoFourthLabel) {
    TestMap m(3, 1);
    m.paint([](int, int) { return 50; });
    m.seed(0, 0, 5);
    m.at(1, 0).set(0, 2, 10);
    m.at(1, 0).set(1, 3, 10);
    m.at(1, 0).set(2, 4, 10);
    const LabelCell before = m.at(1, 0);
    LabelPropagator p(m.map);
    p.expand(0, 0, LabelSlot{5, 0});
    EXPECT_EQ(p.queue.size(), 1u) << "admitted at push time";
    ASSERT_TRUE(p.run());
    EXPECT_TRUE(sameCell(m.at(1, 0), before)) << describe(m.at(1, 0));
    EXPECT_EQ(labelCount(m.at(2, 0)), 0) << "a dropped arrival is not expanded";
}

TEST(Propagation, SeedsKeepTheirOwnLabelAndBlockOthers) {
    TestMap m(4, 1);
    m.paint([](int, int) { return 10; });
    m.seed(1, 0, 2);
    m.seed(2, 0, 3);
    ASSERT_TRUE(propagateLabels(m.map));
    EXPECT_EQ(describe(m.at(1, 0)), "[2:0 0:0 0:0 i10 seed]");
    EXPECT_EQ(describe(m.at(2, 0)), "[3:0 0:0 0:0 i10 seed]");
    EXPECT_EQ(describe(m.at(0, 0)), "[2:0 0:0 0:0 i10]");
    EXPECT_EQ(describe(m.at(3, 0)), "[3:0 0:0 0:0 i10]");
}

TEST(Propagation, SeedsWithASlotCostSpreadFromThatCost) {
    TestMap m(3, 1);
    m.paint([](int x, int) { return x * 4; });
    m.seed(0, 0, 2);
    m.at(0, 0).cost0 = 100;
    ASSERT_TRUE(propagateLabels(m.map));
    EXPECT_EQ(m.at(1, 0).cost0, 104);
    EXPECT_EQ(m.at(2, 0).cost0, 108);
}

TEST(Propagation, CostsSaturateInsteadOfWrapping) {
    // Alternating black and white: every step costs 255, so column x is reached at 255 x
    // until the sum passes 65535 after 257 steps.
    TestMap m(300, 1);
    m.paint([](int x, int) { return x % 2 ? 255 : 0; });
    m.seed(0, 0, 2);
    ASSERT_TRUE(propagateLabels(m.map));
    for (int x = 1; x < 300; ++x) {
        ASSERT_EQ(m.at(x, 0).label0, 2);
        ASSERT_EQ(m.at(x, 0).cost0, std::min(65535, 255 * x)) << x;
    }
}

TEST(Propagation, SaturatedCostsStillAdmitBySaturatedComparison) {
    // Near the ceiling, a second label arriving "above 65535" is compared as 65535.
    TestMap m(2, 1);
    m.paint([](int x, int) { return x == 1 ? 255 : 0; });
    m.at(1, 0).label0 = 2;
    m.at(1, 0).cost0 = 40000; // 40000 * 1.73 > 65535
    LabelPropagator p(m.map);
    p.expand(0, 0, LabelSlot{3, 65500});
    ASSERT_EQ(p.queue.size(), 1u);
    EXPECT_EQ(p.queue[0].cost, 65535);
}

TEST(Propagation, FrameWithoutSeedsStaysUnlabelled) {
    TestMap m(6, 5);
    m.paint([](int x, int y) { return x * 30 + y; });
    const std::vector<LabelCell> before = m.cells;
    ASSERT_TRUE(propagateLabels(m.map));
    for (size_t i = 0; i < before.size(); ++i)
        ASSERT_TRUE(sameCell(m.cells[i], before[i]));
}

TEST(Propagation, SeedOfLabelZeroSpreadsNothingAndEnds) {
    TestMap m(5, 5);
    m.seed(2, 2, 0);
    ASSERT_TRUE(propagateLabels(m.map));
    for (const LabelCell& c : m.cells)
        EXPECT_EQ(labelCount(c), 0);
}

TEST(Propagation, MapsBeyondSixteenBitPositionsAreRefused) {
    TestMap wide(65536, 1);
    wide.seed(0, 0, 2);
    EXPECT_FALSE(propagationSupports(wide.map));
    EXPECT_FALSE(propagateLabels(wide.map));
    EXPECT_EQ(labelCount(wide.at(1, 0)), 0);
    LabelPropagator p(wide.map);
    p.expand(0, 0, LabelSlot{2, 0});
    EXPECT_TRUE(p.queue.empty());
    p.queue.push(QueueItem{1, 0, 2, 0});
    EXPECT_FALSE(p.run());

    TestMap widest(65535, 1);
    widest.seed(0, 0, 2);
    EXPECT_TRUE(propagateLabels(widest.map));
    EXPECT_EQ(widest.at(65534, 0).label0, 2);

    TestMap tall(1, 65536);
    EXPECT_FALSE(propagateLabels(tall.map));

    TestMap none(4, 4);
    none.map.cells = nullptr;
    EXPECT_FALSE(propagateLabels(none.map));

    TestMap bounds(4, 4);
    bounds.map.boundsWidth = 5; // would address a fifth column the cells do not have
    EXPECT_FALSE(propagateLabels(bounds.map));
}

TEST(Propagation, PositionsOffTheMapAreIgnored) {
    TestMap m(4, 4);
    LabelPropagator p(m.map);
    p.expand(4, 0, LabelSlot{2, 0});
    p.expand(0, 4, LabelSlot{2, 0});
    EXPECT_TRUE(p.queue.empty());
    p.queue.push(QueueItem{9, 9, 2, 0});
    p.queue.push(QueueItem{1, 1, 0, 7}); // unlabelled: nothing to settle
    EXPECT_TRUE(p.run());
    for (const LabelCell& c : m.cells)
        EXPECT_TRUE(sameCell(c, LabelCell{})) << describe(c);
}

// ---- Against the reference -----------------------------------------------------------------

void randomScene(TestMap& m, std::mt19937& rng) {
    const int w = m.map.width, h = m.map.height;
    switch (rng() % 4) {
    case 0: // flat with a few hard edges: many equal costs
        m.paint([&](int x, int y) { return (x * 3 + y * 5) % 17 < 8 ? 40 : 41; });
        break;
    case 1: { // smooth shading with noise
        const double fx = 0.1 + (rng() % 100) / 200.0, fy = 0.1 + (rng() % 100) / 300.0;
        std::uniform_int_distribution<int> noise(-6, 6);
        m.paint([&](int x, int y) {
            const double v = 128 + 70 * std::sin(x * fx) + 50 * std::cos(y * fy) + noise(rng);
            return std::clamp(static_cast<int>(v), 0, 255);
        });
        break;
    }
    case 2: // pure noise: admission decides often
        m.paint([&](int, int) { return static_cast<int>(rng() % 256); });
        break;
    default: { // regions of a few grey levels
        const int cx = static_cast<int>(rng() % w), cy = static_cast<int>(rng() % h);
        m.paint([&](int x, int y) { return (x < cx) * 90 + (y < cy) * 60 + (x + y) % 3; });
    }
    }
    const int strokes = 1 + static_cast<int>(rng() % 5);
    for (int s = 0; s < strokes; ++s) {
        const uint16_t label = static_cast<uint16_t>(2 + rng() % 5);
        int x = static_cast<int>(rng() % w), y = static_cast<int>(rng() % h);
        const int length = 1 + static_cast<int>(rng() % 8);
        for (int k = 0; k < length; ++k) {
            m.seed(x, y, label);
            if (rng() % 2)
                x = std::clamp(x + static_cast<int>(rng() % 3) - 1, 0, w - 1);
            else
                y = std::clamp(y + static_cast<int>(rng() % 3) - 1, 0, h - 1);
        }
    }
}

TEST(Propagation, MatchesThePlainReferenceOnRandomScenes) {
    std::mt19937 rng(4242);
    LabelQueue shared; // every other scene reuses the room the scenes before left
    for (int i = 0; i < 300; ++i) {
        const int w = 1 + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 30);
        TestMap m(w, h);
        randomScene(m, rng);
        expectMatchesReference(m, "scene " + std::to_string(i), i % 2 ? &shared : nullptr);
        EXPECT_TRUE(shared.empty());
        if (HasFailure())
            break;
    }
}

} // namespace
