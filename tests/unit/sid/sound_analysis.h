// Measurements on captured sound: pitch, the strength of a frequency, the
// power in a band, and a peak envelope.
#ifndef TARN_TESTS_UNIT_SID_SOUND_ANALYSIS_H
#define TARN_TESTS_UNIT_SID_SOUND_ANALYSIS_H

#include <cmath>
#include <complex>
#include <vector>

namespace sound {

constexpr double kRate = 48000;

inline std::vector<double> Slice(const std::vector<short>& s, size_t from, size_t n) {
    std::vector<double> x;
    for (size_t i = from; i < from + n && i < s.size(); i++) x.push_back(s[i]);
    double mean = 0;
    for (double v : x) mean += v;
    if (!x.empty()) mean /= x.size();
    for (double& v : x) v -= mean;
    return x;
}

// Frequency from the rising zero crossings (interpolated) of a waveform
// with one rising crossing a period.
inline double Pitch(const std::vector<double>& x) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < x.size(); i++) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            double t = (i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            if (first < 0) first = t;
            last = t;
            crossings++;
        }
    }
    return crossings > 1 ? (crossings - 1) * kRate / (last - first) : 0;
}

// Amplitude of the component at `hz` (Hann window, so a neighbour at least
// a few bins away does not leak in).
inline double Strength(const std::vector<double>& x, double hz) {
    std::complex<double> sum = 0;
    const double n = static_cast<double>(x.size());
    for (size_t i = 0; i < x.size(); i++) {
        double w = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
        sum += x[i] * w * std::polar(1.0, -2 * M_PI * hz * i / kRate);
    }
    return 4 * std::abs(sum) / n;
}

inline void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; i++) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        std::complex<double> w = std::polar(1.0, -2 * M_PI / len);
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk = 1;
            for (size_t k = 0; k < len / 2; k++, wk *= w) {
                std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// Mean power density between lo and hi: Hann-windowed spectra of 1024
// samples, half overlapping, averaged.
inline double BandPower(const std::vector<double>& x, double lo, double hi) {
    const size_t n = 1024;
    std::vector<double> power(n / 2, 0.0);
    int segments = 0;
    for (size_t s = 0; s + n <= x.size(); s += n / 2, segments++) {
        std::vector<std::complex<double>> a(n);
        for (size_t i = 0; i < n; i++) a[i] = x[s + i] * (0.5 - 0.5 * std::cos(2 * M_PI * i / n));
        Fft(a);
        for (size_t k = 0; k < n / 2; k++) power[k] += std::norm(a[k]);
    }
    double total = 0;
    int bins = 0;
    for (size_t k = 0; k < n / 2; k++) {
        double f = k * kRate / n;
        if (f >= lo && f < hi) {
            total += power[k] / segments;
            bins++;
        }
    }
    return total / bins;
}

// Largest magnitude in each window of `w` samples from `from` on.
inline std::vector<double> PeakEnvelope(const std::vector<short>& s, size_t from, size_t w) {
    std::vector<double> env;
    for (size_t i = from; i + w <= s.size(); i += w) {
        double peak = 0;
        for (size_t k = i; k < i + w; k++) peak = std::fmax(peak, std::fabs(static_cast<double>(s[k])));
        env.push_back(peak);
    }
    return env;
}

}  // namespace sound

#endif
