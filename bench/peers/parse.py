# the same matching written out by hand: key=value pairs, then a list of values
def main():
    parts = []
    for i in range(1, 200001):
        parts.append("k" + str(i) + "=" + str(i % 1000) + ";")
    s = "".join(parts)
    total = 0
    i, n = 0, len(s)
    while i < n:
        if not ("a" <= s[i] <= "z"):
            break
        i += 1
        j = i
        while i < n and "0" <= s[i] <= "9":
            i += 1
        if i == j or i >= n or s[i] != "=":
            break
        i += 1
        j = i
        while i < n and "0" <= s[i] <= "9":
            i += 1
        if i == j:
            break
        total += int(s[j:i])
        if i >= n or s[i] != ";":
            break
        i += 1
    b = []
    for k in range(1, 500001):
        b.append(k)
        b.append("w")
    count = 0
    for v in b:
        if isinstance(v, int):
            count += 1
        elif v != "w":
            break
    print(total, count)

main()
