#!/usr/bin/env python3
"""A vendor's brand file, checked and turned into what the build needs.

  brand.py check BRAND.ini             checks the file; one line naming the key when it fails
  brand.py configure BRAND.ini OUTDIR  checks it, then writes OUTDIR/brand.cmake (the values for
                                       CMake), OUTDIR/brand.h (the same for C++ and the resource
                                       compiler) and OUTDIR/logo.bmp (the About page's bitmap)

The brand file has one section, [Brand], with exactly the keys of KEYS. Every failure is one
line on standard error, "BRAND.ini: Key: what is wrong", and exit status 1; nothing is written
then. Standard library only, so that it runs wherever the build's Python does.
"""

import configparser
import datetime
import html
import os
import re
import struct
import sys
import zlib

KEYS = (
    "Company",
    "Product",
    "Model",
    "HardwareId",
    "FileStem",
    "CopyrightOwner",
    "Namespace",
    "HelpTitle",
    "Logo",
    "Version",
)

# The About page draws a bitmap of this size, 8 bits a pixel, with this colour transparent.
LOGO_WIDTH, LOGO_HEIGHT = 123, 32
TRANSPARENT = (0xFF, 0x00, 0xFF)
# A logo larger than this is surely not meant for a 123 x 32 band; it would only be slow here.
LOGO_MAX_SIDE = 4096

# The help's title and contents are compiled in these code pages (help/CMakeLists.txt).
HELP_CODE_PAGES = {"en": "cp1252", "de": "cp1252", "fr": "cp1252", "ja": "cp932"}


class BrandError(Exception):
    def __init__(self, key, message):
        super().__init__(f"{key}: {message}")


def text_value(key, value, limit, encodings=()):
    """A name that ends up in quoted strings of the INF, the PPD, the resources and the help."""
    if len(value) > limit:
        raise BrandError(key, f"at most {limit} characters, not {len(value)}")
    bad = sorted({c for c in value if c in '"%\\' or ord(c) < 0x20 or 0x7F <= ord(c) < 0xA0})
    if bad:
        shown = " ".join(repr(c) for c in bad)
        raise BrandError(key, f"must not contain {shown} (quotes, %, backslashes and control "
                         "characters break the INF, PPD and resource strings)")
    for what, encoding in encodings:
        try:
            value.encode(encoding)
        except UnicodeEncodeError:
            raise BrandError(key, f'"{value}" has characters that {what} cannot carry') from None
    return value


# Stems whose files would be another driver's in the shared driver folder: Windows' PostScript
# driver has ps5ui.dll, Unidrv unidrvui.dll.
WINDOWS_DRIVER_STEMS = {"ps5": "PostScript", "unidrv": "Unidrv"}


def check_stem(value):
    if not re.fullmatch(r"[a-z0-9]{2,8}", value):
        raise BrandError("FileStem", f'"{value}" must be 2 to 8 lower-case letters or digits')
    if "lg" in value:
        raise BrandError("FileStem", f'"{value}" contains "lg", which would make the plug-in take '
                         "its other DLLs for the resource module")
    # The stem is also the prefix the PrintTicket provider declares: an XML name.
    if value[0].isdigit():
        raise BrandError("FileStem", f'"{value}" starts with a digit; it is also the PrintTicket '
                         "prefix, and an XML name cannot")
    if value.startswith("xml"):
        raise BrandError("FileStem", f'"{value}" starts with "xml", which XML keeps for its own '
                         "prefixes; it is also the PrintTicket prefix")
    if re.fullmatch(r"con|prn|aux|nul|com[0-9]|lpt[0-9]", value):
        raise BrandError("FileStem", f'"{value}" is a Windows device name: {value}.inf and '
                         f"{value}.chm could not be files")
    if value in WINDOWS_DRIVER_STEMS:
        raise BrandError("FileStem", f'"{value}" would name the UI plug-in {value}ui.dll, a file '
                         f"of Windows' own {WINDOWS_DRIVER_STEMS[value]} driver in the shared "
                         "driver folder")
    return value


def check_hardware_id(value):
    if not re.fullmatch(r"[A-Za-z0-9_\-&\\]{1,200}", value):
        raise BrandError("HardwareId", f'"{value}" must be 1 to 200 letters, digits, "_", "-", '
                         '"&" or "\\"')
    return value


