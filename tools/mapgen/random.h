// The generator's own pseudo-random numbers: a 64-bit mixing sequence and
// integer helpers, so that a seed gives the same map with every compiler
// and standard library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace mapgen {

class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A number in [0, n); n > 0.
    uint32_t below(uint32_t n) {
        return static_cast<uint32_t>(((next() >> 32) * uint64_t{n}) >> 32);
    }

    // A number in [lo, hi]; lo <= hi.
    int32_t between(int32_t lo, int32_t hi) {
        return lo + static_cast<int32_t>(below(static_cast<uint32_t>(hi - lo + 1)));
    }

    // True once in n draws on average.
    bool one_in(uint32_t n) { return below(n) == 0; }

    template <typename T>
    void shuffle(std::vector<T> &items) {
        for (size_t i = items.size(); i > 1; i--)
            std::swap(items[i - 1], items[below(static_cast<uint32_t>(i))]);
    }

  private:
    uint64_t state_;
};

// A seed derived from another one, for a numbered stream.
inline uint64_t derive_seed(uint64_t seed, uint64_t stream) {
    Random mixer(seed ^ (stream * 0xD1B54A32D192ED03ull));
    return mixer.next();
}

}  // namespace mapgen
