// 2x3 affine transforms and interpolating cubic B-spline paths.
#include <algorithm>
#include <array>
#include <cmath>
#include <new>

#include "Kernels.h"

namespace {

constexpr int32_t kDegree = 3;

// ---- The banded system of a spline path: every row has at most four terms in consecutive
// columns, at most three below and three above the diagonal. Partial pivoting within the band
// moves terms up to six columns right of the diagonal.
class BandSystem {
public:
    static constexpr int32_t kBelow = 3;
    static constexpr int32_t kAbove = 6;
    static constexpr int32_t kWidth = kBelow + kAbove + 1;

    explicit BandSystem(int32_t size) : size_(size), terms_(static_cast<size_t>(size) * kWidth, 0.0), rhs_(size, 0.0) {}

    // Row `row` holds four terms from column `first` on, and the right-hand side.
    void SetRow(int32_t row, int32_t first, const double terms[4], double value) {
        for (int32_t i = 0; i < 4; ++i) At(row, first + i) = terms[i];
        rhs_[row] = value;
    }

    // Gaussian elimination and back substitution; false when the system is singular.
    bool Solve(std::vector<double>& x) {
        for (int32_t col = 0; col < size_; ++col) {
            const int32_t lastRow = std::min(col + kBelow, size_ - 1);
            int32_t pivot = col;
            for (int32_t row = col + 1; row <= lastRow; ++row)
                if (std::abs(At(row, col)) > std::abs(At(pivot, col))) pivot = row;
            if (At(pivot, col) == 0.0) return false;
            const int32_t lastCol = std::min(col + kAbove, size_ - 1);
            if (pivot != col) {
                for (int32_t j = col; j <= lastCol; ++j) std::swap(At(col, j), At(pivot, j));
                std::swap(rhs_[col], rhs_[pivot]);
            }
            for (int32_t row = col + 1; row <= lastRow; ++row) {
                const double factor = At(row, col) / At(col, col);
                if (factor == 0.0) continue;
                for (int32_t j = col; j <= lastCol; ++j) At(row, j) -= factor * At(col, j);
                rhs_[row] -= factor * rhs_[col];
            }
        }
        x.assign(size_, 0.0);
        for (int32_t row = size_ - 1; row >= 0; --row) {
            double sum = rhs_[row];
            for (int32_t j = row + 1; j <= std::min(row + kAbove, size_ - 1); ++j) sum -= At(row, j) * x[j];
            x[row] = sum / At(row, row);
        }
        return true;
    }

private:
    double& At(int32_t row, int32_t col) { return terms_[static_cast<size_t>(row) * kWidth + (col - row + kBelow)]; }

