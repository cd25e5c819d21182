# Element-wise arithmetic over lists of a million numbers (bench/qor/vector.qor).
N = 1000000

def main():
    a = [0] * N
    b = [0.0] * N
    for _ in range(10):
        a = [x + 7 for x in a]
        a = [x * 3 for x in a]
        a = [x % 1000 for x in a]
        b = [x + 2.0 for x in b]
        b = [x * 0.5 for x in b]
    c = [x + y for x, y in zip(a, a)]
    d = [x + y for x, y in zip(b, b)]
    for _ in range(10):
        c = [x - y for x, y in zip(c, a)]
        d = [x - y for x, y in zip(d, b)]
    print(c[0], c[-1], d[0], d[-1])

main()