def check_namespace(value):
    # An absolute URI (RFC 3986): a scheme, a colon, and no character that XML or the ticket's
    # name resolution would choke on.
    if not re.fullmatch(r"[A-Za-z][A-Za-z0-9+.\-]*:[^\s\"<>\\^`{|}]+", value):
        raise BrandError("Namespace", f'"{value}" is not an absolute URI (such as '
                         "http://schemas.example.com/2026/printing/securejob)")
    if len(value) > 200:
        raise BrandError("Namespace", "at most 200 characters")
    if "#" in value:
        raise BrandError("Namespace", f'"{value}" has a fragment (#); a namespace names no part '
                         "of a document")
    return value


def check_model(value):
    # The PPD's *Product is a PostScript string, "(Model)": its parentheses must pair up.
    depth = 0
    for c in value:
        depth += {"(": 1, ")": -1}.get(c, 0)
        if depth < 0:
            break
    if depth != 0:
        raise BrandError("Model", f'"{value}" has unbalanced parentheses, which break the PPD\'s '
                         "*Product string")
    return value


def check_version(value):
    parts = value.split(".")
    if len(parts) != 4 or not all(re.fullmatch(r"[0-9]{1,5}", p) for p in parts):
        raise BrandError("Version", f'"{value}" must be four numbers a.b.c.d, such as 3.1.4.15')
    # A DLL's fixed version reads 01 back as 1: its version strings and DriverVer would differ.
    if any(len(p) > 1 and p[0] == "0" for p in parts):
        raise BrandError("Version", f'"{value}": a number has a leading zero (write 1, not 01)')
    numbers = [int(p) for p in parts]
    if any(n > 65535 for n in numbers):
        raise BrandError("Version", f'"{value}": each number is at most 65535')
    return numbers


def read_brand(path):
    parser = configparser.ConfigParser(interpolation=None, strict=True, empty_lines_in_values=False)
    parser.optionxform = str  # the keys are case-sensitive
    try:
        with open(path, encoding="utf-8-sig") as f:
            parser.read_file(f)
    except OSError as e:
        raise BrandError("file", f"cannot be read ({e.strerror})") from None
    except (configparser.Error, UnicodeDecodeError) as e:
        first = str(e).splitlines()[0]
        raise BrandError("file", f"is not a brand file of UTF-8 lines ({first})") from None
    if parser.sections() != ["Brand"]:
        raise BrandError("[Brand]", "the file must have exactly one section, [Brand]")
    section = parser["Brand"]
    for key in section:
        if key not in KEYS:
            raise BrandError(key, f"is not a key of a brand file (the keys are {', '.join(KEYS)})")
    values = {}
    for key in KEYS:
        if key not in section:
            raise BrandError(key, "is missing")
        value = section[key].strip()
        if not value:
            raise BrandError(key, "is empty")
        values[key] = value
    return values


def check_brand(path):
    """The brand's values, checked, with the logo decoded; raises BrandError."""
    values = read_brand(path)
    help_pages = tuple(
        (f"the {lang} help ({page})", page) for lang, page in sorted(HELP_CODE_PAGES.items()))
    ppd = (("the PPD (ISO Latin-1)", "latin-1"),)
    text_value("Company", values["Company"], 64, ppd)
    text_value("Product", values["Product"], 64)
    # The PPD's *ShortNickName takes at most 31 characters.
    check_model(text_value("Model", values["Model"], 31, ppd))
    text_value("CopyrightOwner", values["CopyrightOwner"], 64)
    text_value("HelpTitle", values["HelpTitle"], 48, help_pages)
    check_hardware_id(values["HardwareId"])
    check_stem(values["FileStem"])
    check_namespace(values["Namespace"])
    values["VersionNumbers"] = check_version(values["Version"])
    logo = os.path.join(os.path.dirname(os.path.abspath(path)), values["Logo"])
    values["LogoPath"] = os.path.normpath(logo)
    values["LogoPixels"], values["LogoPalette"] = read_png(values["LogoPath"])
    return values


# ---- PNG --------------------------------------------------------------------------------------


def logo_error(path, message):
    return BrandError("Logo", f"{os.path.basename(path)} {message}")


