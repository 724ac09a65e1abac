#pragma once
/// A seeded random source whose numbers are the same on every system and every library version: the
/// generator of synthetic sheets makes the same bytes from the same seed with it. The engine is
/// xoshiro256** seeded through splitmix64; the distributions are written out here (the standard
/// library's distributions may differ between implementations).

#include <cstdint>

class CAssistRng {
public:
    explicit CAssistRng(uint64_t seed);

    /// The next 64 random bits.
    uint64_t Next();
    /// Uniform in [0, 1), 53 bits.
    double Uniform();
    /// Uniform in [low, high).
    double Uniform(double low, double high) { return low + (high - low) * Uniform(); }
    /// Uniform integer in [low, high], both included; `low` when high < low.
    int UniformInt(int low, int high);
    /// True with probability p.
    bool Chance(double p) { return Uniform() < p; }
    /// Normal with that mean and standard deviation (Box-Muller; one value per call).
    double Normal(double mean = 0.0, double sigma = 1.0);
    /// A seed for an independent stream (another generator, a noise field).
    uint64_t Fork() { return Next() ^ 0x9E3779B97F4A7C15ull; }

private:
    uint64_t m_state[4];
};
