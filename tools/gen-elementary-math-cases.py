#!/usr/bin/env python3
"""Writes tests/unit/elementary_math_cases.inc: arguments of the elementary
functions with their correctly rounded results, computed with mpmath at 300
bits and rounded once to the nearest double (subnormals included), as bit
patterns.  The cases are hand-picked hard ones (tiny, huge, subnormal, near
overflow and underflow, near multiples of pi/2, exact powers) and seeded
random ones over each function's range.

Needs python3-mpmath.  Usage:
    tools/gen-elementary-math-cases.py > tests/unit/elementary_math_cases.inc
    tools/gen-elementary-math-cases.py --random N --seed S   (cases only, for checks)
"""
import random
import struct
import sys
from fractions import Fraction

from mpmath import mp, mpf

mp.prec = 300


def bits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def from_bits(b):
    return struct.unpack("<d", struct.pack("<Q", b))[0]


def nearest(v):
    """The mpf v rounded once to the nearest double (ties to even)."""
    sign, man, exp, _ = v._mpf_
    if man == 0:
        return -0.0 if sign else 0.0
    q = Fraction(man) * (Fraction(2) ** exp)
    try:
        f = float(q)   # Fraction rounds correctly, subnormals included
    except OverflowError:
        f = float("inf")
    return -f if sign else f


def log_base(x, base):
    return mp.log(x) / mp.log(base)


FUNCTIONS = {
    "exp": lambda x: mp.exp(x),
    "log": lambda x: mp.log(x),
    "log2": lambda x: log_base(x, 2),
    "log10": lambda x: log_base(x, 10),
    "sin": lambda x: mp.sin(x),
    "cos": lambda x: mp.cos(x),
    "tan": lambda x: mp.tan(x),
    "asin": lambda x: mp.asin(x),
    "acos": lambda x: mp.acos(x),
    "atan": lambda x: mp.atan(x),
    "atan2": lambda y, x: mp.atan2(y, x),
    "pow": lambda x, y: mp.power(x, y),
}


def exact(name, args):
    """The correctly rounded double of name(args), or None when not real."""
    margs = [mpf(a) for a in args]
    if name == "pow" and margs[0] < 0 and margs[1] != int(margs[1]):
        return None
    with mp.workprec(300 + max(0, int(abs(mp.log(abs(margs[0]) + 1, 2))))):
        v = FUNCTIONS[name](*margs)
    return nearest(mpf(v))