def read_png(path):
    """The image as rows of (r, g, b, a) tuples, 8 bits each, and the colours of its palette in
    their order (empty for an image without one)."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise logo_error(path, f"cannot be read ({e.strerror})") from None
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise logo_error(path, "is not a PNG file")
    chunks = []
    pos = 8
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc = data[pos + 8 + length:pos + 12 + length]
        if len(body) != length or len(crc) != 4 or \
                struct.unpack(">I", crc)[0] != zlib.crc32(kind + body):
            raise logo_error(path, "is damaged (a chunk is cut short or its checksum is wrong)")
        chunks.append((kind, body))
        pos += 12 + length
        if kind == b"IEND":
            break
    if not chunks or chunks[0][0] != b"IHDR" or len(chunks[0][1]) != 13:
        raise logo_error(path, "has no image header")
    width, height, depth, colour, compression, filtering, interlace = \
        struct.unpack(">IIBBBBB", chunks[0][1])
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour)
    allowed = {0: (1, 2, 4, 8, 16), 2: (8, 16), 3: (1, 2, 4, 8), 4: (8, 16), 6: (8, 16)}
    if channels is None or depth not in allowed[colour] or compression or filtering:
        raise logo_error(path, f"uses a colour type ({colour}) or bit depth ({depth}) that PNG "
                         "does not define")
    if interlace:
        raise logo_error(path, "is interlaced; save it without interlacing")
    if not (0 < width <= LOGO_MAX_SIDE and 0 < height <= LOGO_MAX_SIDE):
        raise logo_error(path, f"is {width} x {height} pixels; the About page needs at most "
                         f"{LOGO_MAX_SIDE} on a side (it is drawn at {LOGO_WIDTH} x {LOGO_HEIGHT})")
    palette = []
    transparency = b""
    idat = []
    for kind, body in chunks[1:]:
        if kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body) - 2, 3)]
        elif kind == b"tRNS":
            transparency = body
        elif kind == b"IDAT":
            idat.append(body)
    if colour == 3 and not palette:
        raise logo_error(path, "is a palette image without a palette")
    try:
        raw = zlib.decompress(b"".join(idat))
    except zlib.error:
        raise logo_error(path, "has image data that does not decompress") from None
    bits = depth * channels
    stride = (width * bits + 7) // 8
    step = max(1, bits // 8)
    if len(raw) < height * (stride + 1):
        raise logo_error(path, "has less image data than its size needs")
    rows = []
    previous = bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        if kind > 4:
            raise logo_error(path, f"uses an unknown row filter ({kind})")
        for i in range(stride):
            left = line[i - step] if i >= step else 0
            up = previous[i]
            corner = previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + ((left + up) >> 1)) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predictor = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + predictor) & 0xFF
        rows.append(samples_to_pixels(line, width, depth, colour, palette, transparency))
        previous = line
    return rows, palette


def samples_to_pixels(line, width, depth, colour, palette, transparency):
    if depth < 8:
        per_byte = 8 // depth
        mask = (1 << depth) - 1
        samples = [(line[i // per_byte] >> (8 - depth * (i % per_byte + 1))) & mask
                   for i in range(width)]
    elif depth == 8:
        samples = list(line)
    else:
        samples = [line[i] << 8 | line[i + 1] for i in range(0, len(line), 2)]
    top = (1 << depth) - 1

    def eight(v):
        return v if depth == 8 else (v * 255 + top // 2) // top

    key = None
    if transparency and colour in (0, 2) and len(transparency) >= (2 if colour == 0 else 6):
        key = struct.unpack(">H" if colour == 0 else ">HHH", transparency[:2 if colour == 0 else 6])
    pixels = []
    if colour == 3:
        for index in samples[:width]:
            r, g, b = palette[index] if index < len(palette) else (0, 0, 0)
            a = transparency[index] if index < len(transparency) else 255
            pixels.append((r, g, b, a))
    elif colour == 0:
        for v in samples[:width]:
            g = eight(v)
            pixels.append((g, g, g, 0 if key is not None and v == key[0] else 255))
    elif colour == 4:
        for i in range(width):
            g = eight(samples[2 * i])
            pixels.append((g, g, g, eight(samples[2 * i + 1])))
    elif colour == 2:
        for i in range(width):
            rgb = tuple(samples[3 * i:3 * i + 3])
            r, g, b = (eight(v) for v in rgb)
            pixels.append((r, g, b, 0 if key is not None and rgb == key else 255))
    else:
        for i in range(width):
            r, g, b, a = (eight(v) for v in samples[4 * i:4 * i + 4])
            pixels.append((r, g, b, a))
    return pixels


# ---- the About page's bitmap ------------------------------------------------------------------


def resample(pixels, width, height):
    """The image scaled to width x height: separable triangle filter on premultiplied colour,
    as wide as the reduction, so that a smaller logo averages every source pixel it covers."""

    def weights(source, target):
        scale = target / source
        support = max(1.0, 1.0 / scale)
        table = []
        for x in range(target):
            centre = (x + 0.5) / scale - 0.5
            first = int(centre - support) + 1
            row = []
            for s in range(max(0, first), min(source, int(centre + support) + 1)):
                w = 1.0 - abs(s - centre) / support
                if w > 0:
                    row.append((s, w))
            total = sum(w for _, w in row) or 1.0
            table.append([(s, w / total) for s, w in row])
        return table

    premultiplied = [[(r * a, g * a, b * a, a) for r, g, b, a in row] for row in pixels]
    across = weights(len(pixels[0]), width)
    down = weights(len(pixels), height)
    wide = [[tuple(sum(row[s][c] * w for s, w in across[x]) for c in range(4))
             for x in range(width)] for row in premultiplied]
    result = []
    for y in range(height):
        line = []
        for x in range(width):
            r, g, b, a = (sum(wide[s][x][c] * w for s, w in down[y]) for c in range(4))
            if a <= 0:
                line.append((0, 0, 0, 0))
            else:
                line.append((round(r / a), round(g / a), round(b / a), round(a)))
        result.append(line)
    return result


def fit_logo(pixels):
    """The image in a 123 x 32 canvas: scaled with its aspect kept to fill it as far as it can,
    at the left (where the band starts) and centred from top to bottom."""
    source_w, source_h = len(pixels[0]), len(pixels)
    if (source_w, source_h) == (LOGO_WIDTH, LOGO_HEIGHT):
        return pixels
    scale = min(LOGO_WIDTH / source_w, LOGO_HEIGHT / source_h)
    w = max(1, min(LOGO_WIDTH, round(source_w * scale)))
    h = max(1, min(LOGO_HEIGHT, round(source_h * scale)))
    scaled = resample(pixels, w, h)
    top = (LOGO_HEIGHT - h) // 2
    canvas = [[(0, 0, 0, 0)] * LOGO_WIDTH for _ in range(LOGO_HEIGHT)]
    for y in range(h):
        canvas[top + y][:w] = scaled[y]
    return canvas


def quantize(colours, limit):
    """At most `limit` colours standing for `colours` (a dict colour -> count): median cut."""
    boxes = [list(colours.items())]
    while len(boxes) < limit:
        spans = []
        for i, box in enumerate(boxes):
            if len(box) > 1:
                span = max((max(c[0][k] for c in box) - min(c[0][k] for c in box), k)
                           for k in range(3))
                spans.append((span, i))
        if not spans:
            break
        (_, channel), i = max(spans)
        box = sorted(boxes.pop(i), key=lambda c: c[0][channel])
        total = sum(n for _, n in box)
        running, cut = 0, 1
        for cut in range(1, len(box)):
            running += box[cut - 1][1]
            if running * 2 >= total:
                break
        boxes += [box[:cut], box[cut:]]
    palette = {}
    for box in boxes:
        total = sum(n for _, n in box)
        mean = tuple(round(sum(c[k] * n for c, n in box) / total) for k in range(3))
        for c, _ in box:
            palette[c] = mean
    return palette


def logo_bitmap(pixels, preferred=()):
    """The 8-bit palette BMP the About page loads: entry 0 is the transparent magenta, every
    pixel less than half opaque takes it, and no visible pixel is exactly magenta. The colours
    keep the order of `preferred` (the PNG's own palette), then of their first appearance, so
    that the output is stable."""
    canvas = fit_logo(pixels)
    opaque = {}
    for row in canvas:
        for r, g, b, a in row:
            if a >= 128:
                opaque[(r, g, b)] = opaque.get((r, g, b), 0) + 1
    mapping = {c: c for c in opaque} if len(opaque) <= 255 else quantize(opaque, 255)

    def shown(r, g, b):
        colour = mapping[(r, g, b)]
        return (0xFE, 0x00, 0xFF) if colour == TRANSPARENT else colour

    used = [shown(r, g, b) for row in canvas for r, g, b, a in row if a >= 128]
    rank = {}
    for c in list(preferred) + used:
        rank.setdefault(c, len(rank))
    palette = [TRANSPARENT] + sorted(set(used), key=rank.get)
    index = {c: i for i, c in enumerate(palette)}
    rows = []
    row_size = (LOGO_WIDTH + 3) & ~3
    for row in reversed(canvas):  # bottom-up
        line = bytes(index[shown(r, g, b)] if a >= 128 else 0 for r, g, b, a in row)
        rows.append(line + b"\0" * (row_size - LOGO_WIDTH))
    image = b"".join(rows)
    colour_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(colour_table)
    return (struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset) +
            struct.pack("<IiiHHIIiiII", 40, LOGO_WIDTH, LOGO_HEIGHT, 1, 8, 0, len(image),
                        2835, 2835, len(palette), len(palette)) +
            colour_table + image)


# ---- what the build reads ---------------------------------------------------------------------


def c_string(value):
    return '"' + value.replace("\\", "\\\\") + '"'


def cmake_string(value):
    return "[==[" + value + "]==]"


def build_date():
    """Today, or SOURCE_DATE_EPOCH's day for a reproducible build: the INF's DriverVer date and
    the copyright year of the version blocks."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch and epoch.isdigit():
        return datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).date()
    return datetime.date.today()


