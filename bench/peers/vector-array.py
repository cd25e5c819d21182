# Element-wise arithmetic over the array module's packed arrays of a million
# numbers (bench/qor/vector.qor).
from array import array

N = 1000000

def main():
    a = array('i', [0]) * N
    b = array('d', [0.0]) * N
    for _ in range(10):
        a = array('i', (x + 7 for x in a))
        a = array('i', (x * 3 for x in a))
        a = array('i', (x % 1000 for x in a))
        b = array('d', (x + 2.0 for x in b))
        b = array('d', (x * 0.5 for x in b))
    c = array('i', (x + y for x, y in zip(a, a)))
    d = array('d', (x + y for x, y in zip(b, b)))
    for _ in range(10):
        c = array('i', (x - y for x, y in zip(c, a)))
        d = array('d', (x - y for x, y in zip(d, b)))
    print(c[0], c[-1], d[0], d[-1])

main()
