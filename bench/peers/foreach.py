def main():
    b = []
    for i in range(1, 1000001):
        b.append(i)
    n = 0
    for _ in range(10):
        for v in b:
            n += 1
    print(n)

main()
