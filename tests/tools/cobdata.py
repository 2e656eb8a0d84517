"""Mainframe record bytes written independently of vexfcbl's decoder and encoder.

Tests build their data files with this module so that the expected values come
from code that shares nothing with the program under test: each usage is
encoded here from IBM's published storage rules (zoned and packed decimal,
two's complement binary, IBM hexadecimal and IEEE floating point, UTF-16BE
national text), and the framings (RDW/BDW, text lines) from the record formats
of z/OS data sets. Python's own codecs (cp037, cp273, cp500, cp1140, ...)
supply the code pages.

A record is described by `Field`s; `copybook()` writes the matching copybook
text with offsets computed here, so a test never reads offsets from the layout
it is testing.
"""

from __future__ import annotations

import codecs
import random
import struct
from dataclasses import dataclass, field as dc_field
from decimal import Decimal
from fractions import Fraction
from typing import Iterable, Sequence

# Python's codec names for the EBCDIC pages the tests use.
CODECS = {
    "IBM037": "cp037", "IBM273": "cp273", "IBM500": "cp500", "IBM1140": "cp1140",
    "IBM875": "cp875", "IBM1026": "cp1026", "ASCII": "ascii", "UTF-8": "utf-8",
}


# The euro pages are their base pages with the euro sign at 0x9F, where the
# base page has the international currency sign.
EURO_PAGES = {"IBM1140": "cp037", "IBM1141": "cp273", "IBM1148": "cp500"}


def encode_text(value: str, page: str) -> bytes:
    if page in EURO_PAGES:
        return b"".join(b"\x9f" if c == "\u20ac" else c.encode(EURO_PAGES[page]) for c in value)
    return value.encode(codec_of(page))


def codec_of(page: str) -> str:
    try:
        codecs.lookup(CODECS.get(page, page))
        return CODECS.get(page, page)
    except LookupError:
        raise ValueError(f"no Python codec for {page}") from None


def is_ebcdic(page: str) -> bool:
    return page not in ("ASCII", "UTF-8")


def text(value: str, length: int, page: str = "IBM037", justified: bool = False) -> bytes:
    """Alphanumeric DISPLAY: padded with spaces on the right (left when JUSTIFIED)."""
    raw = encode_text(value, page)
    if len(raw) > length:
        raise ValueError(f"{value!r} is longer than {length} bytes")
    pad = encode_text(" ", page) * (length - len(raw))
    return pad + raw if justified else raw + pad


def national(value: str, chars: int) -> bytes:
    """USAGE NATIONAL: UTF-16BE, padded with U+0020."""
    raw = value.encode("utf-16-be")
    if len(raw) > 2 * chars:
        raise ValueError(f"{value!r} is longer than {chars} national characters")
    return raw + " ".encode("utf-16-be") * (chars - len(raw) // 2)


def _digits(value: Decimal | int | str, digits: int, scale: int) -> tuple[str, bool]:
    """The `digits` decimal digits of value * 10^scale and its sign."""
    d = Decimal(str(value))
    unscaled = d.scaleb(scale)
    if unscaled != unscaled.to_integral_value():
        raise ValueError(f"{value} has more than {scale} decimal places")
    n = int(unscaled)
    if len(str(abs(n))) > digits:
        raise ValueError(f"{value} does not fit {digits} digits")
    return str(abs(n)).rjust(digits, "0"), n < 0


def zoned(value, digits: int, scale: int = 0, signed: bool = True, sign: str = "trailing",
          separate: bool = False, page: str = "IBM037") -> bytes:
    """Zoned decimal (USAGE DISPLAY numeric).

    Embedded sign: EBCDIC zone C (+) or D (-) on the sign digit, F when
    unsigned; ASCII: the digit as is when positive, 0x70+digit when negative
    (the convention GnuCOBOL and most PC compilers write). Separate sign: a
    '+' or '-' character before or after the digits.
    """
    text_digits, negative = _digits(value, digits, scale)
    if negative and not signed:
        raise ValueError("negative value for an unsigned field")
    body = bytearray(encode_text(text_digits, page))
    if not signed:
        return bytes(body)
    if separate:
        mark = encode_text("-" if negative else "+", page)
        return bytes(mark + body) if sign == "leading" else bytes(body + mark)
    at = 0 if sign == "leading" else len(body) - 1
    digit = int(text_digits[at])
    if is_ebcdic(page):
        body[at] = (0xD0 if negative else 0xC0) | digit
    else:
        body[at] = (0x70 + digit) if negative else (0x30 + digit)
    return bytes(body)


def packed(value, digits: int, scale: int = 0, signed: bool = True, unsigned_sign: int = 0xF) -> bytes:
    """Packed decimal (COMP-3): digits two a byte, the sign nibble last
    (C positive, D negative, F unsigned); an even digit count gets a leading 0 nibble."""
    text_digits, negative = _digits(value, digits, scale)
    if negative and not signed:
        raise ValueError("negative value for an unsigned field")
    if len(text_digits) % 2 == 0:
        text_digits = "0" + text_digits
    sign = (0xD if negative else 0xC) if signed else unsigned_sign
    nibbles = [int(c) for c in text_digits] + [sign]
    return bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, len(nibbles), 2))


