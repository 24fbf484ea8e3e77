"""SipHash-1-3 in plain Python: an independent reference for the native
fixed-key hashes (checked against the published vectors in testdata)."""
import struct

MASK = (1 << 64) - 1


def _rotl(x, b):
    return ((x << b) | (x >> (64 - b))) & MASK


def siphash13(data: bytes, k0: int = 0, k1: int = 0) -> int:
    v0 = k0 ^ 0x736F6D6570736575
    v1 = k1 ^ 0x646F72616E646F6D
    v2 = k0 ^ 0x6C7967656E657261
    v3 = k1 ^ 0x7465646279746573

    def rnd():
        nonlocal v0, v1, v2, v3
        v0 = (v0 + v1) & MASK; v1 = _rotl(v1, 13); v1 ^= v0; v0 = _rotl(v0, 32)
        v2 = (v2 + v3) & MASK; v3 = _rotl(v3, 16); v3 ^= v2
        v0 = (v0 + v3) & MASK; v3 = _rotl(v3, 21); v3 ^= v0
        v2 = (v2 + v1) & MASK; v1 = _rotl(v1, 17); v1 ^= v2; v2 = _rotl(v2, 32)

    n = len(data)
    tail = data[n - n % 8:] + bytes(7 - n % 8) + bytes([n & 0xFF])
    for i in range(0, n - n % 8, 8):
        (m,) = struct.unpack_from("<Q", data, i)
        v3 ^= m; rnd(); v0 ^= m
    (b,) = struct.unpack("<Q", tail)
    v3 ^= b; rnd(); v0 ^= b
    v2 ^= 0xFF
    for _ in range(3):
        rnd()
    return v0 ^ v1 ^ v2 ^ v3


def py_hash(data: bytes) -> int:
    """What hash() returns for an object whose native feed is `data`."""
    h = siphash13(data)
    s = h - (1 << 64) if h >= 1 << 63 else h
    return -2 if s == -1 else s


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v)