def hard_cases():
    tiny = [5e-324, 2.2250738585072014e-308, 1e-300, 2.0 ** -30, 1e-8]
    near_half_pi = [from_bits(bits(1.5707963267948966) + d) for d in (-1, 0, 1)]
    # Doubles close to multiples of pi/2, where reduction loses the most bits.
    close = [6381956970095103 * 2.0 ** 797, 5.319372648326541e255, 1.0e22, 355.0, 103993.0,
             3.141592653589793, 6.283185307179586, 4.71238898038469]
    cases = []
    for x in [0.5, 1.0, -1.0, 10.0, 100.0, -100.0, 709.782712893384, 709.7827128933841, -708.3964185322641,
              -708.5, -740.0, -745.1332191019411, -745.1332191019412, 1e-16, -1e-16, 0.6931471805599453,
              2.0 ** -54, -(2.0 ** -54), 2.0 ** -53, -(2.0 ** -53), 3 * 2.0 ** -53, -3 * 2.0 ** -54,
              2.0 ** -51, 1e-300] + tiny:
        cases.append(("exp", (x,)))
    for name in ("log", "log2", "log10"):
        for x in [1.0, 2.0, 8.0, 10.0, 1000.0, 1e22, 1e23, 0.1, 0.5, 1.0 + 2.0 ** -52, 1.0 - 2.0 ** -53,
                  0.9999, 1.0001, 1.7976931348623157e308, 2.0 ** 1023, 2.0 ** -1022, 2.0 ** -1074, 3.0,
                  0.7071067811865476, 1.4142135623730951, 1e-310] + tiny:
            cases.append((name, (x,)))
    for name in ("sin", "cos", "tan"):
        for x in ([0.5, 1.0, -1.0, 0.7853981633974483, 0.7853981633974484, 2.0, 1e5, -1e5, 1e10,
                   2.0 ** 30, 1e100, -1e200, 1.7976931348623157e308, 2.0 ** -27, 2.0 ** -26, 1e-310]
                  + near_half_pi + close + tiny):
            cases.append((name, (x,)))
    for name in ("asin", "acos"):
        for x in [0.5, -0.5, 1.0, -1.0, 0.99999999, -0.99999999, 1.0 - 2.0 ** -53, -1.0 + 2.0 ** -53,
                  0.7071067811865476, 1e-9, -1e-9, 0.1, 2.0 ** -27, 1e-310] + tiny:
            cases.append((name, (x,)))
    for x in [1.0, -1.0, 0.5, 2.0, 10.0, 1e10, 1e300, -1e300, 2.0 ** 60, 2.0 ** 61, 0.0625, 1.0 / 32,
              0.96875, 1e-310] + tiny:
        cases.append(("atan", (x,)))
    for y, x in [(1.0, 1.0), (1.0, -1.0), (-1.0, -1.0), (1e-300, 1e300), (1e300, 1e-300), (-1e-300, -1e300),
                 (5e-324, 1.0), (5e-324, -1.0), (1e-310, 3e-310), (3.0, 4.0), (1e308, 1e308), (1.0, 1e-30),
                 (2.0, 1e20), (1e-320, 1e-320), (0.5, -1.5)]:
        cases.append(("atan2", (y, x)))
    for x, y in [(10.0, 23.0), (10.0, 22.0), (10.0, -5.0), (2.0, 0.5), (2.0, -1074.0), (2.0, -1075.0),
                 (2.0, 1023.0), (2.0, 1024.0), (0.5, 1074.0), (1.0000000000000002, 2.0 ** 60), (-2.0, 3.0),
                 (-2.0, -3.0), (-1.5, 64.0), (3.0, 40.0), (9.0, 0.5), (1e300, 1.03), (1e-300, 1.5),
                 (0.9999999999999999, -2.0 ** 62), (2.718281828459045, 709.0), (100663297.0, 2.0),
                 (1.5, -1700.0), (7.0, 1.0 / 3.0), (1.0000000000000002, 0.5), (0.9999999999999999, 0.5),
                 (2.0, -1074.0), (0.5, 1075.0), (0.75, 2000.0), (3.0, -681.0), (3 * 2.0 ** -400, 3.0), (1e-310, 0.9), (123456789.0, 2.5)]:
        cases.append(("pow", (x, y)))
    return cases


def random_double(rng, low_exp, high_exp, signed=True):
    m = rng.random() + 1.0
    x = m * 2.0 ** rng.randint(low_exp, high_exp)
    return -x if signed and rng.random() < 0.5 else x


def random_cases(rng, count):
    """`count` arguments per function over its interesting range."""
    cases = []
    for _ in range(count):
        cases.append(("exp", (rng.uniform(-745.0, 709.7),)))
        cases.append(("exp", (random_double(rng, -30, 3),)))
        for name in ("log", "log2", "log10"):
            cases.append((name, (random_double(rng, -1074, 1023, False),)))
            cases.append((name, (rng.uniform(0.5, 2.0),)))
        for name in ("sin", "cos", "tan"):
            cases.append((name, (rng.uniform(-10.0, 10.0),)))
            cases.append((name, (random_double(rng, -20, 1023),)))
        for name in ("asin", "acos"):
            cases.append((name, (rng.uniform(-1.0, 1.0),)))
            cases.append((name, (random_double(rng, -40, -1),)))
        cases.append(("atan", (random_double(rng, -60, 80),)))
        cases.append(("atan2", (random_double(rng, -30, 30), random_double(rng, -30, 30))))
        cases.append(("pow", (random_double(rng, -10, 10, False), rng.uniform(-60.0, 60.0))))
        cases.append(("pow", (rng.uniform(0.0, 3.0), random_double(rng, -5, 8))))
    return cases


def rows(cases):
    for name, args in cases:
        r = exact(name, args)
        if r is None:
            continue
        a = [bits(v) for v in args] + [0] * (2 - len(args))
        yield name, a, bits(r)


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--random":
        count, seed = int(sys.argv[2]), int(sys.argv[4])
        for name, a, r in rows(random_cases(random.Random(seed), count)):
            print("%s %016x %016x %016x" % (name, a[0], a[1], r))
        return
    print("// Generated by tools/gen-elementary-math-cases.py; do not edit.")
    print("// {function, x, y (second argument or 0), correctly rounded result}, as bits.")
    for name, a, r in rows(hard_cases() + random_cases(random.Random(20261210), 100)):
        print('{"%s", 0x%016xull, 0x%016xull, 0x%016xull},' % (name, a[0], a[1], r))


if __name__ == "__main__":
    main()