def packed_length(digits: int) -> int:
    return digits // 2 + 1


def binary_length(digits: int) -> int:
    return 2 if digits <= 4 else 4 if digits <= 9 else 8


def binary(value, digits: int, scale: int = 0, signed: bool = True, little: bool = False,
           length: int | None = None) -> bytes:
    """Two's complement binary of the picture's size (2, 4 or 8 bytes)."""
    text_digits, negative = _digits(value, digits, scale)
    n = -int(text_digits) if negative else int(text_digits)
    size = length or binary_length(digits)
    return n.to_bytes(size, "little" if little else "big", signed=signed)


def ibm_float(value, long: bool = False) -> bytes:
    """IBM System/360 hexadecimal floating point, rounded to nearest (ties to even).

    Short: 1 sign bit, 7-bit excess-64 exponent of 16, 24-bit fraction; long:
    56-bit fraction. The fraction is normalised (first hex digit not 0).
    """
    bits = 56 if long else 24
    size = 8 if long else 4
    v = Fraction(value) if not isinstance(value, Fraction) else value
    if v == 0:
        return bytes(size)
    negative = v < 0
    v = abs(v)
    exponent = 0
    while v >= 1:
        v /= 16
        exponent += 1
    while v < Fraction(1, 16):
        v *= 16
        exponent -= 1
    scaled = v * (1 << bits)
    mantissa = round(scaled)  # Fraction.__round__ rounds half to even
    if mantissa == 1 << bits:
        mantissa >>= 4
        exponent += 1
    biased = exponent + 64
    if not 0 <= biased <= 127:
        raise ValueError(f"{value} is outside the IBM floating-point range")
    word = (int(negative) << (8 * size - 1)) | (biased << bits) | mantissa
    return word.to_bytes(size, "big")


def ieee_float(value, long: bool = False, little: bool = False) -> bytes:
    return struct.pack(("<" if little else ">") + ("d" if long else "f"), float(value))


# ---------------------------------------------------------------------------
# Record descriptions and copybook text


@dataclass
class Field:
    """One item of a record: an elementary item (`picture` and `usage`) or a
    group (`children`). `occurs` gives a fixed count; `depending` names the
    counter field for OCCURS 0 TO occurs DEPENDING ON."""

    name: str
    picture: str = ""
    usage: str = ""  # "" (DISPLAY), COMP, COMP-3, COMP-5, BINARY, COMP-1, COMP-2, NATIONAL
    children: list["Field"] = dc_field(default_factory=list)
    occurs: int = 0
    depending: str = ""
    sign: str = ""  # "", "LEADING", "TRAILING", "LEADING SEPARATE", "TRAILING SEPARATE"
    redefines: str = ""

    def clause_text(self) -> str:
        parts = [self.name]
        if self.redefines:
            parts.append(f"REDEFINES {self.redefines}")
        if self.picture:
            parts.append(f"PIC {self.picture}")
        if self.usage:
            parts.append(self.usage)
        if self.sign:
            parts.append(f"SIGN {self.sign}")
        if self.occurs and self.depending:
            parts.append(f"OCCURS 0 TO {self.occurs} DEPENDING ON {self.depending}")
        elif self.occurs:
            parts.append(f"OCCURS {self.occurs}")
        return " ".join(parts)


