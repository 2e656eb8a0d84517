#!/usr/bin/python3
"""Writes the data file of a case from its encode.json, independently of the decoder and encoder.

A decode case's data file is one of its inputs (files/NAME); an encode case's
is the output vexfcbl-encode must write (out/NAME).

    encode_records.py CASEDIR          writes the file encode.json names
    encode_records.py --check CASEDIR  fails when that file differs from what it would write

encode.json: {"output": "files/NAME", "records": [[FIELD, ...], ...]}, a record
being its fields in storage order, each a list:
  ["text", LENGTH, "value"]         EBCDIC (IBM037), blank-padded on the right
  ["text", LENGTH, "value", PAGE]   the same in PAGE (cobdata.text: Python's
                                    codecs, the euro pages 1140-1149 too)
  ["dbcs", CHARS, "value", PAGE]    DISPLAY-1 pairs in PAGE (cobdata.dbcs: iconv)
  ["mixed", LENGTH, [SBCS, DBCS, ...], DBCS-PAGE]  PIC X text in IBM037 with
                                    double-byte runs between SO and SI
  ["zoned", DIGITS, VALUE, SIGN]    SIGN: "none", "trailing", "leading",
                                    "trailing-separate", "leading-separate"
  ["packed", DIGITS, VALUE, SIGNED] packed decimal, sign nibble C/D (F unsigned)
  ["binary", BYTES, VALUE]          two's complement, big-endian
  ["bytes", "HEX"]                  bytes as they are (slack bytes, FILLER)
VALUE is an integer: the digits with the decimal point dropped.

Optional keys frame the records with tests/tools/cobdata.py:
  "framing": {"recfm": "V" or "VB", "little": false, "adjust": 4,
              "extended": false, "block_size": 32760}
             RDWs (and BDWs) written in front of the records; "adjust" is
             added to each length (4: the word counts itself, as z/OS writes it)
  "head", "tail": "HEX"   bytes before the first record, after the last
  "compress": "gzip", "bzip2" or "zstd"   the whole file compressed; --check
             compares its decompressed bytes (compressors differ by version)
"""
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import cobdata  # noqa: E402


def ebcdic_digit(d):
    return 0xF0 | d


def zoned(digits, value, sign):
    text = str(abs(value)).rjust(digits, "0")
    if len(text) != digits:
        raise ValueError(f"{value} does not fit {digits} digits")
    out = bytearray(ebcdic_digit(int(c)) for c in text)
    negative = value < 0
    if sign == "none":
        if negative:
            raise ValueError("an unsigned field holds no negative value")
    elif sign == "trailing":
        out[-1] = (0xD0 if negative else 0xC0) | (out[-1] & 0x0F)
    elif sign == "leading":
        out[0] = (0xD0 if negative else 0xC0) | (out[0] & 0x0F)
    elif sign == "trailing-separate":
        out += "-+"[not negative].encode("cp037")
    elif sign == "leading-separate":
        out = bytearray("-+"[not negative].encode("cp037")) + out
    else:
        raise ValueError(f"unknown sign {sign}")
    return bytes(out)


def packed(digits, value, signed):
    nibbles = [int(c) for c in str(abs(value)).rjust(digits, "0")]
    if len(nibbles) != digits:
        raise ValueError(f"{value} does not fit {digits} digits")
    if len(nibbles) % 2 == 0:
        nibbles.insert(0, 0)
    nibbles.append((0x0D if value < 0 else 0x0C) if signed else 0x0F)
    return bytes(nibbles[i] << 4 | nibbles[i + 1] for i in range(0, len(nibbles), 2))


def binary(size, value):
    return value.to_bytes(size, "big", signed=True)


def field(recipe):
    kind = recipe[0]
    if kind == "text" and len(recipe) > 3:
        return cobdata.text(recipe[2], recipe[1], recipe[3])
    if kind == "text":
        length, value = recipe[1], recipe[2]
        return value.ljust(length).encode("cp037")[:length]
    if kind == "dbcs":
        return cobdata.dbcs(recipe[2], recipe[1], recipe[3])
    if kind == "mixed":
        return cobdata.mixed(recipe[2], recipe[1], "IBM037", recipe[3])
    if kind == "zoned":
        return zoned(recipe[1], recipe[2], recipe[3])
    if kind == "packed":
        return packed(recipe[1], recipe[2], recipe[3])
    if kind == "binary":
        return binary(recipe[1], recipe[2])
    if kind == "bytes":
        return bytes.fromhex(recipe[1])
    raise ValueError(f"unknown field kind {kind}")


def encode(case_dir):
    with open(os.path.join(case_dir, "encode.json")) as f:
        recipe = json.load(f)
    records = [b"".join(field(f) for f in record) for record in recipe["records"]]
    framing = recipe.get("framing")
    if framing is None:
        data = b"".join(records)
    elif framing["recfm"] == "V":
        data = cobdata.variable(records, framing.get("little", False), framing.get("adjust", 4))
    elif framing["recfm"] == "VB":
        data = cobdata.variable_blocked(records, framing.get("block_size", 32760),
                                        framing.get("little", False), framing.get("adjust", 4),
                                        framing.get("extended", False))
    else:
        raise ValueError(f"unknown framing {framing['recfm']}")
    data = bytes.fromhex(recipe.get("head", "")) + data + bytes.fromhex(recipe.get("tail", ""))
    return os.path.join(case_dir, recipe["output"]), data, recipe.get("compress")


def main(argv):
    check = argv[1:2] == ["--check"]
    case_dir = argv[-1]
    path, data, compression = encode(case_dir)
    if check:
        with open(path, "rb") as f:
            stored = f.read()
            if compression is not None:
                stored = cobdata.decompress(stored, compression)
            if stored != data:
                print(f"{path}: not what encode.json gives", file=sys.stderr)
                return 1
        return 0
    with open(path, "wb") as f:
        f.write(data if compression is None else cobdata.compress(data, compression))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
