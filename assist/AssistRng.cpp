#include "assist/AssistRng.h"

#include <cmath>

namespace {

uint64_t SplitMix(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

} // namespace

CAssistRng::CAssistRng(uint64_t seed) {
    for (uint64_t& s : m_state)
        s = SplitMix(seed);
}

uint64_t CAssistRng::Next() {
    const uint64_t result = Rotl(m_state[1] * 5, 7) * 9;
    const uint64_t t = m_state[1] << 17;
    m_state[2] ^= m_state[0];
    m_state[3] ^= m_state[1];
    m_state[1] ^= m_state[2];
    m_state[0] ^= m_state[3];
    m_state[2] ^= t;
    m_state[3] = Rotl(m_state[3], 45);
    return result;
}

double CAssistRng::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

int CAssistRng::UniformInt(int low, int high) {
    if (high <= low)
        return low;
    const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(high) - low) + 1;
    // Rejection keeps every value equally likely: draws above the largest multiple of span are redrawn.
    const uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    uint64_t r = Next();
    while (r >= limit)
        r = Next();
    return static_cast<int>(static_cast<int64_t>(low) + static_cast<int64_t>(r % span));
}

double CAssistRng::Normal(double mean, double sigma) {
    double u = Uniform();
    while (u <= 0.0)
        u = Uniform();
    const double v = Uniform();
    return mean + sigma * std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * 3.14159265358979323846 * v);
}