    int32_t size_;
    std::vector<double> terms_;
    std::vector<double> rhs_;
};

// The cubic basis functions of interval i (those of control values i-3..i) and their first and
// second derivatives at t, by the recurrence over the knot differences.
void BasisWithDerivatives(int32_t i, double t, const double* knots, double values[4], double second[4]) {
    std::array<double, kDegree + 1> left{}, right{};
    double table[kDegree + 1][kDegree + 1]{};  // basis values (on and below the diagonal) and knot spans
    table[0][0] = 1.0;
    for (int32_t j = 1; j <= kDegree; ++j) {
        left[j] = t - knots[i + 1 - j];
        right[j] = knots[i + j] - t;
        double saved = 0.0;
        for (int32_t r = 0; r < j; ++r) {
            table[j][r] = right[r + 1] + left[j - r];
            const double temp = table[r][j - 1] / table[j][r];
            table[r][j] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        table[j][j] = saved;
    }
    for (int32_t r = 0; r <= kDegree; ++r) values[r] = table[r][kDegree];
    if (!second) return;
    // Derivatives up to the second (the standard two-row scheme).
    for (int32_t r = 0; r <= kDegree; ++r) {
        double a[2][kDegree + 1]{};
        int32_t s1 = 0, s2 = 1;
        a[0][0] = 1.0;
        double derivative = 0.0;
        for (int32_t k = 1; k <= 2; ++k) {
            double d = 0.0;
            const int32_t rk = r - k, pk = kDegree - k;
            if (r >= k) {
                a[s2][0] = a[s1][0] / table[pk + 1][rk];
                d = a[s2][0] * table[rk][pk];
            }
            const int32_t j1 = rk >= -1 ? 1 : -rk;
            const int32_t j2 = r - 1 <= pk ? k - 1 : kDegree - r;
            for (int32_t j = j1; j <= j2; ++j) {
                a[s2][j] = (a[s1][j] - a[s1][j - 1]) / table[pk + 1][rk + j];
                d += a[s2][j] * table[rk + j][pk];
            }
            if (r <= pk) {
                a[s2][k] = -a[s1][k - 1] / table[pk + 1][r];
                d += a[s2][k] * table[r][pk];
            }
            derivative = d;
            std::swap(s1, s2);
        }
        second[r] = derivative * kDegree * (kDegree - 1);
    }
}

}  // namespace

// ---- Transforms

AffineTransform& ImageMakeRectTransform(AffineTransform& t, const Rect16& rect, double sx, double sy, double angle) {
    const double kx = 2 * sx / (rect.right - rect.left);
    const double ky = 2 * sy / (rect.bottom - rect.top);
    const double ox = (rect.left + rect.right) * sx / (rect.left - rect.right);
    const double oy = (rect.top + rect.bottom) * sy / (rect.top - rect.bottom);
    const double s = std::sin(angle), c = std::cos(angle);
    t.mirror = sx * sy < 0;
    t.a = c * kx;
    t.b = -s * ky;
    t.c = c * ox - s * oy;
    t.d = s * kx;
    t.e = c * ky;
    t.f = c * oy + s * ox;
    return t;
}

AffineTransform& ImageMakeRotation(AffineTransform& t, const Rect16& rect, double angle) {
    const double hx = (rect.right - rect.left) / 2.0;
    const double hy = (rect.bottom - rect.top) / 2.0;
    const double s = std::sin(angle), c = std::cos(angle);
    const double p = std::sqrt(c * c / (hx * hx) + s * s / (hy * hy));
    const double q = std::sqrt(s * s / (hx * hx) + c * c / (hy * hy));
    t.mirror = false;
    t.a = p * c * c + q * s * s;
    t.b = (p - q) * s * c;
    t.d = t.b;
    t.e = q * c * c + p * s * s;
    t.c = -((rect.top + rect.bottom) * t.b + (rect.left + rect.right) * t.a) / 2;
    t.f = -((rect.top + rect.bottom) * t.e + (rect.left + rect.right) * t.d) / 2;
    return t;
}

void ImageInvertTransform(AffineTransform& t) {
    const double k = 1 / (t.a * t.e - t.b * t.d);
    const double a = t.e * k, e = t.a * k, b = -t.b * k, d = -t.d * k;
    t = AffineTransform{t.mirror, a, b, -(t.c * a + t.f * b), d, e, -(t.c * d + t.f * e)};
}

// ---- Splines

int32_t ImageSplineBasis(double t, int32_t m, const double* knots, double out[4]) {
    if (!(t >= knots[3] && t <= knots[m])) return -1;
    // The interval knots[i] <= t < knots[i + 1]; the last one also takes t = knots[m].
    int32_t low = 3, high = m - 1;
    while (low < high) {
        const int32_t middle = (low + high + 1) / 2;
        if (knots[middle] <= t) low = middle;
        else high = middle - 1;
    }
    BasisWithDerivatives(low, t, knots, out, nullptr);
    return low;
}

void ImageSplineEndBasis(int32_t k, const double* knots, double out[8]) {
    double values[4];
    BasisWithDerivatives(k, knots[k], knots, values, out);
    BasisWithDerivatives(k, knots[k + 1], knots, values, out + 4);
}

SplinePath& ImageMakeSplinePath(SplinePath& path, int32_t n, const double* x, const double* y) {
    path = SplinePath{};
    path.pointCount = n;
    path.controlCount = n + 2;
    if (n < 2) return path;
    for (int32_t i = 1; i < n; ++i)
        if (!(x[i] > x[i - 1])) return path;
    try {
        const int32_t m = n + 2;  // control values, and the index of the last point's knot
        path.knots.resize(static_cast<size_t>(n) + 6);
        const double first = x[1] - x[0], last = x[n - 1] - x[n - 2];
        for (int32_t i = 0; i < 3; ++i) {
            path.knots[i] = x[0] - (3 - i) * first;
            path.knots[n + 3 + i] = x[n - 1] + (i + 1) * last;
        }
        std::copy(x, x + n, path.knots.begin() + 3);

        // Row 0 and row m - 1: no bend at either end; rows 1..n: through every point.
        BandSystem system(m);
        double ends[8];
        ImageSplineEndBasis(3, path.knots.data(), ends);
        system.SetRow(0, 0, ends, 0.0);
        ImageSplineEndBasis(m - 1, path.knots.data(), ends);
        system.SetRow(m - 1, m - 4, ends + 4, 0.0);
        for (int32_t i = 0; i < n; ++i) {
            double basis[4];
            const int32_t interval = ImageSplineBasis(x[i], m, path.knots.data(), basis);
            system.SetRow(i + 1, interval - 3, basis, y[i]);
        }
        if (!system.Solve(path.control)) return path;
        path.status = 0;
        path.values.resize(n);
        for (int32_t i = 0; i < n; ++i) path.values[i] = ImageSplineValue(path, x[i]);
    } catch (const std::bad_alloc&) {
        path.status = -1;
    }
    return path;
}

double ImageSplineValue(const SplinePath& path, double t) {
    if (path.status != 0) return 0.0;
    double w[4];
    const int32_t i = ImageSplineBasis(t, path.controlCount, path.knots.data(), w);
    if (i < 0) return 0.0;
    const double* c = path.control.data() + (i - 3);
    return w[0] * c[0] + w[1] * c[1] + w[2] * c[2] + w[3] * c[3];
}
