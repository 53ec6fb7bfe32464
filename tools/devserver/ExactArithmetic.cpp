// Exact money and numeric arithmetic in a 512-bit integer.
#include "ExactArithmetic.h"

#include "SqlErrors.h"
#include "TypesValues.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace devserver {

namespace {

using u128 = unsigned __int128;

/// An unsigned integer of 768 bits (231 digits), least significant limb first. Operands are
/// at most 77 digits with at most 77 of scale, so that no product, sum or scaled dividend of
/// one operation wraps.
struct Wide {
    std::array<uint32_t, 24> limb{};

    static Wide of(u128 v) {
        Wide w;
        for (size_t i = 0; i < 4; ++i)
            w.limb[i] = static_cast<uint32_t>(v >> (32 * i));
        return w;
    }
    [[nodiscard]] bool zero() const {
        for (uint32_t l : limb)
            if (l)
                return false;
        return true;
    }
    void multiplySmall(uint32_t m) {
        uint64_t carry = 0;
        for (uint32_t& l : limb) {
            const uint64_t p = static_cast<uint64_t>(l) * m + carry;
            l = static_cast<uint32_t>(p);
            carry = p >> 32;
        }
    }
    void add(const Wide& b) {
        uint64_t carry = 0;
        for (size_t i = 0; i < limb.size(); ++i) {
            const uint64_t s = static_cast<uint64_t>(limb[i]) + b.limb[i] + carry;
            limb[i] = static_cast<uint32_t>(s);
            carry = s >> 32;
        }
    }
    /// this -= b, with this >= b.
    void subtract(const Wide& b) {
        int64_t borrow = 0;
        for (size_t i = 0; i < limb.size(); ++i) {
            int64_t d = static_cast<int64_t>(limb[i]) - b.limb[i] - borrow;
            borrow = d < 0;
            limb[i] = static_cast<uint32_t>(d + (borrow ? (int64_t{1} << 32) : 0));
        }
    }
    [[nodiscard]] int compare(const Wide& b) const {
        for (size_t i = limb.size(); i-- > 0;)
            if (limb[i] != b.limb[i])
                return limb[i] < b.limb[i] ? -1 : 1;
        return 0;
    }
    [[nodiscard]] Wide times(const Wide& b) const {
        Wide out;
        for (size_t i = 0; i < limb.size(); ++i) {
            if (!limb[i])
                continue;
            uint64_t carry = 0;
            for (size_t j = 0; i + j < limb.size(); ++j) {
                const uint64_t p =
                    static_cast<uint64_t>(limb[i]) * b.limb[j] + out.limb[i + j] + carry;
                out.limb[i + j] = static_cast<uint32_t>(p);
                carry = p >> 32;
            }
        }
        return out;
    }
    [[nodiscard]] int topBit() const {
        for (size_t i = limb.size(); i-- > 0;)
            if (limb[i])
                return static_cast<int>(i) * 32 + 31 - __builtin_clz(limb[i]);
        return -1;
    }
    [[nodiscard]] bool bit(int n) const {
        return (limb[static_cast<size_t>(n / 32)] >> (n % 32)) & 1u;
    }
    void shiftLeftOne() {
        uint32_t carry = 0;
        for (uint32_t& l : limb) {
            const uint32_t next = l >> 31;
            l = (l << 1) | carry;
            carry = next;
        }
    }
    /// Quotient of this / d (d not zero), cut toward zero; the remainder in `rest`.
    [[nodiscard]] Wide divide(const Wide& d, Wide& rest) const {
        Wide q;
        rest = Wide{};
        for (int n = topBit(); n >= 0; --n) {
            rest.shiftLeftOne();
            if (bit(n))
                rest.limb[0] |= 1u;
            if (rest.compare(d) >= 0) {
                rest.subtract(d);
                q.limb[static_cast<size_t>(n / 32)] |= 1u << (n % 32);
            }
        }
        return q;
    }
    [[nodiscard]] bool fitsU128(u128& out) const {
        for (size_t i = 4; i < limb.size(); ++i)
            if (limb[i])
                return false;
        out = 0;
        for (size_t i = 4; i-- > 0;)
            out = (out << 32) | limb[i];
        return true;
    }
};

Wide powerOfTenWide(int n) {
    Wide w = Wide::of(1);
    for (; n >= 9; n -= 9)
        w.multiplySmall(1000000000u);
    for (; n > 0; --n)
        w.multiplySmall(10u);
    return w;
}

void scaleUp(Wide& w, int digits) {
    for (; digits >= 9; digits -= 9)
        w.multiplySmall(1000000000u);
    for (; digits > 0; --digits)
        w.multiplySmall(10u);
}

/// A signed exact number: magnitude / 10^scale.
struct Exact {
    bool negative = false;
    Wide magnitude;
    int scale = 0;
};

constexpr int kMaxDigits = 77;

SqlError overflow() {
    return SqlError(kArithmeticOverflow, 16, "Arithmetic overflow occurred.");
}

/// Reads plain decimal text with an optional exponent; false when it is no number.
bool parseExact(std::string_view text, Exact& out) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    out = Exact{};
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        out.negative = text[i++] == '-';
    if (i < text.size() && text[i] == '$')
        ++i;
    bool any = false, point = false, wide = false;
    int digits = 0;
    // The first 38 digits gather in a 128-bit integer; only longer numbers need the wide one.
    u128 narrow = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            any = true;
            if (digits == 0 && c == '0') {
                if (point)
                    ++out.scale;
                continue;
            }
            if (++digits > kMaxDigits)
                throw overflow();
            if (digits <= 38) {
                narrow = narrow * 10 + static_cast<u128>(c - '0');
            } else {
                if (!wide)
                    out.magnitude = Wide::of(narrow);
                wide = true;
                out.magnitude.multiplySmall(10);
                out.magnitude.add(Wide::of(static_cast<u128>(c - '0')));
            }
            if (point)
                ++out.scale;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any)
        return false;
    if (!wide)
        out.magnitude = Wide::of(narrow);
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            negativeExponent = text[i++] == '-';
        int exponent = 0;
        bool expDigits = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            expDigits = true;
            if (exponent < 1000)
                exponent = exponent * 10 + (text[i] - '0');
        }
        if (!expDigits)
            return false;
        if (negativeExponent) {
            out.scale += exponent;
        } else if (exponent <= out.scale) {
            out.scale -= exponent;
        } else {
            if (!out.magnitude.zero() && digits + exponent - out.scale > kMaxDigits)
                throw overflow();
            scaleUp(out.magnitude, exponent - out.scale);
            out.scale = 0;
        }
    }
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i != text.size())
        return false;
    if (out.scale > kMaxDigits) {
        // Digits far below any scale a type has: cut them.
        const int drop = out.scale - kMaxDigits;
        Wide rest;
        if (drop > kMaxDigits)
            out.magnitude = Wide{};
        else
            out.magnitude = out.magnitude.divide(powerOfTenWide(drop), rest);
        out.scale = kMaxDigits;
    }
    return true;
}

