#!/usr/bin/env python3
"""Writes a system.reg in Wine's text format, about the size a real prefix's has.

    make_registry.py OUT KEYS BYTES PRODUCT_DIR

KEYS keys (the product's key among them) in about BYTES bytes: class, vendor and service keys with
text, number and binary values written as Wine writes them (escapes, dword:, hex: with continued
lines). The product's key holds only "TavoxDirectory". Standard library only.
"""
import sys


def escaped(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def hex_value(name, data):
    # Wine wraps long hex values after about 76 columns with a backslash.
    line = '"%s"=hex:' % name
    out = []
    for i, byte in enumerate(data):
        part = "%02x" % byte + ("," if i + 1 < len(data) else "")
        if len(line) + len(part) > 76:
            out.append(line + "\\")
            line = "  "
        line += part
    out.append(line)
    return "\n".join(out)


def key_paths(count):
    """Key paths in the order Wine writes them (sorted, case ignored)."""
    paths = []
    i = 0
    while len(paths) < count:
        kind = i % 4
        if kind in (0, 1):
            paths.append("Software\\Classes\\.e%05d" % i)
        elif kind == 2:
            paths.append("Software\\V%02d\\S%05d" % (i % 97, i))
        else:
            paths.append("System\\Svc\\S%05d" % i)
        i += 1
    return paths


def values_for(index, budget):
    """The values of one key, about `budget` bytes of them; every fifth key has none."""
    kind = index % 5
    if kind == 0:
        return []
    if kind == 1:
        text = "lib%05d.dll" % index
        return ['@="%s"' % escaped(text + "x" * max(0, budget - len(text) - 6))]
    if kind == 2:
        return ['"Flags"=dword:%08x' % index]
    if kind == 3:
        return [hex_value("Data", bytes((index + j) % 256 for j in range(max(budget // 3, 4))))]
    text = 'Item "%d"' % index
    return ['"Name"="%s"' % escaped(text + "y" * max(0, budget - len(text) - 12))]


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: make_registry.py OUT KEYS BYTES PRODUCT_DIR")
    out, keys, size, product = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    paths = key_paths(keys - 1)
    paths.append("Software\\TAVOX")
    paths.sort(key=str.lower)
    # What the key lines take decides what is left for the values of the keys that have some.
    header_bytes = sum(len(p) + p.count("\\") + len("[]  1700000000\n") for p in paths)
    budget = max(8, (size - header_bytes) // max(1, keys * 4 // 5))
    lines = ["WINE REGISTRY Version 2", ";; All keys relative to \\\\Machine", "", "#arch=win32"]
    for index, path in enumerate(paths):
        lines.append("")
        lines.append("[%s] 1700000000" % path.replace("\\", "\\\\"))
        if path == "Software\\TAVOX":
            lines.append('"TavoxDirectory"="%s"' % escaped(product))
        else:
            lines.extend(values_for(index, budget))
    with open(out, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