def generated_files(values):
    major, minor, build, revision = values["VersionNumbers"]
    stem = values["FileStem"]
    date = build_date()
    # The owner ends a sentence: "Kestrel Imaging Ltd." keeps its one full stop.
    owner = values["CopyrightOwner"]
    sentence = owner if owner.endswith(".") else owner + "."
    defines = {
        "PINPRINT_BRAND_COMPANY": c_string(values["Company"]),
        "PINPRINT_BRAND_PRODUCT": c_string(values["Product"]),
        "PINPRINT_BRAND_MODEL": c_string(values["Model"]),
        "PINPRINT_BRAND_OWNER_SENTENCE": c_string(sentence),
        # Dialog texts take "&" as a mnemonic marker; the owner's name is shown as it is.
        "PINPRINT_BRAND_OWNER_SENTENCE_TEXT": c_string(sentence.replace("&", "&&")),
        "PINPRINT_BRAND_PRODUCT_TEXT": c_string(values["Product"].replace("&", "&&")),
        "PINPRINT_BRAND_HELP_TITLE": c_string(values["HelpTitle"]),
        "PINPRINT_BRAND_STEM": c_string(stem),
        "PINPRINT_BRAND_NAMESPACE": "L" + c_string(values["Namespace"]),
        "PINPRINT_BRAND_PREFIX": "L" + c_string(stem),
        "PINPRINT_VERSION_MAJOR": str(major),
        "PINPRINT_VERSION_MINOR": str(minor),
        "PINPRINT_VERSION_BUILD": str(build),
        "PINPRINT_VERSION_REVISION": str(revision),
        "PINPRINT_VERSION_STRING": c_string(values["Version"]),
        "PINPRINT_COPYRIGHT": c_string(f"Copyright (C) {date.year} {sentence} All rights reserved."),
    }
    header = ["// Written by scripts/brand.py from the brand file; do not edit.", "#pragma once"]
    header += [f"#define {name} {value}" for name, value in defines.items()]
    cmake = ["# Written by scripts/brand.py from the brand file; do not edit."]
    for key in KEYS:
        cmake.append(f"set(PINPRINT_BRAND_{key.upper()} {cmake_string(values[key])})")
    cmake.append(f"set(PINPRINT_BRAND_LOGO_SOURCE {cmake_string(values['LogoPath'])})")
    cmake.append(f"set(PINPRINT_BRAND_STEM_UPPER {cmake_string(stem.upper())})")
    cmake.append(f"set(PINPRINT_BRAND_OWNER_SENTENCE {cmake_string(sentence)})")
    # The help's pages and its contents are HTML.
    cmake.append(f"set(PINPRINT_BRAND_HELPTITLE_HTML {cmake_string(html.escape(values['HelpTitle']))})")
    cmake.append(f"set(PINPRINT_BRAND_OWNER_SENTENCE_HTML {cmake_string(html.escape(sentence))})")
    cmake.append(f"set(PINPRINT_BRAND_DRIVER_DATE {date.strftime('%m/%d/%Y')})")
    return {
        "brand.h": ("\n".join(header) + "\n").encode("utf-8"),
        "brand.cmake": ("\n".join(cmake) + "\n").encode("utf-8"),
        "logo.bmp": logo_bitmap(values["LogoPixels"], values["LogoPalette"]),
    }


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) < 3 or argv[1] not in ("check", "configure") or \
            (argv[1] == "configure") != (len(argv) == 4):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    path = argv[2]
    try:
        values = check_brand(path)
        files = generated_files(values)
    except BrandError as e:
        print(f"{path}: {e}", file=sys.stderr)
        return 1
    if argv[1] == "configure":
        os.makedirs(argv[3], exist_ok=True)
        for name, data in files.items():
            write_if_changed(os.path.join(argv[3], name), data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