/// Shortest decimal text that reads back as `v`.
std::string shortestText(double v) {
    char buffer[40];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, v);
        if (std::strtod(buffer, nullptr) == v)
            break;
    }
    return buffer;
}

SqlError notANumber(std::string_view text) {
    std::string shown(text.substr(0, 60));
    return SqlError(249, 16,
                    "Syntax error during explicit conversion of VARCHAR value '" + shown +
                        "' to a target type.");
}

/// Reads an operand (not NULL).
Exact operand(sqlite3_value* v) {
    Exact out;
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: {
        const int64_t i = sqlite3_value_int64(v);
        out.negative = i < 0;
        out.magnitude =
            Wide::of(out.negative ? static_cast<u128>(-(i + 1)) + 1 : static_cast<u128>(i));
        return out;
    }
    case SQLITE_FLOAT: {
        const double d = sqlite3_value_double(v);
        if (!std::isfinite(d))
            throw overflow();
        if (!parseExact(shortestText(d), out))
            throw overflow();
        return out;
    }
    case SQLITE_TEXT: {
        std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                              static_cast<size_t>(sqlite3_value_bytes(v)));
        if (!parseExact(text, out))
            throw notANumber(text);
        return out;
    }
    default:
        throw notANumber("0x...");
    }
}

/// `w` at `from` digits of scale brought to `to`: rounded half away from zero, or cut.
Wide rescale(const Wide& w, int from, int to, bool round) {
    if (to >= from) {
        Wide out = w;
        scaleUp(out, to - from);
        return out;
    }
    Wide rest;
    const Wide divisor = powerOfTenWide(from - to);
    Wide q = w.divide(divisor, rest);
    if (round) {
        rest.shiftLeftOne();
        if (rest.compare(divisor) >= 0)
            q.add(Wide::of(1));
    }
    return q;
}