def copybook(record: str, fields: Sequence[Field]) -> str:
    """Fixed-format copybook text of `01 record` with `fields`, one clause a line."""
    lines = [f"       01  {record}."]

    def emit(items: Sequence[Field], level: int, indent: int):
        for f in items:
            text_line = " " * indent + f"{level:02d}  " + f.clause_text() + "."
            # Long clauses continue on the next line (area B), as COBOL allows
            # a clause to be split between words.
            while len(text_line) > 72:
                cut = text_line.rfind(" ", 12, 72)
                lines.append(text_line[:cut])
                text_line = " " * 15 + text_line[cut + 1:]
            lines.append(text_line)
            if f.children:
                emit(f.children, level + 5, indent + 4)

    emit(fields, 5, 11)
    return "\n".join(lines) + "\n"


def picture_digits(picture: str) -> tuple[int, int, bool]:
    """Digits, scale and signedness of a numeric picture such as S9(7)V99 (no P)."""
    p = picture.upper()
    signed = p.startswith("S")
    p = p.lstrip("S")
    expanded = ""
    i = 0
    while i < len(p):
        c = p[i]
        if i + 1 < len(p) and p[i + 1] == "(":
            close = p.index(")", i)
            expanded += c * int(p[i + 2:close])
            i = close + 1
        else:
            expanded += c
            i += 1
    before, _, after = expanded.partition("V")
    return before.count("9") + after.count("9"), after.count("9"), signed


def field_length(f: Field) -> int:
    """Bytes of one occurrence of `f` under IBM's storage rules (no SYNC)."""
    if f.children:
        return sum(field_length(c) * (c.occurs or 1) for c in f.children if not c.redefines)
    usage = f.usage.upper()
    if usage == "COMP-1":
        return 4
    if usage == "COMP-2":
        return 8
    if usage == "NATIONAL":
        return 2 * picture_digits(f.picture.replace("N", "9"))[0]
    digits, _, _ = picture_digits(f.picture) if "9" in f.picture.upper() else (0, 0, False)
    if usage in ("COMP", "BINARY", "COMP-4", "COMP-5"):
        return binary_length(digits)
    if usage in ("COMP-3", "PACKED-DECIMAL"):
        return packed_length(digits)
    if "9" in f.picture.upper() and "X" not in f.picture.upper():
        return digits + (1 if "SEPARATE" in f.sign.upper() else 0)
    expanded = picture_digits(f.picture.upper().replace("X", "9").replace("A", "9"))[0]
    return expanded


