#!/usr/bin/env python3
"""Writes boot/qor.ico: a 32x32 32-bit icon (a blue disc with a white ring).
Run once; the icon is committed."""
import struct, math, sys

W = H = 32
pixels = bytearray()
for y in range(H - 1, -1, -1):          # BMP rows go bottom-up
    for x in range(W):
        d = math.hypot(x - 15.5, y - 15.5)
        if d <= 15:
            ring = 8.5 <= d <= 11.5
            b, g, r = (255, 255, 255) if ring else (200, 90, 30)
            pixels += bytes((b, g, r, 255))
        else:
            pixels += bytes((0, 0, 0, 0))
mask = bytes(((W + 31) // 32) * 4 * H)  # all-zero AND mask: alpha decides
header = struct.pack('<IiiHHIIiiII', 40, W, H * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
image = header + pixels + mask
ico = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', W, H, 0, 0, 1, 32, len(image), 22) + image
open(sys.argv[1] if len(sys.argv) > 1 else 'boot/qor.ico', 'wb').write(ico)