struct ResultType {
    ExactKind kind = ExactKind::Numeric;
    int precision = 38;
    int scale = 0;
};

/// Checks `magnitude` (at the type's scale) against the type's range; throws 3606.
u128 checked(bool negative, const Wide& magnitude, const ResultType& type) {
    u128 m = 0;
    if (!magnitude.fitsU128(m))
        throw overflow();
    switch (type.kind) {
    case ExactKind::Numeric:
        if (m > static_cast<u128>(powerOfTen(type.precision)) - 1)
            throw overflow();
        break;
    case ExactKind::Money:
        if (m > (static_cast<u128>(1) << 63) - (negative ? 0 : 1))
            throw overflow();
        break;
    case ExactKind::SmallMoney:
        if (m > (static_cast<u128>(1) << 31) - (negative ? 0 : 1))
            throw overflow();
        break;
    }
    return m;
}

/// Gives `magnitude` / 10^scale as the function's result.
void result(sqlite3_context* ctx, bool negative, u128 magnitude, int scale) {
    if (magnitude == 0)
        return sqlite3_result_int64(ctx, 0);
    const u128 factor = static_cast<u128>(powerOfTen(scale));
    if (magnitude % factor == 0) {
        const u128 whole = magnitude / factor;
        if (whole <= static_cast<u128>(INT64_MAX))
            return sqlite3_result_int64(ctx, negative ? -static_cast<int64_t>(whole)
                                                      : static_cast<int64_t>(whole));
    }
    const __int128 signedValue =
        negative ? -static_cast<__int128>(magnitude) : static_cast<__int128>(magnitude);
    const std::string text = formatDecimal(signedValue, scale);
    // Significant digits only: 0.10 at scale 20 is one digit.
    u128 significant = magnitude;
    for (int s = scale; s > 0 && significant % 10 == 0; --s)
        significant /= 10;
    if (significant < static_cast<u128>(powerOfTen(15)))
        return sqlite3_result_double(ctx, std::strtod(text.c_str(), nullptr));
    sqlite3_result_text64(ctx, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

ResultType resultType(sqlite3_value** argv) {
    ResultType t;
    t.kind = static_cast<ExactKind>(sqlite3_value_int(argv[0]));
    t.precision = std::clamp(sqlite3_value_int(argv[1]), 1, 38);
    t.scale = std::clamp(sqlite3_value_int(argv[2]), 0, 38);
    if (t.kind != ExactKind::Numeric)
        t.scale = 4;
    return t;
}

void fail(sqlite3_context* ctx, const SqlError& e) {
    sqlite3_result_error(ctx, functionErrorText(e).c_str(), -1);
}

/// Adds b to a (signed).
Exact addSigned(Exact a, Exact b) {
    const int scale = std::max(a.scale, b.scale);
    scaleUp(a.magnitude, scale - a.scale);
    scaleUp(b.magnitude, scale - b.scale);
    Exact out;
    out.scale = scale;
    if (a.negative == b.negative) {
        out.negative = a.negative;
        out.magnitude = a.magnitude;
        out.magnitude.add(b.magnitude);
    } else if (a.magnitude.compare(b.magnitude) >= 0) {
        out.negative = a.negative;
        out.magnitude = a.magnitude;
        out.magnitude.subtract(b.magnitude);
    } else {
        out.negative = b.negative;
        out.magnitude = b.magnitude;
        out.magnitude.subtract(a.magnitude);
    }
    return out;
}

void arithFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    try {
        const auto op = static_cast<ExactOp>(sqlite3_value_int(argv[0]));
        const ResultType type = resultType(argv + 3);
        Exact a = operand(argv[1]);
        Exact b = operand(argv[2]);
        bool negative = false;
        Wide magnitude;
        switch (op) {
        case ExactOp::Add:
        case ExactOp::Subtract: {
            if (op == ExactOp::Subtract)
                b.negative = !b.negative;
            Exact sum = addSigned(a, b);
            negative = sum.negative;
            magnitude = rescale(sum.magnitude, sum.scale, type.scale, true);
            break;
        }
        case ExactOp::Multiply:
            negative = a.negative != b.negative;
            magnitude =
                rescale(a.magnitude.times(b.magnitude), a.scale + b.scale, type.scale, true);
            break;
        case ExactOp::Divide: {
            if (b.magnitude.zero())
                throw SqlError(3607, 16, "Divide by zero occurred.");
            negative = a.negative != b.negative;
            // a / b at the result's scale: a * 10^(b.scale - a.scale + scale) / b, cut.
            const int shift = b.scale - a.scale + type.scale;
            Wide numerator = a.magnitude;
            Wide denominator = b.magnitude;
            if (shift >= 0)
                scaleUp(numerator, shift);
            else
                scaleUp(denominator, -shift);
            Wide rest;
            magnitude = numerator.divide(denominator, rest);
            break;
        }
        default:
            return sqlite3_result_null(ctx);
        }
        if (magnitude.zero())
            negative = false;
        result(ctx, negative, checked(negative, magnitude, type), type.scale);
    } catch (const SqlError& e) {
        fail(ctx, e);
    }
}

/// x at the result type's scale, with the sign `sign` makes of its own (zero stays positive).
void resignedResult(sqlite3_context* ctx, sqlite3_value** argv, bool (*sign)(bool negative)) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    try {
        const ResultType type = resultType(argv + 1);
        Exact a = operand(argv[0]);
        Wide magnitude = rescale(a.magnitude, a.scale, type.scale, true);
        const bool negative = sign(a.negative) && !magnitude.zero();
        result(ctx, negative, checked(negative, magnitude, type), type.scale);
    } catch (const SqlError& e) {
        fail(ctx, e);
    }
}

void negateFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resignedResult(ctx, argv, [](bool negative) { return !negative; });
}

/// tovrin_compare(a, b): -1, 0 or 1 as a is below, equal to or above b; NULL when either is.
void compareFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    try {
        Exact a = operand(argv[0]);
        Exact b = operand(argv[1]);
        b.negative = !b.negative;
        const Exact difference = addSigned(a, b);
        sqlite3_result_int(ctx, difference.magnitude.zero() ? 0 : difference.negative ? -1 : 1);
    } catch (const SqlError& e) {
        fail(ctx, e);
    }
}

/// Running state of an exact sum or average (zeroed by SQLite when first used).
struct SumState {
    Wide positive;
    Wide negative;
    int scale;
    int64_t count;
    int error; ///< the number of the first error met, 0 for none
};

void sumStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* state = static_cast<SumState*>(sqlite3_aggregate_context(ctx, sizeof(SumState)));
    if (!state)
        return sqlite3_result_error_nomem(ctx);
    if (state->error || sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return;
    try {
        Exact v = operand(argv[0]);
        if (v.scale > state->scale) {
            scaleUp(state->positive, v.scale - state->scale);
            scaleUp(state->negative, v.scale - state->scale);
            state->scale = v.scale;
        }
        scaleUp(v.magnitude, state->scale - v.scale);
        (v.negative ? state->negative : state->positive).add(v.magnitude);
        ++state->count;
        // Far beyond any type: stop before the accumulator could wrap.
        if (state->positive.topBit() > 400 || state->negative.topBit() > 400)
            throw overflow();
    } catch (const SqlError& e) {
        state->error = e.number();
        fail(ctx, e);
    }
}

/// The signed total of a sum.
Exact total(const SumState& s) {
    Exact out;
    out.scale = s.scale;
    if (s.positive.compare(s.negative) >= 0) {
        out.magnitude = s.positive;
        out.magnitude.subtract(s.negative);
    } else {
        out.negative = true;
        out.magnitude = s.negative;
        out.magnitude.subtract(s.positive);
    }
    return out;
}

/// sqlite3_user_data of the aggregates: the kind in the low byte, the average's scale above.
constexpr int packed(ExactKind kind, int scale) {
    return static_cast<int>(kind) | (scale << 8);
}

/// Numeric at each scale an average may have (0 to 38), then money.
constexpr std::array<int, 40> kAggregateTypes = [] {
    std::array<int, 40> types{};
    for (int scale = 0; scale <= 38; ++scale)
        types[static_cast<size_t>(scale)] = packed(ExactKind::Numeric, scale);
    types[39] = packed(ExactKind::Money, 4);
    return types;
}();

ResultType aggregateType(sqlite3_context* ctx) {
    const int p = *static_cast<const int*>(sqlite3_user_data(ctx));
    ResultType t;
    t.kind = static_cast<ExactKind>(p & 0xff);
    t.scale = p >> 8;
    t.precision = 38;
    return t;
}