def encode_value(f: Field, value, page: str = "IBM037", little: bool = False, ieee: bool = False) -> bytes:
    """The bytes of elementary field `f` holding `value`."""
    usage = f.usage.upper()
    if usage == "COMP-1":
        return ieee_float(value, False, little) if ieee else ibm_float(value, False)
    if usage == "COMP-2":
        return ieee_float(value, True, little) if ieee else ibm_float(value, True)
    if usage == "NATIONAL":
        return national(value, field_length(f) // 2)
    pic = f.picture.upper()
    if "X" in pic or "A" in pic:
        return text(value, field_length(f), page)
    digits, scale, signed = picture_digits(pic)
    if usage in ("COMP", "BINARY", "COMP-4", "COMP-5"):
        return binary(value, digits, scale, signed, little)
    if usage in ("COMP-3", "PACKED-DECIMAL"):
        return packed(value, digits, scale, signed)
    sign = f.sign.upper()
    return zoned(value, digits, scale, signed, "leading" if sign.startswith("LEADING") else "trailing",
                 "SEPARATE" in sign, page)


# ---------------------------------------------------------------------------
def dbcs(value: str, chars: int, page: str) -> bytes:
    """USAGE DISPLAY-1 (PIC G/N): double-byte EBCDIC pairs without shift-out and
    shift-in, padded with the double-byte space 0x4040. Python has no codec for
    the CJK EBCDIC pages: the iconv program writes them (SO ... SI, stripped)."""
    import subprocess
    raw = subprocess.run(["iconv", "-f", "UTF-8", "-t", page], input=value.encode("utf-8"),
                         capture_output=True, check=True).stdout
    if raw[:1] != b"\x0e" or raw[-1:] != b"\x0f":
        raise ValueError(f"{value!r} is not double-byte text in {page}")
    raw = raw[1:-1]
    if len(raw) > 2 * chars:
        raise ValueError(f"{value!r} is longer than {chars} double-byte characters")
    return raw + b"\x40\x40" * (chars - len(raw) // 2)


def mixed(parts: Sequence[str], length: int, page: str, dbcs_page: str) -> bytes:
    """PIC X holding mixed text: parts alternate single-byte text (in `page`) and
    double-byte text between shift-out 0x0E and shift-in 0x0F, blank-padded."""
    out = b""
    for i, part in enumerate(parts):
        out += encode_text(part, page) if i % 2 == 0 else \
            b"\x0e" + dbcs(part, len(part), dbcs_page) + b"\x0f"
    if len(out) > length:
        raise ValueError(f"{parts!r} is longer than {length} bytes")
    return out + encode_text(" ", page) * (length - len(out))


# Framings


def rdw(length: int, little: bool = False, adjust: int = 4) -> bytes:
    """A record (or block) descriptor word for `length` data bytes: the length
    field counts the data plus `adjust` (4: the word itself, as z/OS writes it)."""
    n = length + adjust
    return n.to_bytes(2, "little" if little else "big") + b"\0\0"


def variable(records: Iterable[bytes], little: bool = False, adjust: int = 4) -> bytes:
    """RECFM=V: each record behind its RDW."""
    return b"".join(rdw(len(r), little, adjust) + r for r in records)


def bdw(length: int, little: bool = False, adjust: int = 4, extended: bool = False) -> bytes:
    """A block descriptor word for `length` bytes of records. The extended form
    (block lengths past 32760 bytes) sets bit 31 of the whole word and keeps the
    length in the other 31 bits; the short form is an RDW's."""
    n = length + adjust
    if not extended:
        return rdw(length, little, adjust)
    if n >= 1 << 31:
        raise ValueError(f"block of {n} bytes is too long for a descriptor word")
    return (n | 1 << 31).to_bytes(4, "little" if little else "big")


def variable_blocked(records: Iterable[bytes], block_size: int = 32760, little: bool = False,
                     adjust: int = 4, extended: bool = False) -> bytes:
    """RECFM=VB: records with RDWs gathered into blocks of at most `block_size`
    bytes, each behind its BDW (length includes the BDW unless `adjust` says
    otherwise, as for the RDWs)."""
    out = bytearray()
    block = bytearray()
    for r in records:
        framed = rdw(len(r), little, adjust) + r
        if block and 4 + len(block) + len(framed) > block_size:
            out += bdw(len(block), little, adjust, extended) + block
            block = bytearray()
        block += framed
    if block:
        out += bdw(len(block), little, adjust, extended) + block
    return bytes(out)


def compress(data: bytes, kind: str) -> bytes:
    """`data` as gzip (no name, time 0: the same bytes on every run), bzip2 or
    zstd (the zstd program, which Python's library lacks) would store it."""
    if kind == "gzip":
        import gzip
        return gzip.compress(data, mtime=0)
    if kind == "bzip2":
        import bz2
        return bz2.compress(data)
    if kind == "zstd":
        import subprocess
        return subprocess.run(["zstd", "-q", "-c", "-"], input=data, stdout=subprocess.PIPE,
                              check=True).stdout
    raise ValueError(f"unknown compression {kind}")


def decompress(data: bytes, kind: str) -> bytes:
    if kind == "gzip":
        import gzip
        return gzip.decompress(data)
    if kind == "bzip2":
        import bz2
        return bz2.decompress(data)
    if kind == "zstd":
        import subprocess
        return subprocess.run(["zstd", "-q", "-d", "-c", "-"], input=data, stdout=subprocess.PIPE,
                              check=True).stdout
    raise ValueError(f"unknown compression {kind}")


def lines(records: Iterable[bytes], end: bytes = b"\n") -> bytes:
    return b"".join(r + end for r in records)


def random_text(rng: random.Random, length: int, alphabet: str = "ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789-.,") -> str:
    return "".join(rng.choice(alphabet) for _ in range(rng.randint(0, length))).rstrip()


def random_number(rng: random.Random, digits: int, scale: int, signed: bool) -> Decimal:
    n = rng.randint(0, 10 ** digits - 1)
    if signed and rng.random() < 0.5:
        n = -n
    return Decimal(n).scaleb(-scale)


# ---------------------------------------------------------------------------
# Numeric-edited and external floating-point DISPLAY text, decimal floating
# point and the unsigned packed decimal of COMP-6


def _picture_symbols(picture: str) -> list[str]:
    """The picture's symbols one position each, repetition factors expanded;
    CR and DB one symbol of two positions."""
    p = picture.upper()
    out: list[str] = []
    i = 0
    while i < len(p):
        if p.startswith(("CR", "DB"), i):
            out.append(p[i:i + 2])
            i += 2
            continue
        c = p[i]
        i += 1
        count = 1
        if i < len(p) and p[i] == "(":
            close = p.index(")", i)
            count = int(p[i + 1:close])
            i = close + 1
        out.extend([c] * count)
    return out


def edited(value, picture: str, page: str = "IBM037", blank_when_zero: bool = False,
           comma: bool = False) -> bytes:
    """A numeric-edited item holding `value`, by IBM's editing rules: simple
    insertion (B 0 / ,), the decimal point, fixed insertion ($, + or - at an
    end, CR, DB), floating insertion (a $, + or - string: its first position
    shows the symbol only), zero suppression (Z with blanks, * with
    asterisks), P scaling, BLANK WHEN ZERO. `comma`: DECIMAL-POINT IS COMMA."""
    point_symbol = "," if comma else "."
    symbols = _picture_symbols(picture)
    floating = None
    # A $, + or - standing twice or more (insertion characters between) floats.
    for s in "$+-":
        at = [i for i, c in enumerate(symbols) if c == s]
        if len(at) >= 2 and all(symbols[j] in (s, "B", "0", "/", ",", ".") for j in range(at[0], at[-1] + 1)):
            floating = (s, at[0], at[-1])
            break
    kinds = []  # per symbol: digit, point, insert, fixed, float-first, float, scale, assumed
    for i, c in enumerate(symbols):
        if floating and c == floating[0] and floating[1] <= i <= floating[2]:
            kinds.append("float-first" if i == floating[1] else "digit")
        elif c in "9Z*":
            kinds.append("digit")
        elif c == point_symbol:
            kinds.append("point")
        elif c in ("B", "0", "/", ",", "."):
            kinds.append("insert")
        elif c in ("$", "+", "-", "CR", "DB"):
            kinds.append("fixed")
        elif c == "P":
            kinds.append("scale")
        elif c == "V":
            kinds.append("assumed")
        elif c == "S":
            kinds.append("none")
        else:
            raise ValueError(f"{c} in an edited picture")
    digit_count = kinds.count("digit")
    # Decimal places: digit positions right of the point, P positions too
    # when left of every digit; P right of the digits scales the other way.
    first_digit = kinds.index("digit")
    p_before = sum(1 for i, k in enumerate(kinds) if k == "scale" and i < first_digit)
    p_after = sum(1 for i, k in enumerate(kinds) if k == "scale" and i > first_digit)
    points = [i for i, k in enumerate(kinds) if k in ("point", "assumed")]
    after = sum(1 for i, k in enumerate(kinds) if k == "digit" and points and i > points[0])
    scale = after + p_before - p_after
    text_digits, negative = _digits(value, digit_count, scale)
    signs = [c for c in symbols if c in ("+", "-", "CR", "DB")]
    if negative and not signs:
        raise ValueError("negative value for an unsigned edited picture")
    zero = set(text_digits) <= {"0"}
    if zero:
        negative = False
    width = sum(2 if c in ("CR", "DB") else (0 if k in ("scale", "assumed", "none") else 1)
                for c, k in zip(symbols, kinds))
    if zero and blank_when_zero:
        return encode_text(" " * width, page)
    star = "*" in symbols

    def sign_text(c):
        if c == "+":
            return "-" if negative else "+"
        if c == "-":
            return "-" if negative else " "
        if c in ("CR", "DB"):
            return c if negative else "  "
        return "$"

    if zero and "9" not in symbols:
        out = ""
        for c, k in zip(symbols, kinds):
            if k in ("scale", "assumed", "none"):
                continue
            if star:
                out += c if k == "point" else ("**" if c in ("CR", "DB") else "*")
            else:
                out += "  " if c in ("CR", "DB") else " "
        return encode_text(out, page)
    # The digit of each digit position, and where significance starts.
    digit_of = {}
    n = 0
    for i, k in enumerate(kinds):
        if k == "digit":
            digit_of[i] = text_digits[n]
            n += 1
    start = len(symbols)
    for i, (c, k) in enumerate(zip(symbols, kinds)):
        if (k == "digit" and (c == "9" or digit_of[i] != "0")) or k == "point":
            start = i
            break
    symbol_at = None
    if floating:
        end = floating[2]
        while end + 1 < len(symbols) and kinds[end + 1] == "insert":
            end += 1
        if start - 1 >= floating[1]:
            symbol_at = min(start - 1, end)
    out = ""
    for i, (c, k) in enumerate(zip(symbols, kinds)):
        if k in ("scale", "assumed", "none"):
            continue
        if k == "fixed":
            out += sign_text(c)
        elif i == symbol_at:
            out += sign_text(floating[0])
        elif i < start:
            out += "*" if star and not (floating and c == floating[0]) else " "
        elif k == "digit":
            out += digit_of[i]
        elif k == "insert":
            out += " " if c == "B" else c
        elif k == "point":
            out += c
        else:
            out += " "
    return encode_text(out, page)


def external_float(value, picture: str, page: str = "IBM037") -> bytes:
    """External floating point (+9.99E+99): the mantissa normalised so that
    its first digit is not zero (zero: all zeros and exponent 0), the
    exponent in its digits, each sign as its symbol shows it."""
    mantissa_part, _, exponent_part = picture.upper().partition("E")
    m_sign, body = mantissa_part[0], mantissa_part[1:]
    e_sign, e_digits = exponent_part[0], len(_picture_symbols(exponent_part[1:]))
    point = "." if "." in body else ("V" if "V" in body else "")
    before, _, after = body.partition(point) if point else (body, "", "")
    integer_digits = len(_picture_symbols(before)) if before else 0
    fraction_digits = len(_picture_symbols(after)) if after else 0
    d = Decimal(str(value))
    sign, digits, exp = d.as_tuple()
    digits = "".join(map(str, digits)).lstrip("0")
    if not digits:
        mantissa, exponent, negative = "0" * (integer_digits + fraction_digits), 0, False
    else:
        negative = bool(sign)
        exponent = len(digits) + exp - integer_digits
        digits = digits.rstrip("0") or "0"
        if len(digits) > integer_digits + fraction_digits:
            raise ValueError(f"{value} has more digits than {picture}")
        mantissa = digits.ljust(integer_digits + fraction_digits, "0")
    if abs(exponent) >= 10 ** e_digits:
        raise ValueError(f"exponent of {value} out of {picture}")

    def shown(symbol, neg):
        return ("-" if neg else "+") if symbol == "+" else ("-" if neg else " ")

    text = shown(m_sign, negative) + mantissa[:integer_digits]
    text += point if point == "." else ""
    text += mantissa[integer_digits:] + "E" + shown(e_sign, exponent < 0)
    text += str(abs(exponent)).rjust(e_digits, "0")
    return encode_text(text, page)


def unsigned_packed(value, digits: int, scale: int = 0) -> bytes:
    """COMP-6: packed digits without a sign nibble, a zero nibble first when
    the digits are odd in number."""
    text_digits, negative = _digits(value, digits, scale)
    if negative:
        raise ValueError("COMP-6 holds no negative value")
    if len(text_digits) % 2:
        text_digits = "0" + text_digits
    return bytes.fromhex(text_digits)


def decimal_float(value, wide: bool = False, little: bool = False) -> bytes:
    """IEEE 754 decimal64 (or decimal128 when `wide`) in the binary integer
    decimal encoding, coefficient and exponent as the value's digits give
    them (Decimal("1.50") is 150E-2)."""
    sign, digits, exponent = Decimal(str(value)).as_tuple()
    coefficient = int("".join(map(str, digits)) or "0")
    bits, exponent_bits, bias, small = (128, 14, 6176, 113) if wide else (64, 10, 398, 53)
    if coefficient >= 10 ** (34 if wide else 16):
        raise ValueError(f"{value} has too many digits")
    biased = exponent + bias
    if not 0 <= biased < 3 << (exponent_bits - 2):
        raise ValueError(f"exponent of {value} out of range")
    if coefficient < 1 << small:
        word = biased << small | coefficient
    else:
        # The form whose coefficient has the implied leading bits 100.
        word = 3 << (bits - 3) | biased << (small - 2) | (coefficient - (1 << small))
    word |= sign << (bits - 1)
    return word.to_bytes(bits // 8, "little" if little else "big")