void sumFinal(sqlite3_context* ctx) {
    auto* state = static_cast<SumState*>(sqlite3_aggregate_context(ctx, 0));
    if (!state || state->count == 0 || state->error)
        return sqlite3_result_null(ctx);
    try {
        ResultType type = aggregateType(ctx);
        Exact sum = total(*state);
        // A money sum is rounded to the money scale; a numeric one keeps its scale and is
        // checked against the 38 digits of its type.
        const int scale = type.kind == ExactKind::Numeric ? sum.scale : 4;
        type.scale = scale;
        Wide magnitude = rescale(sum.magnitude, sum.scale, scale, true);
        const bool negative = sum.negative && !magnitude.zero();
        result(ctx, negative, checked(negative, magnitude, type), scale);
    } catch (const SqlError& e) {
        fail(ctx, e);
    }
}

void averageFinal(sqlite3_context* ctx) {
    auto* state = static_cast<SumState*>(sqlite3_aggregate_context(ctx, 0));
    if (!state || state->count == 0 || state->error)
        return sqlite3_result_null(ctx);
    try {
        const ResultType type = aggregateType(ctx);
        Exact sum = total(*state);
        // sum / count at the result's scale, cut.
        Wide numerator = sum.magnitude;
        Wide denominator = Wide::of(static_cast<u128>(state->count));
        if (type.scale >= sum.scale)
            scaleUp(numerator, type.scale - sum.scale);
        else
            scaleUp(denominator, sum.scale - type.scale);
        Wide rest;
        Wide magnitude = numerator.divide(denominator, rest);
        const bool negative = sum.negative && !magnitude.zero();
        result(ctx, negative, checked(negative, magnitude, type), type.scale);
    } catch (const SqlError& e) {
        fail(ctx, e);
    }
}

/// tovrin_round(x, digits, kind, precision, scale): x rounded half away from zero to
/// `digits` places after the point (before it when negative), kept at its type's scale.
void roundFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    try {
        const ResultType type = resultType(argv + 2);
        Exact a = operand(argv[0]);
        const int digits = static_cast<int>(
            std::clamp<sqlite3_int64>(sqlite3_value_int64(argv[1]), -kMaxDigits, kMaxDigits));
        Wide magnitude = a.magnitude;
        if (digits < a.scale) {
            // Rounded once at `digits`, then back to the value's own scale.
            const int drop = a.scale - digits;
            magnitude = rescale(magnitude, drop, 0, true);
            scaleUp(magnitude, drop);
        }
        magnitude = rescale(magnitude, a.scale, type.scale, true);
        const bool negative = a.negative && !magnitude.zero();
        result(ctx, negative, checked(negative, magnitude, type), type.scale);
    } catch (const SqlError& e) {
        fail(ctx, e);
    }
}

/// tovrin_abs(x, kind, precision, scale): |x|.
void absFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    resignedResult(ctx, argv, [](bool) { return false; });
}

/// tovrin_sort_key(x): a number as plain decimal text, which the decimal collation orders
/// exactly whatever its size (numbers and texts mixed would be ordered by storage class).
void sortKeyFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
        return sqlite3_result_null(ctx);
    case SQLITE_INTEGER: {
        const std::string text = std::to_string(sqlite3_value_int64(argv[0]));
        return sqlite3_result_text64(ctx, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    case SQLITE_FLOAT: {
        Exact e;
        u128 m = 0;
        const std::string shortest = shortestText(sqlite3_value_double(argv[0]));
        try {
            if (parseExact(shortest, e) && e.magnitude.fitsU128(m) &&
                m <= static_cast<u128>(powerOfTen(38))) {
                const std::string text = formatDecimal(
                    e.negative ? -static_cast<__int128>(m) : static_cast<__int128>(m), e.scale);
                return sqlite3_result_text64(ctx, text.data(), text.size(), SQLITE_TRANSIENT,
                                             SQLITE_UTF8);
            }
        } catch (const SqlError&) {
        }
        return sqlite3_result_text64(ctx, shortest.data(), shortest.size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
    }
    default:
        sqlite3_result_value(ctx, argv[0]);
    }
}

/// Running state of an exact min or max: a copy of the best value so far.
struct ExtremeState {
    sqlite3_value* best;
};

void extremeStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* state = static_cast<ExtremeState*>(sqlite3_aggregate_context(ctx, sizeof(ExtremeState)));
    if (!state)
        return sqlite3_result_error_nomem(ctx);
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return;
    const bool wantMax = sqlite3_user_data(ctx) != nullptr;
    try {
        if (state->best) {
            Exact a = operand(argv[0]);
            Exact b = operand(state->best);
            b.negative = !b.negative;
            const Exact difference = addSigned(a, b);
            if (difference.magnitude.zero() || difference.negative == wantMax)
                return;
            sqlite3_value_free(state->best);
        }
        state->best = sqlite3_value_dup(argv[0]);
        if (!state->best)
            sqlite3_result_error_nomem(ctx);
    } catch (const SqlError& e) {
        fail(ctx, e);
    }
}

void extremeFinal(sqlite3_context* ctx) {
    auto* state = static_cast<ExtremeState*>(sqlite3_aggregate_context(ctx, 0));
    if (!state || !state->best)
        return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, state->best);
    sqlite3_value_free(state->best);
    state->best = nullptr;
}

/// Splits plain decimal text into sign, integer digits without leading zeros and fraction
/// digits without trailing zeros; false when it is no plain number.
bool splitDecimal(std::string_view s, bool& negative, std::string_view& whole,
                  std::string_view& fraction) {
    size_t i = 0, n = s.size();
    while (i < n && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    while (n > i && std::isspace(static_cast<unsigned char>(s[n - 1])))
        --n;
    negative = false;
    if (i < n && (s[i] == '-' || s[i] == '+'))
        negative = s[i++] == '-';
    const size_t wholeStart = i;
    while (i < n && s[i] >= '0' && s[i] <= '9')
        ++i;
    whole = s.substr(wholeStart, i - wholeStart);
    fraction = {};
    if (i < n && s[i] == '.') {
        const size_t fracStart = ++i;
        while (i < n && s[i] >= '0' && s[i] <= '9')
            ++i;
        fraction = s.substr(fracStart, i - fracStart);
    }
    if (i != n || (whole.empty() && fraction.empty()))
        return false;
    while (!whole.empty() && whole.front() == '0')
        whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.remove_suffix(1);
    if (whole.empty() && fraction.empty())
        negative = false;
    return true;
}

} // namespace

int compareDecimalNumbers(std::string_view a, std::string_view b, bool& ok) noexcept {
    bool na = false, nb = false;
    std::string_view wa, fa, wb, fb;
    ok = splitDecimal(a, na, wa, fa) && splitDecimal(b, nb, wb, fb);
    if (!ok)
        return 0;
    if (na != nb)
        return na ? -1 : 1;
    int c = 0;
    if (wa.size() != wb.size()) {
        c = wa.size() < wb.size() ? -1 : 1;
    } else if (int w = wa.compare(wb); w != 0) {
        c = w < 0 ? -1 : 1;
    } else if (int f = fa.compare(fb); f != 0) {
        c = f < 0 ? -1 : 1;
    }
    return na ? -c : c;
}

void registerExactFunctions(sqlite3* db) {
    constexpr int kPure = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "tovrin_arith", 6, kPure, nullptr, arithFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tovrin_negate", 4, kPure, nullptr, negateFunction, nullptr,
                            nullptr);
    sqlite3_create_function(db, "tovrin_round", 5, kPure, nullptr, roundFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tovrin_abs", 4, kPure, nullptr, absFunction, nullptr, nullptr);
    sqlite3_create_function(db, "tovrin_sort_key", 1, kPure, nullptr, sortKeyFunction, nullptr,
                            nullptr);
    sqlite3_create_function(db, "tovrin_compare", 2, kPure, nullptr, compareFunction, nullptr,
                            nullptr);
    void* numeric = const_cast<int*>(&kAggregateTypes[0]);
    void* money = const_cast<int*>(&kAggregateTypes[39]);
    sqlite3_create_function(db, "tovrin_sum", 1, kPure, numeric, nullptr, sumStep, sumFinal);
    sqlite3_create_function(db, "tovrin_sum_money", 1, kPure, money, nullptr, sumStep, sumFinal);
    sqlite3_create_function(db, "tovrin_avg_money", 1, kPure, money, nullptr, sumStep,
                            averageFinal);
    static int wantMax = 1;
    sqlite3_create_function(db, "tovrin_min", 1, kPure, nullptr, nullptr, extremeStep,
                            extremeFinal);
    sqlite3_create_function(db, "tovrin_max", 1, kPure, &wantMax, nullptr, extremeStep,
                            extremeFinal);
    for (int scale = 0; scale <= 38; ++scale) {
        const std::string name = "tovrin_avg_" + std::to_string(scale);
        sqlite3_create_function(db, name.c_str(), 1, kPure,
                                const_cast<int*>(&kAggregateTypes[static_cast<size_t>(scale)]),
                                nullptr, sumStep, averageFinal);
    }
}

} // namespace devserver
